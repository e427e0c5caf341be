// The width drawn around the chains (tubes, curves, points) when none is given: a share of the
// space between neighbouring particles, so that a dense scene's trails stay apart and a sparse
// one's stay visible.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace dustweave {

inline double SceneDiagonal(const double low[3], const double high[3]) {
  double squared = 0;
  for (int axis = 0; axis < 3; ++axis) {
    double side = high[axis] - low[axis];
    squared += side > 0 ? side * side : 0;
  }
  return std::sqrt(squared);
}

// The side s of the cells that `particles` share in the box grown by s on each axis:
// (a + s)(b + s)(c + s) = particles s^3. For a full box it is the cube root of the volume over the
// particles; a flat scene's sides go to 0 and it becomes the square root of its area over them, a
// line's its length over them less one. None past the diagonal (one particle, or two at a spot).
inline double ParticleSpacing(const double low[3], const double high[3], uint64_t particles) {
  double diagonal = SceneDiagonal(low, high);
  double sides[3];
  for (int axis = 0; axis < 3; ++axis) sides[axis] = std::max(high[axis] - low[axis], 0.0);
  auto cells = [&](double s) { return (sides[0] / s + 1) * (sides[1] / s + 1) * (sides[2] / s + 1); };
  if (!(diagonal > 0) || !std::isfinite(diagonal) || cells(diagonal) >= static_cast<double>(particles)) return 0;
  double inside = diagonal * 1e-12, outside = diagonal;  // cells() falls as s grows
  for (int i = 0; i < 100 && outside - inside > outside * 1e-9; ++i) {
    double middle = std::sqrt(inside * outside);
    (cells(middle) > static_cast<double>(particles) ? inside : outside) = middle;
  }
  return outside;
}

// A thirtieth of the particles' spacing: trails of neighbouring particles lie about thirty widths
// apart, and the demo's 200 particles keep the width they had at 1/250 of the diagonal (0.0416
// against 0.042), where 20,000 in about the same box take a fifth of it. At most 1/100 of the
// diagonal, which a scene of one particle or a few takes.
constexpr double WIDTH_PER_SPACING = 1.0 / 30;
constexpr double MOST_WIDTH_PER_DIAGONAL = 1.0 / 100;

inline double SpacingWidth(const double low[3], const double high[3], uint64_t particles) {
  double diagonal = SceneDiagonal(low, high);
  if (!(diagonal > 0) || !std::isfinite(diagonal)) return 1;
  double spacing = ParticleSpacing(low, high, particles);
  double most = diagonal * MOST_WIDTH_PER_DIAGONAL;
  return spacing > 0 ? std::min(spacing * WIDTH_PER_SPACING, most) : most;
}

}  // namespace dustweave
