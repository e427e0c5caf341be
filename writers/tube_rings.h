// Chains as tubes: a ring of vertices around each point, turned by a frame carried along the chain
// (the least turn from one tangent to the next), so a tube does not twist; normals point away from
// the line, and consecutive rings are joined by triangles wound outwards. Shaped (chain_shape.h),
// the rings narrow along a chain, and a smoothed chain has rings along its spline between points.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "writers/chain_hold.h"
#include "writers/chain_shape.h"
#include "writers/chain_window.h"

namespace dustweave {

// Three sides: the fewest that enclose a line, and what keeps the largest simulations in a .glb.
// With --attributes a side costs 60 bytes a point (position, normal and attributes of a vertex,
// and two triangles' indices): three sides make 180 bytes a point, so 20 million points make
// 3.6 GB, within the 4 GiB a .glb holds; four would pass it. The normals are smooth, so the
// shading reads as round at the widths trails are drawn.
constexpr int TUBE_SIDES = 3;

struct TubeRing {
  float positions[TUBE_SIDES][3];
  float normals[TUBE_SIDES][3];
  bool joined;  // to the ring before it: its triangles join the two
  // A chain of one point: its ring is closed by a triangle facing each way, so that the point is
  // drawn (as a small flat triangle across the tube's width).
  bool alone;
  uint64_t number;  // the point's
};

// The rings' geometry along the chains: the frame carried from one ring to the next.
class TubeFrame {
 public:
  // `width`: the tubes' diameter.
  explicit TubeFrame(double width) : radius_(width / 2) {}
  // Carries the frame on to `point` (or begins it afresh where a chain begins) and makes the ring
  // around it, given its neighbours on its chain (null where it begins or ends), `scale` times
  // the width across (0 makes every vertex the point, its normals still of length 1).
  void CarryTo(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, TubeRing& ring,
               double scale = 1);
  // Carries the frame on to a ring between two points of a chain, at `position` along
  // `direction`, joined to the ring before; `number` is the point after it.
  void CarryBetween(const double position[3], const double direction[3], uint64_t number, TubeRing& ring, double scale);

 private:
  void Tangent(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, double t[3]) const;
  void CarryFrame(const double tangent[3]);
  void MakeRing(const double position[3], double scale, TubeRing& ring) const;

  double radius_;
  double tangent_[3] = {0, 1, 0};  // the last ring's, and its frame's normal
  double normal_[3] = {1, 0, 0};
  unsigned carried_ = 0;  // frames carried since the normal was last made square and of length 1
};

// `Sink` takes each ring, in order along each chain. A writer whose hot path is the rings names
// its own callable, so the call is direct (and can be inlined) rather than through a
// std::function.
template <typename Sink>
class BasicTubeRings {
 public:
  // `width`: the tubes' diameter (at its fullest, tapered).
  BasicTubeRings(double width, Sink sink, ChainShape shape = {})
      : frame_(width), shape_(shape), sink_(std::move(sink)), window_(RingCall{this}) {}

  // Where a tapered chain longer than memory holds waits for its end: beside `outputPath`.
  void Start(const std::string& outputPath) { hold_.Start(outputPath); }
  // One ring a point (and a smoothed chain's between), each once the point after it is known, a
  // tapered chain's once it ends; Finish hands on the last.
  void AddPoint(uint64_t number, const double position[3]) { window_.AddPoint(number, position); }
  void AddPolygon(int count, const int64_t* points) { window_.AddPolygon(count, points); }
  void Finish() { window_.Finish(); }
  // The position of a point the rings still hold (the newest and the two before it), or null.
  const double* PositionOf(uint64_t number) const { return window_.PositionOf(number); }
  // Why a tapered chain's points could not be held; empty when they could.
  std::string failure() const { return hold_.failure(); }

 private:
  struct RingCall {
    BasicTubeRings* rings;
    void operator()(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after) const {
      rings->Take(point, before, after);
    }
  };

  // A tapered chain's rings wait for its length.
  void Take(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after) {
    if (shape_.taper == Taper::None) return Draw(point, before, after, 0, 0);
    hold_.Add(point);
    if (!after) DrawHeldChain();
  }
  void DrawHeldChain();
  void Draw(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, uint64_t index, uint64_t length);
  double Scale(double index, uint64_t length) const {
    return length <= 1 ? 1 : TaperScale(shape_.taper, index / static_cast<double>(length - 1));
  }

  TubeFrame frame_;
  ChainShape shape_;
  Sink sink_;
  BasicChainWindow<RingCall> window_;
  ChainHold hold_;
  double twoBack_[3] = {0, 0, 0};  // the point before the last point's neighbour before, on its chain
  bool hasTwoBack_ = false;
};

// The point `index` of a chain of `length` (0 when untapered), with the rings of a smoothed chain
// between it and the point before first: along the spline through the point before that, the
// point before, this point and the point after (the chain's end points stand in where it has none).
template <typename Sink>
void BasicTubeRings<Sink>::Draw(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after,
                                uint64_t index, uint64_t length) {
  TubeRing ring;
  if (shape_.smooth > 1 && before) {
    const double* a = hasTwoBack_ ? twoBack_ : before->position;
    const double* d = after ? after->position : point.position;
    for (uint32_t step = 1; step < shape_.smooth; ++step) {
      double t = static_cast<double>(step) / shape_.smooth, position[3], direction[3];
      CatmullRomAt(a, before->position, point.position, d, t, position, direction);
      frame_.CarryBetween(position, direction, point.number, ring, Scale(static_cast<double>(index) - 1 + t, length));
      sink_(ring);
    }
  }
  frame_.CarryTo(point, before, after, ring, Scale(static_cast<double>(index), length));
  sink_(ring);
  hasTwoBack_ = before != nullptr;
  if (before) {
    for (int i = 0; i < 3; ++i) twoBack_[i] = before->position[i];
  }
}

// The held chain's points, each with its neighbours, now that its length is known.
template <typename Sink>
void BasicTubeRings<Sink>::DrawHeldChain() {
  uint64_t length = hold_.size(), index = 0;
  ChainPoint slots[3];
  int have = 0;  // points in slots: the one before, the one to draw, the one after
  hold_.Replay([&](const ChainPoint& next) {
    slots[have < 2 ? have : 2] = next;
    if (have < 2) {
      ++have;
      if (have < 2) return;
      return Draw(slots[0], nullptr, &slots[1], index++, length);
    }
    Draw(slots[1], &slots[0], &slots[2], index++, length);
    slots[0] = slots[1];
    slots[1] = slots[2];
  });
  if (have == 1) Draw(slots[0], nullptr, nullptr, 0, length);
  if (have == 2) Draw(slots[1], &slots[0], nullptr, index, length);
}

// What a file of tubes holds, as its summary says it: "60,600 vertices, 120,000 triangles" and
// its start points when there are any.
std::string TubesHeld(uint64_t vertices, uint64_t triangles, uint64_t startPoints);

using TubeRings = BasicTubeRings<std::function<void(const TubeRing& ring)>>;

}  // namespace dustweave
