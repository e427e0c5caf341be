// Chains as tubes: a ring of vertices around each point, turned by a frame carried along the chain
// (the least turn from one tangent to the next), so a tube does not twist; normals point away from
// the line, and consecutive rings are joined by triangles wound outwards.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

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
  // around it, given its neighbours on its chain (null where it begins or ends).
  void CarryTo(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, TubeRing& ring);

 private:
  void Tangent(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, double t[3]) const;
  void CarryFrame(const double tangent[3]);

  double radius_;
  double tangent_[3] = {0, 1, 0};  // the last ring's, and its frame's normal
  double normal_[3] = {1, 0, 0};
  unsigned carried_ = 0;  // frames carried since the normal was last made square and of length 1
};

// `Sink` takes each ring, once a point. A writer whose hot path is the rings names its own
// callable, so the call is direct (and can be inlined) rather than through a std::function.
template <typename Sink>
class BasicTubeRings {
 public:
  // `width`: the tubes' diameter.
  BasicTubeRings(double width, Sink sink) : frame_(width), sink_(std::move(sink)), window_(RingCall{this}) {}

  // One ring a point, each once the point after it is known; Finish hands on the last.
  void AddPoint(uint64_t number, const double position[3]) { window_.AddPoint(number, position); }
  void AddPolygon(int count, const int64_t* points) { window_.AddPolygon(count, points); }
  void Finish() { window_.Finish(); }
  // The position of a point the rings still hold (the newest and the two before it), or null.
  const double* PositionOf(uint64_t number) const { return window_.PositionOf(number); }

 private:
  // What the window calls for each point: the ring made, then handed to the sink.
  struct RingCall {
    BasicTubeRings* rings;
    void operator()(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after) const {
      TubeRing ring;
      rings->frame_.CarryTo(point, before, after, ring);
      rings->sink_(ring);
    }
  };

  TubeFrame frame_;
  Sink sink_;
  BasicChainWindow<RingCall> window_;
};

// What a file of tubes holds, as its summary says it: "60,600 vertices, 120,000 triangles" and
// its start points when there are any.
std::string TubesHeld(uint64_t vertices, uint64_t triangles, uint64_t startPoints);

using TubeRings = BasicTubeRings<std::function<void(const TubeRing& ring)>>;

}  // namespace dustweave
