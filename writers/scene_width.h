// The width drawn around the chains (tubes, curves, points) when none is given: 1/250 of the
// diagonal of the scene's box, so that a scene 100 times larger gets chains 100 times wider and
// both look alike; 1 for a scene of one spot or none.
#pragma once

#include <cmath>

namespace dustweave {

constexpr double WIDTH_PER_DIAGONAL = 1.0 / 250;

inline double SceneWidth(const double low[3], const double high[3]) {
  double squared = 0;
  for (int axis = 0; axis < 3; ++axis) {
    double side = high[axis] - low[axis];
    squared += side > 0 ? side * side : 0;
  }
  double diagonal = std::sqrt(squared);
  return diagonal > 0 && std::isfinite(diagonal) ? diagonal * WIDTH_PER_DIAGONAL : 1;
}

}  // namespace dustweave
