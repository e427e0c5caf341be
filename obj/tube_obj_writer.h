// The chains as tubes in Wavefront OBJ, streamed as the module makes the mesh: each point's ring
// (writers/tube_rings.h) as `v` and `vn` lines, the triangles joining it to the ring before as
// `f v//vn` lines, and each one-point polygon as a `v` line at its point and a `p` line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/output_file.h"
#include "writers/batched_text.h"
#include "writers/last_surface.h"
#include "writers/mesh_file_writer.h"
#include "writers/tube_rings.h"

namespace dustweave {

class TubeObjWriter : public MeshFileWriter {
 public:
  // `width`: the tubes' diameter; `shape`: tapered and smoothed tubes (writers/chain_shape.h).
  explicit TubeObjWriter(double width, ChainShape shape = {});
  ~TubeObjWriter() override;

  bool Open(const std::string& path, std::string* error) override;
  void AddPoint(uint64_t number, const double position[3]) override;
  // Two-point polygons make the tubes; one-point polygons are points; others are left out with a
  // comment.
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  bool Complete(std::string* error) override;
  OutputFile& file() override { return out_; }
  uint64_t bytesMade() const override { return text_.bytesMade(); }

  std::string Holds() const override { return TubesHeld(vertices_, faces_, dots_); }

 private:
  void TakeRing(const TubeRing& ring);

  double width_;
  ChainShape shape_;
  OutputFile out_;
  BatchedText text_;  // the rings and start points, formatted on a worker
  std::unique_ptr<TubeRings> rings_;
  uint64_t vertices_ = 0, normals_ = 0, faces_ = 0, dots_ = 0, leftOut_ = 0;
  uint64_t lastRing_ = 0;  // the number of the last ring's first vertex
  LastSurface surface_;
};

}  // namespace dustweave
