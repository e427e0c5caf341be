// The stand-in host's mesh as Wavefront OBJ, streamed as the module makes it: `v` lines as points
// come and polygon lines as polygons come (`p i` for one point, `l i j` for two, `f` for more),
// each run of polygons on one surface led by `usemtl SURFACE`; the counts close the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/output_file.h"
#include "writers/last_surface.h"
#include "writers/mesh_file_writer.h"
#include "writers/number_text.h"
#include "writers/text_block.h"

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
  // The file's size so far, with what waits in the block.
  uint64_t bytesMade() const override { return text_.bytesMade(); }

 private:
  void LeaveOut();
  char* PutIndex(char* at, uint64_t number);

  OutputFile out_;
  TextBlock text_{out_};
  uint64_t points_ = 0, polygons_ = 0;
  LastSurface surface_;  // of the last polygon written
  // The last point number written on a polygon line, and its text: along a chain each polygon
  // repeats its predecessor's last number or the one after it, which is copied or counted up.
  uint64_t index_ = 0;
  char indexText_[NUMBER_TEXT_ROOM] = {};
  size_t indexLength_ = 0;
};

}  // namespace dustweave
