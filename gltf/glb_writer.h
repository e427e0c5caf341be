// The stand-in host's mesh as glTF 2.0 binary (.glb), streamed with flat memory: one scene, one
// node, one mesh whose two-point polygons form a LINES primitive and one-point polygons a POINTS
// primitive, both indexing one shared float32 POSITION accessor through uint32 indices; on
// request each point also carries its chain attributes and frame (writers/chain_attributes.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "gltf/glb_costs.h"
#include "gltf/glb_file.h"
#include "writers/chain_attributes.h"
#include "writers/spooled_part.h"

namespace dustweave {

class GlbWriter : public GlbFile {
 public:
  // `maxFileBytes` is the format's limit; tests give a smaller one to reach it. With
  // `chainAttributes` every point also has COLOR_0, _CHAIN and _U, which both primitives
  // reference, and the material shows the colours unlit: 12 bytes more a point; given `frames`
  // too, _FRAME and TEXCOORD_0 (the frame, 0): 8 more.
  explicit GlbWriter(uint64_t maxFileBytes = GLB_MAX_FILE_BYTES, bool chainAttributes = false,
                     PointFrames* frames = nullptr);
  ~GlbWriter() override;
  GlbWriter(const GlbWriter&) = delete;
  GlbWriter& operator=(const GlbWriter&) = delete;

  bool Open(const std::string& path, std::string* error) override;
  // The number of points the run will make, when known before the first: the parts of the
  // binary chunk are then written in place behind room for that many positions, with no copy at
  // the end. A wrong count costs only speed: the file is the same.
  void ExpectPoints(uint64_t count) override;
  void AddPoint(uint64_t number, const double position[3]) override;
  // Polygons of three or more points, of none, or with a point this run never made (-1) have
  // no glTF primitive here: they are left out and counted.
  void AddPolygon(const char* surface, int count, const int64_t* points) override;

  // About the file's size if the run ended now: its head and every byte of the mesh made so far.
  uint64_t bytesMade() const override;
  FrameRange framesWritten() const override { return chainAttributes_ ? chainAttributes_->frameRange() : FrameRange(); }

 private:
  uint64_t positionBytes() const { return positionsHandedOn_ + positionsUsed_; }
  std::unique_ptr<ChainAttributes> NewChainAttributes();
  template <typename Each>
  void EachPart(Each each);
  void DropParts() override;
  void HandOnPositions();
  bool StillFits();
  bool AttributesFit();
  uint64_t attributeBytes() const { return GlbAttributeCost::Bytes(chainAttributes_ != nullptr, frames_ != nullptr); }
  void AddOtherPolygon(const char* surface, int count, const int64_t* points);
  void PlaceParts(uint64_t count);
  void UnplaceParts();
  void WriteParts(uint64_t points, uint64_t at);
  bool CompleteOnce(std::string* error) override;
  GlbScene Scene(uint64_t points, uint64_t lines, uint64_t dots) const;

  std::unique_ptr<char[]> positions_;  // the positions' block
  size_t positionsUsed_ = 0;
  uint64_t positionsHandedOn_ = 0;     // bytes of positions handed on, from the head's end on
  Bounds bounds_;
  SpooledPart lines_, dots_;
  // With the chain attributes: what works them out, and their parts in ChainStream's order, which
  // is their order in the file (the frames' only with them).
  PointFrames* frames_;
  std::unique_ptr<ChainAttributes> chainAttributes_;
  std::array<SpooledPart, 4> attributes_;
  std::optional<uint64_t> placedFor_;  // the points the parts were placed for; none: spooled
};

}  // namespace dustweave
