// The files one run writes while the mesh streams in: the mesh as OBJ or glTF binary, and the
// SVG preview. Each writes to a temporary file beside its name; Finish commits them all or none,
// and whatever is not finished is removed, so a failed run leaves nothing under either name.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "standin/mesh_sink.h"

namespace dustweave {

class ObjWriter;
class GlbWriter;
class SvgPreview;

enum class MeshFormat { Obj, Glb };

// The format named by a path's extension (.obj or .glb, in any case); nullopt for any other.
std::optional<MeshFormat> MeshFormatOf(const std::string& path);
// Whether a path ends in `extension` (".svg"), in any case.
bool HasExtension(const std::string& path, const std::string& extension);

class MeshOutputs {
 public:
  MeshOutputs();
  ~MeshOutputs();  // removes whatever was opened and not finished
  MeshOutputs(const MeshOutputs&) = delete;
  MeshOutputs& operator=(const MeshOutputs&) = delete;

  // Each false, with a one-line reason, when the file cannot be created.
  bool OpenMesh(MeshFormat format, const std::string& path, std::string* error);
  bool OpenPreview(const std::string& path, std::string* error);
  // The number of points the run will make, when known before it: a .glb is then laid out
  // for them and written without a copy at the end.
  void ExpectPoints(uint64_t count);
  // Another sink to be told of the mesh before the files (a progress meter, say).
  void AddWatcher(standin::MeshSink* sink) { fanOut_.Add(sink); }

  // Where the host sends the mesh: every opened file and watcher.
  standin::MeshSink* sink() { return fanOut_.Entry(); }
  bool empty() const { return !obj_ && !glb_ && !svg_; }

  // Commits the mesh file, then the preview; false, with a one-line reason, when either cannot
  // be completed, and then neither is left (a mesh file committed already is removed again).
  bool Finish(std::string* error);

 private:
  std::unique_ptr<ObjWriter> obj_;
  std::unique_ptr<GlbWriter> glb_;
  std::unique_ptr<SvgPreview> svg_;
  std::string meshPath_;
  standin::FanOutSink fanOut_;
};

}  // namespace dustweave
