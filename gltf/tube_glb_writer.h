// The chains as tubes in glTF binary (.glb), streamed with flat memory: a TRIANGLES primitive of
// every tube (writers/tube_rings.h), with --attributes each vertex its point's COLOR_0, _CHAIN and
// _U, and a POINTS primitive of the one-point polygons (chains' start points) at their points.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/output_file.h"
#include "platform/block_writer.h"
#include "writers/chain_attributes.h"
#include "writers/spooled_part.h"
#include "gltf/glb_json.h"
#include "gltf/glb_writer.h"
#include "writers/last_surface.h"
#include "writers/mesh_file_writer.h"
#include "writers/tube_rings.h"

namespace dustweave {

class TubeGlbWriter : public MeshFileWriter {
 public:
  // `width`: the tubes' diameter. `maxFileBytes` as GlbWriter's.
  TubeGlbWriter(double width, bool chainAttributes, uint64_t maxFileBytes = GLB_MAX_FILE_BYTES);
  ~TubeGlbWriter() override;
  TubeGlbWriter(const TubeGlbWriter&) = delete;
  TubeGlbWriter& operator=(const TubeGlbWriter&) = delete;

  bool Open(const std::string& path, std::string* error) override;
  // As GlbWriter's: with the run's point count known, the parts are laid out in place.
  void ExpectPoints(uint64_t count) override;
  void AddPoint(uint64_t number, const double position[3]) override;
  // Two-point polygons make the tubes (joining chains); one-point polygons are points; others
  // are left out and counted.
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // Completes the file's bytes, ready to be committed; false, with a one-line reason, for what
  // glTF cannot hold (as GlbWriter's) and any failed write.
  bool Complete(std::string* error) override;
  OutputFile& file() override { return out_; }

  uint64_t leftOut() const { return leftOut_; }
  uint64_t bytesMade() const override;

 private:
  enum Part { Positions, Normals, Colours, Chains, Places, Triangles, Dots, PARTS };
  // The rings' sink: straight into TakeRing, which the rings' hot path inlines.
  struct RingTaker {
    TubeGlbWriter* writer;
    void operator()(const TubeRing& ring) const { writer->TakeRing(ring); }
  };
  template <typename Each>
  void EachPart(Each each);
  void TakeRing(const TubeRing& ring);
  void WidenRingBounds(const TubeRing& ring);
  void PutJoiningCorners();
  void TakeAttributes(ChainStream stream, const char* bytes, size_t size);
  void AddDot(int64_t number);
  bool TakeSurface(const char* name);
  void Refuse(std::string reason);
  bool StillFits();
  bool RefuseTooLarge();  // false, always
  void Reset();
  bool CompleteOnce(std::string* error);
  std::string Json(uint64_t vertices, uint64_t triangles, uint64_t dots) const;

  double width_;
  bool chainAttributes_;
  uint64_t maxFileBytes_;
  OutputFile out_;
  BlockWriter behind_{out_};
  std::unique_ptr<BasicTubeRings<RingTaker>> rings_;
  std::unique_ptr<ChainAttributes> attributes_;
  std::array<std::unique_ptr<SpooledPart>, PARTS> parts_;
  uint64_t vertices_ = 0, triangles_ = 0, dots_ = 0;
  Bounds ringBounds_, dotBounds_;
  LastSurface surface_;
  uint64_t leftOut_ = 0;
  std::optional<uint64_t> placedFor_;   // the points the parts were placed for
  std::optional<std::string> refusal_;  // why nothing more is written
};

}  // namespace dustweave
