// How a chain is drawn beyond its kept samples, the same in every output that draws it wide: its
// width along it (--taper), and the Catmull-Rom spline through its samples (--smooth) with the
// points a tube's rings are made at between two samples.
#pragma once

#include <cstdint>

namespace dustweave {

// Where a tapered chain is full and where it is thin (of width 0): a chain runs from its oldest
// sample to its newest, the particle's.
enum class Taper {
  None,
  Start,  // full at the chain's first sample, thin at its last
  Comet,  // full at the particle (the chain's last sample), thin at its oldest
};

// The share of the full width at `place` along a chain (0 at its first sample, 1 at its last).
inline double TaperScale(Taper taper, double place) {
  switch (taper) {
    case Taper::None: return 1;
    case Taper::Start: return 1 - place;
    case Taper::Comet: return place;
  }
  return 1;
}

// A tube's rings a segment under --smooth when no count is given: four split each segment, so a
// turn of 90 degrees between two samples is drawn in turns of about 22 degrees, which a
// three-sided tube shades as round in a close-up, at four times the rings.
constexpr uint32_t DEFAULT_SMOOTH_STEPS = 4;
// The most: the rings, and so a tube's file, grow with the count.
constexpr uint32_t MAX_SMOOTH_STEPS = 64;

struct ChainShape {
  Taper taper = Taper::None;
  // 0: the chain is straight from sample to sample. Else the Catmull-Rom spline through its
  // samples, whose ends are the first and last sample repeated; a tube has a ring at each of
  // `smooth` steps along a segment (its sample and smooth - 1 between it and the next).
  uint32_t smooth = 0;

  bool smoothed() const { return smooth > 0; }
  // The rings of a segment, from its first sample on.
  uint32_t ringsASegment() const { return smooth > 0 ? smooth : 1; }
};

// The uniform Catmull-Rom spline from `b` to `c` (with `a` before and `d` after) at `t` in [0, 1]:
// its point, and its direction (the derivative).
inline void CatmullRomAt(const double a[3], const double b[3], const double c[3], const double d[3], double t,
                         double point[3], double direction[3]) {
  double t2 = t * t, t3 = t2 * t;
  for (int i = 0; i < 3; ++i) {
    double k1 = c[i] - a[i], k2 = 2 * a[i] - 5 * b[i] + 4 * c[i] - d[i], k3 = -a[i] + 3 * b[i] - 3 * c[i] + d[i];
    point[i] = 0.5 * (2 * b[i] + k1 * t + k2 * t2 + k3 * t3);
    direction[i] = 0.5 * (k1 + 2 * k2 * t + 3 * k3 * t2);
  }
}

}  // namespace dustweave
