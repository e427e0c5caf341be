// What a .glb written here says about its mesh: the scene its JSON chunk describes (accessors,
// primitives, the material) with the bounds of its positions, the JSON text itself, and the
// file's header with its chunk headers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// What the JSON chunk describes: one node of one mesh whose accessors each have a view of their
// own into the one buffer (or read the view of one before them), its primitives, and one material
// named for the surface.
struct GlbAccessor {
  uint64_t offset = 0, bytes = 0;  // its view's place in the binary chunk
  int target = ARRAY_BUFFER;
  int componentType = FLOAT;
  const char* type = "SCALAR";
  uint64_t count = 0;
  bool normalized = false;
  const Bounds* bounds = nullptr;  // min and max, which positions must have
  uint64_t stride = 0;             // its view's byteStride; 0: none said (values packed)
  int viewOf = -1;                 // the accessor whose view it reads (then offset and bytes are that one's)
};

struct GlbPrimitive {
  int mode = MODE_TRIANGLES;
  std::vector<std::pair<const char*, int>> attributes;  // each name with its accessor
  int indices = -1;                                     // none: the vertices in order
};

struct GlbScene {
  const char* node = "";     // the node's name
  std::string surface;       // the material's name
  // Lines have no normals, so their colours are shown unlit, as they are; surfaces with normals
  // (tubes) are lit, their vertex colours multiplied into the base colour. Either is matte.
  bool unlit = false, matte = false;
  std::vector<GlbAccessor> accessors;
  std::vector<GlbPrimitive> primitives;
  uint64_t binBytes = 0;

  // Appends an accessor and gives its index.
  int Add(const GlbAccessor& accessor) {
    accessors.push_back(accessor);
    return static_cast<int>(accessors.size()) - 1;
  }
};

// The JSON chunk's text, not yet padded: every .glb written here is described by this one
// function. A scene without primitives has a scene and nothing in it.
std::string GlbJson(const GlbScene& scene);

// Takes `name` as the surface of the file's polygons: the reason the file cannot be written, or
// empty. A .glb written here holds one surface, named in the JSON within SURFACE_JSON_LIMIT.
std::string TakeGlbSurface(LastSurface& surface, const char* name);

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
