// The rings' geometry: each point's tangent from its neighbours, the frame carried from the ring
// before (or begun afresh where a chain begins), and the ring's vertices and normals.
#include "writers/tube_rings.h"

#include <cmath>

namespace dustweave {

namespace {

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double a[3], const double b[3], double out[3]) {
  double x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
  out[0] = x;
  out[1] = y;
  out[2] = z;
}

// Scales `v` to length 1; false (and `v` untouched) when it has no direction: zero, too small
// to scale, or not finite.
bool Normalise(double v[3]) {
  double squared = Dot(v, v);
  if (!(squared > 1e-300) || !(squared < INFINITY)) return false;
  double scale = 1 / std::sqrt(squared);  // one division, not three
  for (int i = 0; i < 3; ++i) v[i] *= scale;
  return true;
}

// The unit direction from `a` to `b`; false when the two are one point.
bool Direction(const double a[3], const double b[3], double out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = b[i] - a[i];
  return Normalise(out);
}

// A unit vector square to the unit vector `t`: across the axis `t` leans on least.
void AnySquareTo(const double t[3], double out[3]) {
  int least = 0;
  for (int i = 1; i < 3; ++i) {
    if (std::fabs(t[i]) < std::fabs(t[least])) least = i;
  }
  double axis[3] = {0, 0, 0};
  axis[least] = 1;
  Cross(t, axis, out);
  Normalise(out);
}

// The sides' directions, cosine and sine of 0, 120 and 240 degrees, written out rather than
// taken from the system's cos and sin, whose last bits differ between platforms: the same file
// everywhere.
constexpr double SINE_120 = 0.86602540378443864676;  // the square root of 3, halved
constexpr double ANGLES[TUBE_SIDES][2] = {{1.0, 0.0}, {-0.5, SINE_120}, {-0.5, -SINE_120}};
static_assert(TUBE_SIDES == 3, "ANGLES holds three sides");

}  // namespace

TubeRings::TubeRings(double width, RingSink sink)
    : radius_(width / 2),
      sink_(std::move(sink)),
      window_([this](const ChainPoint& point, const ChainPoint* before, const ChainPoint* after) {
        Ring(point, before, after);
      }) {}

// Along the chain through the point: the mean of the directions in and out; where the chain turns
// straight back, the direction in; where it has no length (one point, or points on one spot),
// the last ring's tangent, so that nothing is divided by zero.
void TubeRings::Tangent(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, double t[3]) {
  // The direction in is the last point's direction out, worked out when its ring was made.
  double in[3], out[3] = {0, 0, 0};
  bool hasIn = before && lastOut_;
  for (int i = 0; i < 3; ++i) in[i] = lastDirection_[i];
  bool hasOut = after && Direction(point.position, after->position, out);
  lastOut_ = hasOut;
  for (int i = 0; i < 3; ++i) lastDirection_[i] = out[i];
  for (int i = 0; i < 3; ++i) t[i] = (hasIn ? in[i] : 0.0) + (hasOut ? out[i] : 0.0);
  if (Normalise(t)) return;
  for (int i = 0; i < 3; ++i) t[i] = hasIn ? in[i] : tangent_[i];
}

// The frame's normal turned by the least rotation taking the last tangent to `tangent`; where the
// two are opposite (a chain turning back), the normal is already square to both and stays.
void TubeRings::CarryFrame(const double tangent[3]) {
  double axis[3];
  Cross(tangent_, tangent, axis);
  double c = Dot(tangent_, tangent);
  if (c > -0.999999) {
    // Rodrigues' rotation with the sine folded into `axis`: n + a x n + a x (a x n) / (1 + c).
    double an[3], aan[3];
    Cross(axis, normal_, an);
    Cross(axis, an, aan);
    double fold = 1 / (1 + c);
    for (int i = 0; i < 3; ++i) normal_[i] += an[i] + aan[i] * fold;
  }
  // Rounding drifts over a long chain: the normal is made square to the tangent again, and of
  // length 1 by a step of Newton's method (no root, no division: it is within rounding of 1).
  double along = Dot(normal_, tangent);
  for (int i = 0; i < 3; ++i) normal_[i] -= along * tangent[i];
  double squared = Dot(normal_, normal_);
  if (squared > 0.98 && squared < 1.02) {
    for (int i = 0; i < 3; ++i) normal_[i] *= (3 - squared) / 2;
  } else if (!Normalise(normal_)) {
    AnySquareTo(tangent, normal_);
  }
}

void TubeRings::Ring(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after) {
  double t[3];
  Tangent(point, before, after, t);
  if (before) {
    CarryFrame(t);
  } else {
    AnySquareTo(t, normal_);
  }
  for (int i = 0; i < 3; ++i) tangent_[i] = t[i];
  double binormal[3];
  Cross(t, normal_, binormal);
  TubeRing ring;
  ring.joined = before != nullptr;
  ring.number = point.number;
  for (int side = 0; side < TUBE_SIDES; ++side) {
    for (int i = 0; i < 3; ++i) {
      double out = ANGLES[side][0] * normal_[i] + ANGLES[side][1] * binormal[i];
      ring.normals[side][i] = static_cast<float>(out);
      ring.positions[side][i] = static_cast<float>(point.position[i] + radius_ * out);
    }
  }
  sink_(ring);
}

}  // namespace dustweave
