// What a .glb written here says about its mesh: the counts and bounds the JSON chunk describes,
// the JSON text itself, and the file's header with its chunk headers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/output_file.h"
#include "writers/last_surface.h"

namespace dustweave {

constexpr uint64_t GLB_HEADER_SIZE = 12;
constexpr uint64_t CHUNK_HEADER_SIZE = 8;
// The head reserved in front of the binary chunk: the file header, the JSON chunk (padded with
// spaces to fill it) and the BIN chunk's header. The JSON of any run fits, with the chain
// attributes too (under 3.7 KB with the longest name and counts): the surface name is the only
// text of variable length in it, and a name too long for it is refused.
constexpr uint64_t HEAD_SIZE = 4096;
constexpr uint64_t JSON_ROOM = HEAD_SIZE - GLB_HEADER_SIZE - 2 * CHUNK_HEADER_SIZE;
constexpr size_t SURFACE_JSON_LIMIT = 2048;

// glTF's numbers for component types, buffer targets and primitive modes.
constexpr int FLOAT = 5126, UNSIGNED_INT = 5125, UNSIGNED_BYTE = 5121;
constexpr int ARRAY_BUFFER = 34962, ELEMENT_ARRAY_BUFFER = 34963;
constexpr int MODE_POINTS = 0, MODE_LINES = 1, MODE_TRIANGLES = 4;

// The smallest and largest coordinate on each axis of float32 positions stored x, y, z after one
// another; taken a block at a time, four positions (three vectors of four lanes) abreast.
struct Bounds {
  float min[3], max[3];
  Bounds();
  void Take(const char* bytes, size_t size);
  // Inline: called for every ring of a tube.
  void Widen(size_t axis, float low, float high) {
    min[axis] = std::min(min[axis], low);
    max[axis] = std::max(max[axis], high);
  }
};

// What the JSON describes: counts and where each part of the binary chunk lies.
struct Layout {
  uint64_t points = 0, lines = 0, dots = 0;  // positions, two-point and one-point polygons
  // Each point's COLOR_0, _CHAIN and _U (4 bytes each, a view each) between positions and indices.
  bool chainAttributes = false;
  Bounds bounds;
  std::string surface;

  uint64_t positionBytes() const { return 12 * points; }
  uint64_t lineBytes() const { return 8 * lines; }
  uint64_t dotBytes() const { return 4 * dots; }
  uint64_t attributeBytes() const { return chainAttributes ? 12 * points : 0; }
  uint64_t indicesOffset() const { return positionBytes() + attributeBytes(); }  // in the binary chunk
  uint64_t binBytes() const { return positionBytes() + lineBytes() + dotBytes() + attributeBytes(); }
  bool hasMesh() const { return lines > 0 || dots > 0; }
};

// `text` as a JSON string: quotes, backslashes and control characters escaped, and each byte
// that is not part of valid UTF-8 replaced by U+FFFD, so the JSON chunk is always valid.
std::string JsonString(const std::string& text);

// Pieces of JSON text joined (g++ 12 warns falsely on long chains of std::string additions), a
// count, and three floats as an array in their shortest exact text.
std::string Join(std::initializer_list<std::string_view> parts);
inline std::string Number(uint64_t value) { return std::to_string(value); }
std::string FloatArray(const float (&values)[3]);

// Takes `name` as the surface of the file's polygons: the reason the file cannot be written, or
// empty. A .glb written here holds one surface, named in the JSON within SURFACE_JSON_LIMIT.
std::string TakeGlbSurface(LastSurface& surface, const char* name);

// The JSON chunk's text, not yet padded. A run without polygons has a scene and nothing in it.
std::string Json(const Layout& layout);

// The sizes of the chunks and the file: with a mesh the JSON chunk fills the room reserved for the
// head (its parts lie behind it), without one it is only padded to 4 bytes.
struct GlbSizes {
  uint64_t jsonBytes, binBytes, fileBytes;
  GlbSizes(const std::string& json, bool mesh, uint64_t bin);
};

// Cuts `out` to its size and writes the head over its start: the file header, the JSON chunk
// padded with spaces, and the BIN chunk's header when there is a binary chunk. False, with the
// file's reason and the file abandoned, when any write of the file failed.
bool WriteHead(OutputFile& out, const std::string& json, const GlbSizes& sizes, std::string* error);

}  // namespace dustweave
