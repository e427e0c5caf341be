// A chain's points handed on one at a time with their neighbours along it: what a writer needs
// that draws each point from the line through it (a tube's ring, a curve's vertex). A point is
// handed on once the point after it is settled (chain_rule.h), so at most three are held.
#pragma once

#include <cstdint>
#include <functional>

#include "writers/chain_rule.h"

namespace dustweave {

struct ChainPoint {
  uint64_t number = 0;
  double position[3] = {0, 0, 0};
  bool joined = false;  // to the point before it: false where a chain begins
  int32_t frame = 0;    // as the window was given it
};

// `Each` takes a point with the one before it on its chain and the one after it (null where the
// chain begins or ends); they live only during the call. A writer that makes a point's shape in
// its hot path names its own callable here, so the call is direct rather than through a
// std::function.
template <typename Each>
class BasicChainWindow {
 public:
  explicit BasicChainWindow(Each each) : each_(std::move(each)) {}

  void AddPoint(uint64_t number, const double position[3], int32_t frame = 0) {
    if (rule_.points() > 0) Settle(rule_.newestJoined());
    rule_.AddPoint(number);
    ChainPoint& newest = held_[newest_];
    newest.number = number;
    newest.position[0] = position[0];
    newest.position[1] = position[1];
    newest.position[2] = position[2];
    newest.joined = false;
    newest.frame = frame;
  }
  // Whether the polygon joins the newest point to the one before it.
  bool AddPolygon(int count, const int64_t* points) { return rule_.Joins(count, points); }
  // Hands on the points still held; once, after the last point. The window then starts afresh.
  void Finish() {
    if (rule_.points() > 0) Settle(rule_.newestJoined());
    if (hasPending_) each_(held_[pending_], Before(), nullptr);
    rule_ = ChainRule();
    hasPending_ = hasBefore_ = false;
  }
  // The position of a point still held (the newest and the two before it), or null.
  const double* PositionOf(uint64_t number) const {
    if (rule_.points() > 0 && held_[newest_].number == number) return held_[newest_].position;
    if (hasPending_ && held_[pending_].number == number) return held_[pending_].position;
    if (hasBefore_ && held_[before_].number == number) return held_[before_].position;
    return nullptr;
  }
  uint64_t points() const { return rule_.points(); }

 private:
  // Whether the newest point is joined is now known: the one before it is handed on, and the
  // three slots turn (the points stay where they are; only which is which changes).
  void Settle(bool joined) {
    held_[newest_].joined = joined;
    if (hasPending_) each_(held_[pending_], Before(), joined ? &held_[newest_] : nullptr);
    int freed = before_;
    before_ = pending_;
    pending_ = newest_;
    newest_ = freed;
    hasBefore_ = hasPending_;
    hasPending_ = true;
  }
  const ChainPoint* Before() const {
    return held_[pending_].joined && hasBefore_ ? &held_[before_] : nullptr;
  }

  Each each_;
  ChainRule rule_;
  ChainPoint held_[3];
  int newest_ = 0, pending_ = 1, before_ = 2;  // pending_: the next to hand on; before_: the one before it
  bool hasPending_ = false, hasBefore_ = false;
};

using ChainWindow =
    BasicChainWindow<std::function<void(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after)>>;

}  // namespace dustweave
