// What the two .glb writers share: the output with its writing thread, the one surface of the
// polygons, the refusal that stops a file (and why), the chain numbers' limit, and the end of a
// file: its JSON and head written over the room left at its start, behind which lie its parts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gltf/glb_json.h"
#include "platform/block_writer.h"
#include "platform/output_file.h"
#include "writers/chain_attributes.h"
#include "writers/last_surface.h"
#include "writers/mesh_file_writer.h"

namespace dustweave {

// The largest .glb: its length is a 32-bit field of the file's header.
constexpr uint64_t GLB_MAX_FILE_BYTES = 0xFFFFFFFFull;

// The most points a .glb written here holds within `maxFileBytes` (and its 32-bit indices), made
// by `chains` tracks or more (each begins a chain): as lines or as tubes, with or without the
// attributes (the chain's and the frame, as convert writes them) and the start points. Worked out before a run, from the points a step share
// keeps, so that a file past the format's limit is refused before the work. Smoothed tubes have
// `ringsASegment` rings a segment (writers/chain_shape.h).
uint64_t GlbPointsWithin(uint64_t chains, bool tubes, bool attributes, bool startPoints, uint64_t maxFileBytes,
                         uint64_t ringsASegment = 1);

class GlbFile : public MeshFileWriter {
 public:
  OutputFile& file() override { return out_; }
  // One Complete an Open: the file is then committed or abandoned, and nothing more is written.
  // False, with a one-line reason (and the file abandoned), for what glTF cannot hold and for any
  // failed write.
  bool Complete(std::string* error) final;
  uint64_t leftOut() const { return leftOut_; }  // polygons left out so far

 protected:
  // `maxFileBytes` is the format's limit; tests give a smaller one to reach it.
  explicit GlbFile(uint64_t maxFileBytes) : maxFileBytes_(maxFileBytes) {}

  // Creates the output; the mesh is taken from then on.
  bool Create(const std::string& path, std::string* error);
  // Stops the file: every part dropped, the output abandoned, nothing more written.
  void Refuse(std::string reason);
  // Refuses the file for passing the format's 4 GiB; false, always. Out of line, so that the
  // checks that call it stay small.
  bool RefuseTooLarge();
  // Whether a polygon goes into the file: a segment or a start on the file's one surface. Others
  // are left out and counted; a polygon on a second surface refuses the file.
  bool Takes(const char* surface, int count, const int64_t* points);
  // Whether _CHAIN still numbers the chains exactly and every frame is one _FRAME holds; refuses
  // the file once not (the chains only when there are polygons to carry the attributes).
  bool AttributesFit(const ChainAttributes& attributes, bool anyPolygon);
  // The frames' accessors over their stream of `count` float32 pairs at `at`: _FRAME reads the
  // first of each pair, TEXCOORD_0 (u the frame, v 0) the pair, one view between them.
  static void AddFrameAccessors(GlbScene& scene, std::vector<std::pair<const char*, int>>& attributes, uint64_t at,
                                uint64_t count);
  // The file's end: the JSON of `scene`, the parts put behind the head by `putParts` (given the
  // offset of the binary chunk), then the head; refused when it passes the format's limit.
  bool WriteFile(const GlbScene& scene, const std::function<void(uint64_t at)>& putParts, std::string* error);

  virtual void DropParts() = 0;
  virtual bool CompleteOnce(std::string* error) = 0;

  const uint64_t maxFileBytes_;
  OutputFile out_;
  BlockWriter behind_{out_};
  LastSurface surface_;
  uint64_t leftOut_ = 0;
  std::optional<std::string> refusal_{"not open"};  // why nothing more is written
};

}  // namespace dustweave
