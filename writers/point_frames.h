// The frame of each point a run makes, which the mesh does not carry: where the writers take it
// from as the points stream by (the commands read it beside the run, pfxtools/pfx_frames.h), a
// block of frames at a time, and the least and greatest frame of the points taken.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dustweave {

// The frames of the run's points, in point order.
class PointFrames {
 public:
  virtual ~PointFrames() = default;
  // Up to `count` next frames into `frames`: how many there were, fewer only when there are no
  // more or they cannot be read (then failure() says why).
  virtual size_t Take(int32_t* frames, size_t count) = 0;
  // Why frames stopped coming: a one-line reason, empty when they simply ended.
  virtual std::string failure() const = 0;
};

// The least and greatest frame of the points taken.
struct FrameRange {
  int32_t first = INT32_MAX, last = INT32_MIN;
  bool any() const { return first <= last; }
};

// A point's frame at a time, taken from a PointFrames a block at a time.
class FrameFeed {
 public:
  static constexpr size_t BLOCK = 1 << 14;

  explicit FrameFeed(PointFrames* source) : source_(source), block_(new int32_t[BLOCK]) {}

  // The next point's frame; once the source has none for it, 0 and missing() from then on.
  int32_t Next() {
    if (at_ == end_ && !Refill()) return 0;
    int32_t frame = block_[at_++];
    range_.first = std::min(range_.first, frame);
    range_.last = std::max(range_.last, frame);
    return frame;
  }
  // Why a point had no frame: a one-line reason, empty while every point had one.
  const std::string& missing() const { return missing_; }
  const FrameRange& range() const { return range_; }

 private:
  bool Refill() {
    at_ = 0;
    end_ = missing_.empty() ? source_->Take(block_.get(), BLOCK) : 0;
    if (end_ > 0) return true;
    if (missing_.empty()) missing_ = source_->failure().empty() ? "the input holds fewer samples than points were made" : source_->failure();
    return false;
  }

  PointFrames* source_;
  std::unique_ptr<int32_t[]> block_;
  size_t at_ = 0, end_ = 0;
  FrameRange range_;
  std::string missing_;
};

}  // namespace dustweave
