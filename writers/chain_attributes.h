// Each point's chain (chain_rule.h) and its place along it, worked out as the mesh streams by,
// and handed on in point order as the .glb's per-point attributes: COLOR_0 (the chain ramp, RGBA
// of 8 bits, linear), _CHAIN (the chain's number), _U (its place, 0 to 1) and, given the points'
// frames, the frame as a float with a 0 beside it (_FRAME and TEXCOORD_0 read the one pair). For a
// smoothed tube (writers/chain_shape.h), a value for each of its rings: those between two points
// lie between theirs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "standin/mesh_sink.h"
#include "writers/chain_rule.h"
#include "writers/point_frames.h"

namespace dustweave {

// The attributes' streams: 4 bytes a point each, the frames 8 (the frame, then 0, as float32s).
enum class ChainStream { Colour, Chain, Place, Frame };
constexpr size_t CHAIN_STREAM_BYTES = 4;  // a point's bytes in each stream of its chain
constexpr size_t FRAME_STREAM_BYTES = 8;  // a point's bytes in the frames' stream
constexpr size_t StreamBytes(ChainStream stream) {
  return stream == ChainStream::Frame ? FRAME_STREAM_BYTES : CHAIN_STREAM_BYTES;
}

// A chain's values are handed on when it closes: when the point after it turns out not to be
// joined to it, or at Finish. A point's chain is known once the next point is made (or at
// Finish), when every polygon that could join it has come. Its frame is known as it is made, and
// the frames' blocks are handed on as they fill.
class ChainAttributes final : public standin::MeshSink {
 public:
  // Chain numbers and frames are float32: every whole number up to this is held exactly.
  static constexpr uint64_t MAX_CHAINS = uint64_t{1} << 24;
  static constexpr int32_t MAX_FRAME = int32_t{1} << 24;
  // Takes a stream's next bytes, a whole number of points; they live only during the call.
  using BlockSink = std::function<void(ChainStream stream, const char* bytes, size_t size)>;

  // The streams are handed on in blocks of `blockPoints` points (the three chain streams' blocks
  // of the same points one after another, the frames' on their own), the last block shorter.
  // With `frames`, each point's frame from it makes the fourth stream. With `ringsASegment` above
  // 1, a point joined to the next has that many values, from its own towards the next's (its
  // place, and so its colour, and its frame), as a smoothed tube has rings.
  explicit ChainAttributes(BlockSink sink, size_t blockPoints = 1 << 16, PointFrames* frames = nullptr,
                           uint32_t ringsASegment = 1);
  ~ChainAttributes() override;
  ChainAttributes(const ChainAttributes&) = delete;
  ChainAttributes& operator=(const ChainAttributes&) = delete;

  // Both run once a sample: kept short, here, for the writer that calls them to inline.
  void AddPoint(uint64_t number, const double*) override {
    if (rule_.points() > 0) TakeNewest();
    rule_.AddPoint(number);
    if (frames_) TakeFrame(frames_->Next());
  }
  void AddPolygon(const char*, int count, const int64_t* points) override { rule_.Joins(count, points); }
  // Closes the last chain and hands on every value not yet handed on; once, after the last
  // point. Nothing is handed on once there are more than MAX_CHAINS chains.
  void Finish();

  uint64_t points() const { return rule_.points(); }
  uint64_t chains() const { return chains_; }
  bool tooManyChains() const { return chains_ > MAX_CHAINS; }
  // Why the frames cannot be written as they are: a point had none, or one past MAX_FRAME either
  // way, which a float32 would round; empty while they can.
  std::string framesRefused() const;
  bool frames() const { return frames_ != nullptr; }
  FrameRange frameRange() const { return frames_ ? frames_->range() : FrameRange(); }

 private:
  // The newest point's polygons have all come: it continues the open chain or starts the next.
  void TakeNewest() {
    if (!rule_.newestJoined()) StartNextChain();
    ++chainLength_;
    if (frames_ && rings_ > 1) PassFrames(rule_.newestJoined());
  }
  void StartNextChain();
  void CloseChain();
  void PutPoints(float chain, uint64_t length, const char* colours, const char* places);
  void PutEachPoint(float chain, uint64_t length);
  void MakePattern(uint64_t length);
  void Flush();
  void TakeFrame(int32_t frame) {
    if (frame > MAX_FRAME || frame < -MAX_FRAME) NoteFramePastFloats(frame);
    if (rings_ == 1) return PutFrame(static_cast<float>(frame));
    newestFrame_ = frame;
  }
  void PassFrames(bool joined);
  void PutFrame(float frame) {
    const float pair[2] = {frame, 0.0f};
    std::memcpy(frameBlock_.get() + FRAME_STREAM_BYTES * framesFilled_, pair, sizeof pair);
    if (++framesFilled_ == blockPoints_) FlushFrames();
  }
  void NoteFramePastFloats(int32_t frame);
  void FlushFrames();

  BlockSink sink_;
  size_t blockPoints_;
  std::unique_ptr<char[]> blocks_;  // the three streams' blocks, one after another
  size_t filled_ = 0;               // points in the blocks
  // The colours and places of a chain of `patternLength_` points, at most a block's: the runs of
  // a simulation mostly make chains of one length, whose values are then copied.
  std::unique_ptr<char[]> pattern_;  // colours, then places
  uint64_t patternLength_ = 0;

  std::unique_ptr<FrameFeed> frames_;   // with the frames' stream
  std::unique_ptr<char[]> frameBlock_;
  size_t framesFilled_ = 0;
  std::optional<std::pair<uint64_t, int32_t>> framePastFloats_;  // the first such point and its frame

  // With rings between points, a point's frames wait for the next point: whether it is joined to
  // it, and its frame.
  uint32_t rings_;
  int32_t olderFrame_ = 0, newestFrame_ = 0;
  bool hasOlderFrame_ = false;

  ChainRule rule_;
  uint64_t chains_ = 0;
  uint64_t chainLength_ = 0;  // the open chain's points taken so far, the newest left out
};

}  // namespace dustweave
