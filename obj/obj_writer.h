// The stand-in host's mesh as Wavefront OBJ, streamed as the module makes it: `v` lines as points
// come and polygon lines as polygons come (`p i` for one point, `l i j` for two, `f` for more),
// each run of polygons on one surface led by `usemtl SURFACE`; the counts close the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/output_file.h"
#include "writers/batched_text.h"
#include "writers/last_surface.h"
#include "writers/mesh_file_writer.h"

namespace dustweave {

class ObjWriter : public MeshFileWriter {
 public:
  ObjWriter();
  ~ObjWriter() override;

  bool Open(const std::string& path, std::string* error) override;
  void AddPoint(uint64_t number, const double position[3]) override;
  // A polygon with a point this run never made (-1), or with none, is left out with a comment.
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // Writes the closing counts, ready to be committed; false, with a one-line reason, when any
  // write failed.
  bool Complete(std::string* error) override;
  OutputFile& file() override { return out_; }
  // The file's size so far, without the batches in flight.
  uint64_t bytesMade() const override { return text_.bytesMade(); }

 private:
  void LeaveOut();

  OutputFile out_;
  BatchedText text_;  // the lines' numbers, formatted on a worker
  uint64_t points_ = 0, polygons_ = 0;
  LastSurface surface_;  // of the last polygon written
};

}  // namespace dustweave
