// dustweave convert: a pfx file to OBJ, glTF binary or USD through the real module, for people and
// scripts. Its options, and the run with its exit statuses (0 done, 1 the file ended early, 2 a
// question declined, 3 nothing to write, 10 not done, 64 misuse).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands/exit_status.h"

namespace dustweave {

struct ConvertArgs {
  std::string input, output;
  std::optional<std::string> step;  // as given: a fraction or a percent
  std::optional<uint64_t> maxPoints;  // the step share chosen to keep at most this many points
  bool startPolygon = false;
  bool attributes = false;  // the .glb's per-point chain attributes and frames, USD's frames
  std::optional<std::vector<std::string>> tubes;  // given: chains as tubes, of this width if one is
  std::optional<std::string> width;          // the tubes' or curves' width, as given
  std::optional<std::string> badSamples;     // what to do with a sample no output holds: "drop"
  std::optional<std::string> taper;   // given: widths narrowing along each chain ("" or "comet")
  std::optional<std::string> smooth;  // given: Catmull-Rom chains, N (as given) a tube's rings a segment
  std::optional<std::string> metersPerUnit;  // USD's stage unit, as given
  std::optional<std::string> fps;            // USD's frames (and time codes) a second, as given
  bool animate = false;                      // the simulation over time, as an animated USD layer
  std::optional<uint64_t> trailFrames;       // an animated layer's trails: their last N samples
  std::optional<std::string> surface;
  bool yes = false;
  std::string svg;
  std::string html;  // the 3D preview page
  std::string module;
  bool quiet = false;
};

CLI::App* AddConvert(CLI::App& app, ConvertArgs& args);

// Converts and returns the exit status; every message goes to standard error, the summary line
// (unless quiet) to standard output.
int Convert(const ConvertArgs& args);

}  // namespace dustweave
