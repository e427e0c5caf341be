// What every mesh file writer is: a sink for the module's mesh that streams it into one file
// beside its name, completed and committed at the end. The commands hold their mesh files as this,
// behind the number guard (writers/number_check.h): a writer is given only finite positions that
// a float32 holds with half its width drawn around them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/output_file.h"
#include "standin/mesh_sink.h"
#include "writers/point_frames.h"

namespace dustweave {

class MeshFileWriter : public standin::MeshSink {
 public:
  // Starts the output beside `path` (written under that name by Finish); false, with a one-line
  // reason naming `path`, when it cannot be created.
  virtual bool Open(const std::string& path, std::string* error) = 0;
  // The number of points the run will make, when known before the first: a writer that lays its
  // file out for them does so.
  virtual void ExpectPoints(uint64_t) {}
  // Writes the file's last bytes, ready to be committed; false, with a one-line reason, when the
  // file cannot be completed or any write failed.
  virtual bool Complete(std::string* error) = 0;
  virtual OutputFile& file() = 0;
  // About the file's size so far, with what waits to be written.
  virtual uint64_t bytesMade() const = 0;
  // What the completed file holds, in its own terms ("60,600 vertices, 120,000 triangles"); empty
  // when that is the mesh's points and polygons.
  virtual std::string Holds() const { return ""; }
  // The width chosen for a writer that needs it only at its end (USD's one width, untapered),
  // given before Complete.
  virtual void SetWidth(double) {}
  // The least and greatest frame of the points it wrote frames of; none when it wrote none.
  virtual FrameRange framesWritten() const { return {}; }
  // Complete, then commit the file under its name.
  bool Finish(std::string* error) { return Complete(error) && CommitTogether({&file()}, error); }
};

}  // namespace dustweave
