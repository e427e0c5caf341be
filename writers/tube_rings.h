// Chains as tubes: a ring of vertices around each point, turned by a frame carried along the chain
// (the least turn from one tangent to the next), so a tube does not twist; normals point away from
// the line, and consecutive rings are joined by triangles wound outwards.
#pragma once

#include <cstdint>
#include <functional>

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
  uint64_t number;  // the point's
};

class TubeRings {
 public:
  using RingSink = std::function<void(const TubeRing& ring)>;

  // `width`: the tubes' diameter.
  TubeRings(double width, RingSink sink);

  // One ring a point, each once the point after it is known; Finish hands on the last.
  void AddPoint(uint64_t number, const double position[3]) { window_.AddPoint(number, position); }
  void AddPolygon(int count, const int64_t* points) { window_.AddPolygon(count, points); }
  void Finish() { window_.Finish(); }
  // The position of a point the rings still hold (the newest and the two before it), or null.
  const double* PositionOf(uint64_t number) const { return window_.PositionOf(number); }

 private:
  // What the window calls for each point: straight into Ring, once a point.
  struct RingCall {
    TubeRings* rings;
    void operator()(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after) const {
      rings->Ring(point, before, after);
    }
  };

  void Ring(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after);
  void Tangent(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after, double t[3]) const;
  void CarryFrame(const double tangent[3]);

  double radius_;
  RingSink sink_;
  BasicChainWindow<RingCall> window_;
  double tangent_[3] = {0, 1, 0};  // the last ring's, and its frame's normal
  double normal_[3] = {1, 0, 0};
  unsigned carried_ = 0;  // frames carried since the normal was last made square and of length 1
};

}  // namespace dustweave
