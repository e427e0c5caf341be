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
class ChainAttributes : public standin::MeshSink {
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

  void AddPoint(uint64_t number, const double position[3]) override;
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // Closes the last chain and hands on every value not yet handed on; once, after the last
  // point. Nothing is handed on once there are more than MAX_CHAINS chains.
  void Finish();

  uint64_t points() const { return points_; }
  uint64_t chains() const { return chains_; }
  bool tooManyChains() const { return chains_ > MAX_CHAINS; }

 private:
  void Decide();
  void CloseChain();
  void Flush();

  BlockSink sink_;
  size_t blockPoints_;
  std::unique_ptr<char[]> blocks_;  // the three streams' blocks, one after another
  size_t filled_ = 0;               // points in the blocks

  uint64_t points_ = 0, chains_ = 0;
  uint64_t newest_ = 0, beforeNewest_ = 0;  // the numbers the last two points were given
  bool undecided_ = false;                  // the newest point's chain is not yet known
  bool joined_ = false;                     // the newest point is joined to the one before
  uint64_t chainLength_ = 0;                // the open chain's points, the newest left out
};

}  // namespace dustweave
