// Each point's chain (chain_rule.h) and its place along it, worked out as the mesh streams by,
// and handed on in point order as the .glb's three per-point attributes: COLOR_0 (the chain
// ramp, RGBA of 8 bits, linear), _CHAIN (the chain's number) and _U (its place, 0 to 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "standin/mesh_sink.h"
#include "writers/chain_rule.h"

namespace dustweave {

// The attributes' streams, 4 bytes a point each.
enum class ChainStream { Colour, Chain, Place };
constexpr size_t CHAIN_STREAM_BYTES = 4;  // a point's bytes in each stream

// A chain's values are handed on when it closes: when the point after it turns out not to be
// joined to it, or at Finish. A point's chain is known once the next point is made (or at
// Finish), when every polygon that could join it has come.
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
    if (rule_.points() > 0) TakeNewest();
    rule_.AddPoint(number);
  }
  void AddPolygon(const char*, int count, const int64_t* points) override { rule_.Joins(count, points); }
  // Closes the last chain and hands on every value not yet handed on; once, after the last
  // point. Nothing is handed on once there are more than MAX_CHAINS chains.
  void Finish();

  uint64_t points() const { return rule_.points(); }
  uint64_t chains() const { return chains_; }
  bool tooManyChains() const { return chains_ > MAX_CHAINS; }

 private:
  // The newest point's polygons have all come: it continues the open chain or starts the next.
  void TakeNewest() {
    if (!rule_.newestJoined()) StartNextChain();
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

  ChainRule rule_;
  uint64_t chains_ = 0;
  uint64_t chainLength_ = 0;  // the open chain's points taken so far, the newest left out
};

}  // namespace dustweave
