// The chains as tubes in glTF binary (.glb), streamed with flat memory: a TRIANGLES primitive of
// every tube (writers/tube_rings.h), lit and matte, with --attributes each vertex its point's
// COLOR_0 (which tints the lit surface), _CHAIN, _U and its frame (_FRAME, TEXCOORD_0), and a
// POINTS primitive of the one-point polygons (chains' start points) at their points.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "gltf/glb_file.h"
#include "writers/chain_attributes.h"
#include "writers/spooled_part.h"
#include "writers/tube_rings.h"

namespace dustweave {

class TubeGlbWriter : public GlbFile {
 public:
  // `width`: the tubes' diameter. `maxFileBytes` and `frames` as GlbWriter's. `shape`: tapered
  // and smoothed tubes (writers/chain_shape.h).
  TubeGlbWriter(double width, bool chainAttributes, uint64_t maxFileBytes = GLB_MAX_FILE_BYTES,
                PointFrames* frames = nullptr, ChainShape shape = {});
  ~TubeGlbWriter() override;
  TubeGlbWriter(const TubeGlbWriter&) = delete;
  TubeGlbWriter& operator=(const TubeGlbWriter&) = delete;

  bool Open(const std::string& path, std::string* error) override;
  // As GlbWriter's: with the run's point count known, the parts are laid out in place (not for
  // smoothed tubes, whose rings a point depend on where its chain ends).
  void ExpectPoints(uint64_t count) override;
  void AddPoint(uint64_t number, const double position[3]) override;
  // Two-point polygons make the tubes (joining chains); one-point polygons are points; others
  // are left out and counted.
  void AddPolygon(const char* surface, int count, const int64_t* points) override;

  std::string Holds() const override { return TubesHeld(vertices_, triangles_, dots_); }
  uint64_t bytesMade() const override;
  FrameRange framesWritten() const override { return attributes_ ? attributes_->frameRange() : FrameRange(); }

 private:
  enum Part { Positions, Normals, Colours, Chains, Places, Frames, Triangles, Dots, PARTS };
  // The rings' sink: straight into TakeRing, which the rings' hot path inlines.
  struct RingTaker {
    TubeGlbWriter* writer;
    void operator()(const TubeRing& ring) const { writer->TakeRing(ring); }
  };
  template <typename Each>
  void EachPart(Each each);
  bool Writes(int part) const;
  void DropParts() override;
  void TakeRing(const TubeRing& ring);
  void WidenRingBounds(const TubeRing& ring);
  void PutCorners(const uint32_t* corners, size_t count, uint32_t first);
  void TakeAttributes(ChainStream stream, const char* bytes, size_t size);
  void AddDot(int64_t number);
  bool StillFits();
  void Reset();
  bool CompleteOnce(std::string* error) override;
  GlbScene Scene() const;
  void WriteParts(uint64_t at);

  double width_;
  ChainShape shape_;
  bool chainAttributes_;
  PointFrames* frames_;
  std::unique_ptr<BasicTubeRings<RingTaker>> rings_;
  std::unique_ptr<ChainAttributes> attributes_;
  std::array<std::unique_ptr<SpooledPart>, PARTS> parts_;
  uint64_t vertices_ = 0, triangles_ = 0, dots_ = 0;
  Bounds ringBounds_, dotBounds_;
  std::optional<uint64_t> placedFor_;  // the points the parts were placed for
};

}  // namespace dustweave
