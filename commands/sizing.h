// What convert settles by reading the input whole before the run, when it must: the tubes' or
// curves' width from the particles' spacing, the step share that keeps at most --max-points points,
// and whether a .glb will pass the 4 GiB the format holds, so that it is refused before the work.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "commands/plan.h"
#include "pfxtools/pfx_inspect.h"
#include "platform/worker_thread.h"

namespace dustweave {

// What the sizing is asked for.
struct SizingAsk {
  std::string input, output;
  bool defaultWidth = false;          // the width is chosen from the particles' spacing
  std::optional<uint64_t> maxPoints;  // --max-points
  std::optional<double> step;         // --step, when given
  bool glb = false, tubes = false, attributes = false, startPolygons = false;
  std::optional<uint64_t> samplesBySize;  // the samples the input's size tells, when it does
  uint64_t ringsASegment = 1;             // a smoothed tube's rings a segment
};

// What it settled.
struct Sizing {
  double width = 0;            // the chosen width, with defaultWidth
  std::optional<double> step;  // the step share to answer: --step's, or the one chosen
  std::string stepChosen;      // the percent chosen for --max-points ("2.5"); empty when none was
};

// Reads the input only when one of the asks needs it (a .glb is read only when its samples could
// pass the limit). Misuse for --max-points fewer than any step share keeps; not done for an input
// that cannot be read or a .glb that would pass the limit, with the step share that fits.
Verdict SizeOutput(const SizingAsk& ask, Sizing* sizing);

// The default width read from the input on a second thread while the run goes on, for an output
// that needs it only at its end (USD's one width): the same width as one read before the run.
class WidthAtEnd {
 public:
  void Start(const std::string& input);
  // Waits for the width; false, with a one-line reason, when the input could not be read.
  bool Take(double* width, std::string* error);

 private:
  std::string input_;
  PfxInspection look_;
  std::string error_;
  bool read_ = false, started_ = false;
  WorkerThread worker_;  // last: it is joined before the rest goes
};

}  // namespace dustweave
