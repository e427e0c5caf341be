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
};

class ChainWindow {
 public:
  // Takes a point with the one before it on its chain and the one after it (null where the chain
  // begins or ends); they live only during the call.
  using Each = std::function<void(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after)>;

  explicit ChainWindow(Each each) : each_(std::move(each)) {}

  void AddPoint(uint64_t number, const double position[3]) {
    if (rule_.points() > 0) Settle(rule_.newestJoined());
    rule_.AddPoint(number);
    newest_ = ChainPoint{number, {position[0], position[1], position[2]}, false};
  }
  // Whether the polygon joins the newest point to the one before it.
  bool AddPolygon(int count, const int64_t* points) { return rule_.Joins(count, points); }
  // Hands on the points still held; once, after the last point.
  void Finish() {
    if (rule_.points() > 0) Settle(rule_.newestJoined());
    if (hasPending_) each_(pending_, pending_.joined && hasBefore_ ? &before_ : nullptr, nullptr);
    *this = ChainWindow(std::move(each_));
  }
  // The position of a point still held (the newest and the two before it), or null.
  const double* PositionOf(uint64_t number) const {
    if (rule_.points() > 0 && newest_.number == number) return newest_.position;
    if (hasPending_ && pending_.number == number) return pending_.position;
    if (hasBefore_ && before_.number == number) return before_.position;
    return nullptr;
  }
  uint64_t points() const { return rule_.points(); }

 private:
  // Whether the newest point is joined is now known: the one before it is handed on.
  void Settle(bool joined) {
    ChainPoint next = newest_;
    next.joined = joined;
    if (hasPending_) each_(pending_, pending_.joined && hasBefore_ ? &before_ : nullptr, joined ? &next : nullptr);
    before_ = pending_;
    hasBefore_ = hasPending_;
    pending_ = next;
    hasPending_ = true;
  }

  Each each_;
  ChainRule rule_;
  ChainPoint newest_, pending_, before_;  // pending_: the next to hand on; before_: the one before it
  bool hasPending_ = false, hasBefore_ = false;
};

}  // namespace dustweave
