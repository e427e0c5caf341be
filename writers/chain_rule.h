// What a chain is, stated once for every writer that draws or describes one: the preview sample
// colours each chain from its start to its end, and the .glb's chain attributes number each
// point's chain and place it along it.
//
// A chain is a run of points, consecutive in creation order, each joined to the point made just
// before it. A two-point polygon joins two points when it names the newest point made and the
// one made before it (in either order) and comes before the next point is made; the first such
// polygon counts. A point that no polygon joins to the one before it begins a chain. Other
// polygons (of one point or of more, naming other points or one never made) neither join nor
// break a chain. The module makes each chain so: a point, then the polygon from the one before.
#pragma once

#include <cstdint>

namespace dustweave {

// Whether a polygon is one the chain writers draw: a segment of two points or a start of one,
// naming only points this run made (-1 stands for one it never made). They leave out others.
inline bool IsSegmentOrStart(int count, const int64_t* points) {
  return (count == 2 && (points[0] | points[1]) >= 0) || (count == 1 && points[0] >= 0);
}

// Applies the rule to the mesh as it streams by, a point and a polygon at a time: whether the
// newest point and the one before it each continue a chain (are joined to their predecessors)
// or begin one. The newest point's answer holds only once the next point is made.
class ChainRule {
 public:
  // A point made: the newest now, joined to nothing yet.
  void AddPoint(uint64_t number) {
    previousJoined_ = newestJoined_;
    newestJoined_ = false;
    previous_ = newest_;
    newest_ = number;
    ++points_;
  }
  // Whether this polygon is the one that joins the newest point to the one before it.
  bool Joins(int count, const int64_t* points) {
    if (count != 2 || newestJoined_ || points_ < 2 || points[0] < 0 || points[1] < 0) return false;
    auto a = static_cast<uint64_t>(points[0]), b = static_cast<uint64_t>(points[1]);
    newestJoined_ = a != b && ((a == previous_ && b == newest_) || (a == newest_ && b == previous_));
    return newestJoined_;
  }

  uint64_t points() const { return points_; }
  uint64_t newest() const { return newest_; }      // the newest point's number
  uint64_t previous() const { return previous_; }  // the number of the one made before it
  bool newestJoined() const { return newestJoined_; }
  bool previousJoined() const { return previousJoined_; }

 private:
  uint64_t points_ = 0;
  uint64_t newest_ = 0, previous_ = 0;
  bool newestJoined_ = false, previousJoined_ = false;
};

}  // namespace dustweave
