// What a "step percent" answer makes of a pfx file: the points the plug-in keeps of every track,
// worked out from the tracks' shapes (span, samples read, whether the last is the span's end)
// gathered in one reading of the file, and the largest step share whose points fit a bound.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "pfx/format.h"

namespace dustweave {

// The interval at which the plug-in keeps a track's samples: every sample for 0 and 1, else every
// n-th (with the first and the one at the span's end), n = trunc(span / (span x step)), each
// step rounded to double as the plug-in rounds it.
int32_t ThinningInterval(int32_t span, double step);

class TrackShapes {
 public:
  // A track read: `samples` of it (all the sample rule reads, or those before the file ended),
  // `endsAtSpan` when the last of them is at the span's end (the plug-in always keeps that one).
  void Add(int32_t span, uint64_t samples, bool endsAtSpan);

  // The points the plug-in makes with this answer (none: every sample); exact unless the file has
  // more than MAX_SHAPES shapes of track, when the rest are bounded from above.
  uint64_t PointsKept(const std::optional<double>& step) const;
  // The tracks that make a point at all: each begins a chain.
  uint64_t tracksWithPoints() const { return tracksWithPoints_; }
  bool exact() const { return overflow_.tracks == 0; }

  static constexpr size_t MAX_SHAPES = 1 << 16;

 private:
  std::map<std::tuple<int32_t, uint64_t, bool>, uint64_t> shapes_;  // (span, samples, ends at span): tracks
  struct {
    uint64_t tracks = 0, samples = 0;
  } overflow_;  // tracks past MAX_SHAPES shapes, only counted
  uint64_t tracksWithPoints_ = 0;
};

// A step share as a percent of two significant digits ("2.5"), and the fraction that text gives
// as `--step 2.5%`.
struct StepChoice {
  std::string percent;
  double step;
};

// The largest step share whose points are at most `maxPoints`, among 100 % and every percent of
// two significant digits down to 0.0001 % (so that a share prints as it is and can be given
// again); none when even the smallest keeps more.
std::optional<StepChoice> LargestStepWithin(const TrackShapes& shapes, uint64_t maxPoints);
// The same search over any count of points by step share (none: every sample).
std::optional<StepChoice> LargestStepWithin(const std::function<uint64_t(const std::optional<double>&)>& points, uint64_t maxPoints);

}  // namespace dustweave
