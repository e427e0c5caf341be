// What a .glb written here says about its mesh: the counts and bounds the JSON chunk describes,
// the JSON text itself, and the file's header with its chunk headers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace dustweave {

constexpr uint64_t GLB_HEADER_SIZE = 12;
constexpr uint64_t CHUNK_HEADER_SIZE = 8;

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

// The JSON chunk's text, not yet padded. A run without polygons has a scene and nothing in it.
std::string Json(const Layout& layout);

// The file header, the JSON chunk padded with spaces to `jsonBytes`, and the BIN chunk's header
// when there is a binary chunk.
std::string Head(const std::string& json, uint64_t jsonBytes, uint64_t binBytes, uint64_t fileBytes);

}  // namespace dustweave
