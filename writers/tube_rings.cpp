// The rings' geometry: each point's tangent from its neighbours, the frame carried from the ring
// before (or begun afresh where a chain begins), and the ring's vertices and normals.
#include "writers/tube_rings.h"

#include <cmath>

#include "writers/number_text.h"

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

// The sine of 120 degrees (the cosine is -1/2), written out rather than taken from the system's
// sin, whose last bits differ between platforms: the same file everywhere.
constexpr double SINE_120 = 0.86602540378443864676;  // the square root of 3, halved
static_assert(TUBE_SIDES == 3, "the ring's sides are at 0, 120 and 240 degrees");

}  // namespace

// Along the chain through the point: from the point before to the point after, so one length
// is taken a point; where the chain turns straight back (the two are one spot), the direction
// in; where it has no length (one point, or points on one spot), the last ring's tangent, so
// that nothing is divided by zero.
void TubeFrame::Tangent(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, double t[3]) const {
  const double* from = before ? before->position : point.position;
  const double* to = after ? after->position : point.position;
  if (Direction(from, to, t)) return;
  if (before && after && Direction(before->position, point.position, t)) return;
  for (int i = 0; i < 3; ++i) t[i] = tangent_[i];
}

// The frame's normal turned by the least rotation taking the last tangent to `tangent`. That
// rotation is two mirrors: across the plane square to the sum of the tangents (which takes the
// last to the new one reversed) and across the plane square to the new tangent; the normal,
// square to the last tangent, comes out of the first square to the new one, so the second leaves
// it be. A mirror keeps lengths: no root is taken. Where the tangents are opposite (a chain
// turning back) the normal is already square to both and stays.
void TubeFrame::CarryFrame(const double tangent[3]) {
  double sum[3] = {tangent_[0] + tangent[0], tangent_[1] + tangent[1], tangent_[2] + tangent[2]};
  double squared = Dot(sum, sum);
  bool turnsBack = !(squared > 2e-6);
  if (!turnsBack) {
    double fold = 2 * Dot(normal_, sum) / squared;
    for (int i = 0; i < 3; ++i) normal_[i] -= fold * sum[i];
  }
  // Rounding drifts over a long chain, and a turn back keeps a normal only nearly square: the
  // normal is made square to the tangent again, and of length 1.
  if (turnsBack || ++carried_ >= 1024) {
    carried_ = 0;
    double along = Dot(normal_, tangent);
    for (int i = 0; i < 3; ++i) normal_[i] -= along * tangent[i];
    if (!Normalise(normal_)) AnySquareTo(tangent, normal_);
  }
}

std::string TubesHeld(uint64_t vertices, uint64_t triangles, uint64_t startPoints) {
  std::string held = Counted(vertices, "vertex", "vertices") + ", " + Counted(triangles, "triangle", "triangles");
  return startPoints > 0 ? held + ", " + Counted(startPoints, "start point", "start points") : held;
}

void TubeFrame::CarryTo(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, TubeRing& ring,
                        double scale) {
  double t[3];
  Tangent(point, before, after, t);
  if (before) {
    CarryFrame(t);
  } else {
    AnySquareTo(t, normal_);
    carried_ = 0;
  }
  for (int i = 0; i < 3; ++i) tangent_[i] = t[i];
  ring.joined = before != nullptr;
  ring.alone = !before && !after;
  ring.number = point.number;
  MakeRing(point.position, scale, ring);
}

// A spline's direction of no length (a segment whose points are one spot) keeps the last tangent.
void TubeFrame::CarryBetween(const double position[3], const double direction[3], uint64_t number, TubeRing& ring,
                             double scale) {
  double t[3] = {direction[0], direction[1], direction[2]};
  if (!Normalise(t)) {
    for (int i = 0; i < 3; ++i) t[i] = tangent_[i];
  }
  CarryFrame(t);
  for (int i = 0; i < 3; ++i) tangent_[i] = t[i];
  ring.joined = true;
  ring.alone = false;
  ring.number = number;
  MakeRing(position, scale, ring);
}

// The sides at 0, 120 and 240 degrees from the normal: n, -n/2 + s b and -n/2 - s b, with b the
// binormal and s the sine of 120 degrees. The normals are the frame's alone, whatever the radius.
void TubeFrame::MakeRing(const double position[3], double scale, TubeRing& ring) const {
  double binormal[3];
  Cross(tangent_, normal_, binormal);
  double radius = radius_ * scale;
  for (int i = 0; i < 3; ++i) {
    double half = -0.5 * normal_[i], across = SINE_120 * binormal[i];
    double out[TUBE_SIDES] = {normal_[i], half + across, half - across};
    for (int side = 0; side < TUBE_SIDES; ++side) {
      ring.normals[side][i] = static_cast<float>(out[side]);
      ring.positions[side][i] = static_cast<float>(position[i] + radius * out[side]);
    }
  }
}

}  // namespace dustweave
