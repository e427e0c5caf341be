// The files one command writes: the mesh as OBJ or glTF binary and the SVG preview, or a pfx
// file. Their names are checked before anything runs; each is written beside its name while the
// mesh streams in, and Finish commits them all together or none (see atomic_file.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// An output a command was given: its path, how the command line names it, and the extensions
// it may end in.
struct OutputName {
  std::string path;
  std::string option;  // "OUTPUT", "--svg"
  std::vector<std::string> extensions;
};

// Why outputs cannot be written, found before anything runs: misuse (a wrong extension, the
// input or another output under the same name) gives EXIT_MISUSE; a place that cannot be written
// (a missing folder, a folder under the name, a name too long) EXIT_NOT_DONE. Status 0: fine.
struct NameCheck {
  int status = 0;
  std::string reason;
};
NameCheck CheckOutputNames(const std::string& input, const std::vector<OutputName>& outputs);

class MeshOutputs {
 public:
  MeshOutputs();
  ~MeshOutputs();  // removes whatever was opened and not committed
  MeshOutputs(const MeshOutputs&) = delete;
  MeshOutputs& operator=(const MeshOutputs&) = delete;

  // Each false, with a one-line reason, when the file cannot be created. Temporary files that an
  // earlier run left beside the name are removed first (see RemoveStaleTemporaries), and again
  // after the commit.
  // `chainAttributes` gives a .glb's points their chain attributes.
  bool OpenMesh(MeshFormat format, const std::string& path, std::string* error, bool chainAttributes = false);
  // The preview's caption names `input` (its file name) and `settings`, when given.
  bool OpenPreview(const std::string& path, std::string* error, const std::string& input = "",
                   const std::string& settings = "");
  // The number of points the run will make, when known before it: a .glb is then laid out
  // for them and written without a copy at the end.
  void ExpectPoints(uint64_t count);
  // Another sink to be told of the mesh before the files (a progress meter, say).
  void AddWatcher(standin::MeshSink* sink) { fanOut_.Add(sink); }

  // Where the host sends the mesh: every opened file and watcher.
  standin::MeshSink* sink() { return fanOut_.Entry(); }
  bool empty() const { return !obj_ && !glb_ && !svg_; }
  // How many temporary files left by earlier runs were removed since last asked.
  size_t TakeStaleRemoved();
  // The mesh file's size so far (the preview is drawn at the end).
  uint64_t bytesMade() const;

  // Completes every file and commits them together; false, with a one-line reason, when any
  // cannot be completed or committed, and then every name holds what it held before.
  bool Finish(std::string* error);

 private:
  std::unique_ptr<ObjWriter> obj_;
  std::unique_ptr<GlbWriter> glb_;
  std::unique_ptr<SvgPreview> svg_;
  standin::FanOutSink fanOut_;
  size_t staleRemoved_ = 0;
};

// The line that says what RemoveStaleTemporaries removed beside `path`.
std::string StaleRemovedLine(size_t count, const std::string& path);

}  // namespace dustweave
