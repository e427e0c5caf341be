// The points kept of each shape of track, summed over a file's shapes, and the search for a step
// share among those that print as they are.
#include "pfxtools/pfx_thinning.h"

#include <cmath>
#include <charconv>

namespace dustweave {

int32_t ThinningInterval(int32_t span, double step) {
  if (!(span > 0 && step > 0.0 && step < 1.0)) return 0;
  volatile double product = static_cast<double>(span) * step;  // rounded to double here
  volatile double quotient = static_cast<double>(span) / product;
  if (quotient >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(quotient);
}

void TrackShapes::Add(int32_t span, uint64_t samples, bool endsAtSpan) {
  if (samples == 0) return;
  ++tracksWithPoints_;
  auto key = std::make_tuple(span, samples, endsAtSpan);
  auto found = shapes_.find(key);
  if (found != shapes_.end()) {
    ++found->second;
  } else if (shapes_.size() < MAX_SHAPES) {
    shapes_.emplace(key, 1);
  } else {
    ++overflow_.tracks;
    overflow_.samples += samples;
  }
}

namespace {

// The first sample, every interval-th after it, and the last when it is at the span's end.
uint64_t KeptOf(uint64_t samples, int32_t interval, bool endsAtSpan) {
  if (interval <= 1) return samples;
  uint64_t k = static_cast<uint64_t>(interval), after = samples - 1;
  return after / k + 1 + (endsAtSpan && after % k != 0 ? 1 : 0);
}

}  // namespace

uint64_t TrackShapes::PointsKept(const std::optional<double>& step) const {
  double share = step.value_or(1.0);
  uint64_t points = 0;
  for (const auto& [shape, tracks] : shapes_) {
    const auto& [span, samples, endsAtSpan] = shape;
    points += tracks * KeptOf(samples, ThinningInterval(span, share), endsAtSpan);
  }
  // Past the shapes kept, each track's interval is at least trunc(1 / step) - 1, and it keeps
  // its first and last besides.
  double least = share > 0 && share < 1 ? std::trunc(1 / share) - 1 : 1;
  uint64_t interval = least > 1 ? static_cast<uint64_t>(least) : 1;
  points += interval > 1 ? overflow_.samples / interval + 2 * overflow_.tracks : overflow_.samples;
  return points;
}

namespace {

// The percent of the two digits `digits` (10 to 99) times 10 to the `exponent` - 1: "25", "2.5",
// "0.25", "0.025" for exponents 1, 0, -1, -2.
std::string PercentText(int digits, int exponent) {
  std::string two = std::to_string(digits);
  if (exponent >= 1) return two;
  if (exponent == 0) return two.substr(0, 1) + "." + two.substr(1);
  return "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + two;
}

}  // namespace

std::optional<StepChoice> LargestStepWithin(const TrackShapes& shapes, uint64_t maxPoints) {
  return LargestStepWithin([&shapes](const std::optional<double>& step) { return shapes.PointsKept(step); }, maxPoints);
}

std::optional<StepChoice> LargestStepWithin(const std::function<uint64_t(const std::optional<double>&)>& points, uint64_t maxPoints) {
  if (points(std::nullopt) <= maxPoints) return StepChoice{"100", 1.0};
  for (int exponent = 1; exponent >= -4; --exponent) {
    for (int digits = 99; digits >= 10; --digits) {
      std::string percent = PercentText(digits, exponent);
      double value = 0;
      std::from_chars(percent.data(), percent.data() + percent.size(), value);
      double step = value / 100;  // as `--step PERCENT%` reads it
      if (points(step) <= maxPoints) return StepChoice{percent, step};
    }
  }
  return std::nullopt;
}

}  // namespace dustweave
