// Each point's chain and its place along it, worked out as the mesh streams by with a few
// counts, and handed on in point order as the .glb's three per-point attributes: COLOR_0 (the
// chain ramp, RGBA of 8 bits, linear), _CHAIN (the chain's number) and _U (its place, 0 to 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "standin/mesh_sink.h"

namespace dustweave {

// The attributes' streams, 4 bytes a point each.
enum class ChainStream { Colour, Chain, Place };
constexpr size_t CHAIN_STREAM_BYTES = 4;  // a point's bytes in each stream

// A chain is a run of points, consecutive in creation order, each joined to the one before it
// by a two-point polygon (in either order); a point joined to nothing before it starts one.
// A join counts while its later point is the newest made, which is when the module makes it.
// One-point polygons, longer ones and those naming a point never made (-1) neither join nor
// break a chain. A chain's values are handed on when it closes: when the point after it turns
// out not to be joined to it, or at Finish.
class ChainAttributes final : public standin::MeshSink {
 public:
  // Chain numbers are float32: every number below this is held exactly.
  static constexpr uint64_t MAX_CHAINS = uint64_t{1} << 24;
  // Takes a stream's next bytes, a whole number of points; they live only during the call.
  using BlockSink = std::function<void(ChainStream stream, const char* bytes, size_t size)>;

  // The streams are handed on in blocks of `blockPoints` points (the three streams' blocks of
  // the same points one after another), the last block shorter.
  explicit ChainAttributes(BlockSink sink, size_t blockPoints = 1 << 16);
  ~ChainAttributes() override;
  ChainAttributes(const ChainAttributes&) = delete;
  ChainAttributes& operator=(const ChainAttributes&) = delete;

  // Both run once a sample: kept short, here, for the writer that calls them to inline.
  void AddPoint(uint64_t number, const double*) override {
    if (undecided_) Decide();
    undecided_ = true;
    beforeNewest_ = newest_;
    newest_ = number;
    joined_ = false;
    ++points_;
  }
  void AddPolygon(const char*, int count, const int64_t* points) override {
    if (count != 2 || joined_ || points_ < 2 || points[0] < 0 || points[1] < 0) return;
    auto a = static_cast<uint64_t>(points[0]), b = static_cast<uint64_t>(points[1]);
    joined_ = a != b && ((a == beforeNewest_ && b == newest_) || (a == newest_ && b == beforeNewest_));
  }
  // Closes the last chain and hands on every value not yet handed on; once, after the last
  // point. Nothing is handed on once there are more than MAX_CHAINS chains.
  void Finish();

  uint64_t points() const { return points_; }
  uint64_t chains() const { return chains_; }
  bool tooManyChains() const { return chains_ > MAX_CHAINS; }

 private:
  // The newest point's polygons have all come: it continues the open chain or starts the next.
  void Decide() {
    if (!joined_) StartNextChain();
    ++chainLength_;
  }
  void StartNextChain();
  void CloseChain();
  void PutPoints(float chain, uint64_t length, const char* colours, const char* places);
  void PutEachPoint(float chain, uint64_t length);
  void MakePattern(uint64_t length);
  void Flush();

  BlockSink sink_;
  size_t blockPoints_;
  std::unique_ptr<char[]> blocks_;  // the three streams' blocks, one after another
  size_t filled_ = 0;               // points in the blocks
  // The colours and places of a chain of `patternLength_` points, at most a block's: the runs of
  // a simulation mostly make chains of one length, whose values are then copied.
  std::unique_ptr<char[]> pattern_;  // colours, then places
  uint64_t patternLength_ = 0;

  uint64_t points_ = 0, chains_ = 0;
  uint64_t newest_ = 0, beforeNewest_ = 0;  // the numbers the last two points were given
  bool undecided_ = false;                  // the newest point's chain is not yet known
  bool joined_ = false;                     // the newest point is joined to the one before
  uint64_t chainLength_ = 0;                // the open chain's points, the newest left out
};

}  // namespace dustweave
