// How dustweave answers the module's panel and its OK/Cancel questions: the one place where a
// command's options become the stand-in host's script.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standin/host.h"

namespace dustweave {

struct Answers {
  std::optional<std::string> file;  // the "pfx file" answer; nullopt keeps the panel's "none"
  bool startPolygon = false;
  std::optional<double> step;       // the "step percent" answer as a fraction
  std::vector<std::optional<std::string>> surfaces;  // the host's surfaces, in order
  int pick = 0;                     // the popup entry chosen
  bool ok = true;                   // the answer to every question
};

// The host's script for these answers, its mesh streamed to `sink` (kept when null).
inline standin::HostScript ScriptOf(const Answers& answers, standin::MeshSink* sink) {
  standin::HostScript script;
  script.file = answers.file;
  script.startPolygon = answers.startPolygon;
  script.step = answers.step;
  script.surfaces = answers.surfaces;
  script.pick = answers.pick;
  script.answerOk = answers.ok;
  script.sink = sink;
  return script;
}

// Whether the module makes a point of every sample with this "step percent" answer. It thins a
// track when its interval trunc(span / (span x step)) is 2 or more, which happens for every
// step in (0, 0.5] and none in (0.5, 1) but for steps so close above 0.5 that the rounded
// quotient reaches 2 for some spans: those count as thinning here (the answer is a layout hint).
inline bool KeepsEverySample(const std::optional<double>& step) {
  return !step || !(*step > 0.0 && *step < 1.0) || *step > 0.5 + 0x1p-40;
}

}  // namespace dustweave
