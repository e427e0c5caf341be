// What each value of a .glb written here costs in bytes, for the lines and for the tubes: stated
// once, for the writers' parts, the room they place them behind, their size checks and the most
// points a file holds, worked out before a run.
#pragma once

#include <cstdint>

#include "writers/chain_attributes.h"
#include "writers/tube_rings.h"

namespace dustweave {

// What --attributes gives a point (or a tube's vertex): its chain's values and its frame.
struct GlbAttributeCost {
  static constexpr uint64_t CHAIN = 3 * CHAIN_STREAM_BYTES;  // COLOR_0, _CHAIN, _U
  static constexpr uint64_t FRAME = FRAME_STREAM_BYTES;      // _FRAME and TEXCOORD_0 read one float32 pair
  static constexpr uint64_t ALL = CHAIN + FRAME;             // as convert writes them

  static constexpr uint64_t Bytes(bool chain, bool frames) { return chain ? CHAIN + (frames ? FRAME : 0) : 0; }
};

// The lines' file: a point has a position (and its attributes); a segment two indices; a start
// point one index.
struct LineGlbCost {
  static constexpr uint64_t POSITION = 12;                         // three float32s
  static constexpr uint64_t LINE = 8;                              // two uint32 indices
  static constexpr uint64_t DOT = 4;                               // one uint32 index
};

// The tubes' file: a point is a ring of TUBE_SIDES vertices, each with a position and a normal
// (and the point's attributes); a segment is the triangles joining its two rings; a ring alone is
// closed by two triangles; a start point is a position of its own.
struct TubeGlbCost {
  static constexpr uint64_t SIDES = TUBE_SIDES;
  static constexpr uint64_t POSITION = 12, NORMAL = 12;            // a vertex's, float32s
  static constexpr uint64_t VERTEX = POSITION + NORMAL;
  static constexpr uint64_t TRIANGLE = 12;                         // three uint32 indices
  static constexpr uint64_t JOINING_TRIANGLES = 2 * SIDES;         // two a side
  static constexpr uint64_t CLOSING_TRIANGLES = 2;                 // one facing each way
  static constexpr uint64_t DOT = 12;                              // a start point's position

  static constexpr uint64_t VertexBytes(bool chain, bool frames) { return VERTEX + GlbAttributeCost::Bytes(chain, frames); }
};

}  // namespace dustweave
