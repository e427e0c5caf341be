// Where the arrays of a .usdc lie: the curves' points right behind the bootstrap, the arrays of a
// value a curve vertex (colours, places, and widths when they taper) right behind them, and every
// other value from `rest` on, as the layer is laid out. Placing the parts before a run and writing
// the layer at its end both take their offsets from here, so the two cannot disagree.
#pragma once

#include <cstdint>

#include "usd/crate_sections.h"
#include "usd/layer_writer.h"

namespace dustweave {

class CrateLayout {
 public:
  static constexpr uint64_t POINTS_AT = CRATE_HEAD_SIZE + 8;  // the curves' points, behind their count

  // The layout for `vertices` curve vertices, with a width each when `taper`.
  CrateLayout(uint64_t vertices, bool taper);

  // Whether `part` lies at a fixed offset (the curves' points and the arrays of a value a vertex).
  bool Fixes(int part) const { return part == CurvePoints || part == Colours || part == Places || (part == Widths && taper_); }
  // Where a fixed part's elements lie; its element count is the 8 bytes before them.
  uint64_t ElementsAt(int part) const;
  // The end of the fixed arrays, where the other values begin.
  uint64_t rest() const { return rest_; }

  // An array whose count goes at the first 8-byte boundary from `at`: where its elements lie.
  static uint64_t ElementsBehind(uint64_t at) { return (at + 7) / 8 * 8 + 8; }

 private:
  bool taper_;
  uint64_t colours_, places_, widths_, rest_;
};

inline CrateLayout::CrateLayout(uint64_t vertices, bool taper) : taper_(taper) {
  colours_ = ElementsBehind(POINTS_AT + 12 * vertices);
  places_ = ElementsBehind(colours_ + 12 * vertices);
  widths_ = ElementsBehind(places_ + 4 * vertices);
  rest_ = taper ? widths_ + 4 * vertices : places_ + 4 * vertices;
}

inline uint64_t CrateLayout::ElementsAt(int part) const {
  switch (part) {
    case CurvePoints: return POINTS_AT;
    case Colours: return colours_;
    case Places: return places_;
    default: return widths_;
  }
}

}  // namespace dustweave
