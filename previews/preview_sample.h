// The share of a run that a preview draws, taken from the mesh as it streams by: the chains'
// segments (the two-point polygons that join a chain, see chain_rule.h) with their places along
// their chains, each chain's start dot (a one-point polygon on its first point), and the box of
// every point drawn. Memory stays bounded whatever the run: past a budget of marks (segments and
// dots) an even sample is kept: one chain piece (a whole chain, or PIECE_SEGMENTS segments of a
// longer one) in k, chosen by a well-mixed hash of the piece's number so that every part of a
// long chain has the same chance, k a power of two doubling as needed (the pieces kept at 2k
// are among those kept at k). A mark on a point that is not finite is not drawn.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "standin/mesh_sink.h"
#include "writers/chain_rule.h"

namespace dustweave {

class PreviewSample final : public standin::MeshSink {
 public:
  // Marks (segments and dots) kept at most; a larger run keeps one chain piece in k.
  static constexpr size_t DEFAULT_BUDGET = 200000;
  // Segments a chain piece holds at most: a longer chain is sampled piece by piece.
  static constexpr uint64_t PIECE_SEGMENTS = 256;
  static constexpr size_t MIN_BUDGET = 16;  // a smaller budget is taken as this

  using Point = std::array<double, 3>;

  // The box of the points drawn; empty until the first.
  struct Box3 {
    static constexpr double NONE = std::numeric_limits<double>::infinity();
    double low[3] = {NONE, NONE, NONE}, high[3] = {-NONE, -NONE, -NONE};
    bool empty() const { return !(low[0] <= high[0]); }
    void Add(const double p[3]);
  };

  // What the run made that could be drawn, and how much of it the sample keeps.
  struct Counts {
    uint64_t points, polygons, segments, segmentsKept, dots, dotsKept;
  };

  explicit PreviewSample(size_t budget = DEFAULT_BUDGET);

  void AddPoint(uint64_t number, const double position[3]) override;
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // Ends the last chain, so that its segments' places are known. After the last polygon.
  void Finish() { EndChain(); }

  // Calls draw(from, to, place) for every kept segment in the order they came, `place` being its
  // middle's place along its chain: 0 the chain's start, 1 its end. After Finish.
  template <typename Draw>
  void EachSegment(Draw draw) const;

  // A kept segment with where it lies: its chain (among the run's), its index among the
  // segments of that chain, drawn or not, and how many the chain has. Two segments of one chain
  // whose indices follow each other share a point: the first's `to` is the second's `from`.
  struct KeptSegment {
    const Point& from;
    const Point& to;
    uint64_t chain, index, chainSegments;
  };
  // Calls visit(const KeptSegment&) for every kept segment in the order they came. After Finish.
  template <typename Visit>
  void EachKeptSegment(Visit visit) const;

  // Whether the piece numbered `number` (from 0, among the run's) is kept at `stride`, a power
  // of two: its number's hash is a multiple of the stride.
  static bool KeptAtStride(uint64_t number, uint64_t stride);
  // The kept chains' start dots, in the order they came.
  const std::vector<Point>& dots() const { return dots_; }
  const Box3& box() const { return box_; }
  Counts counts() const;

 private:
  struct Segment {
    Point from, to;
    uint64_t index;  // among the segments of its chain, drawn or not
  };
  // A run of kept marks from one chain piece, in the order they came.
  struct Piece {
    uint64_t number;          // among all pieces of the run
    uint64_t chain;           // among all chains of the run
    size_t firstSegment;      // its segments run to the next piece's first
    bool hasDot;              // the chain's start dot, in dots_
    uint64_t chainSegments;   // the segments of its chain, once the chain has ended
  };

  const double* PositionOf(int64_t number) const;
  bool IsChainStart(int64_t point) const;
  void AddJoin(const int64_t* points);
  void AddStartDot();
  void StartChain(uint64_t firstPoint);
  void EndChain();
  void StartPiece();
  bool pieceKept() const { return KeptAtStride(pieces_ - 1, stride_); }
  Piece* KeptPieceForMark();
  void AddSegment(const double* from, const double* to, bool drawable);
  void KeepWithinBudget();
  void DoubleStride();

  size_t budget_;
  uint64_t pieceLimit_;  // segments per piece, small enough that one piece fits the budget

  // What the run has made so far.
  ChainRule rule_;
  Point newestAt_{}, previousAt_{};  // the positions of the rule's newest and previous points
  uint64_t polygons_ = 0;
  uint64_t segmentsSeen_ = 0, dotsSeen_ = 0;  // drawable ones
  Box3 box_;                                  // of every drawable mark's points

  // The chain and piece being built.
  uint64_t chains_ = 0, chainFirstPoint_ = 0, chainSegments_ = 0;
  uint64_t pieces_ = 0, pieceSegments_ = 0;

  // What is kept: the marks of the pieces kept at stride_.
  uint64_t stride_ = 1;
  std::vector<Piece> kept_;
  std::vector<Segment> segments_;
  std::vector<Point> dots_;
};

template <typename Visit>
void PreviewSample::EachKeptSegment(Visit visit) const {
  for (size_t i = 0; i < kept_.size(); ++i) {
    size_t end = i + 1 < kept_.size() ? kept_[i + 1].firstSegment : segments_.size();
    for (size_t s = kept_[i].firstSegment; s < end; ++s) {
      const Segment& segment = segments_[s];
      visit(KeptSegment{segment.from, segment.to, kept_[i].chain, segment.index, kept_[i].chainSegments});
    }
  }
}

template <typename Draw>
void PreviewSample::EachSegment(Draw draw) const {
  EachKeptSegment([&draw](const KeptSegment& s) {
    draw(s.from, s.to, (static_cast<double>(s.index) + 0.5) / static_cast<double>(s.chainSegments));
  });
}

}  // namespace dustweave
