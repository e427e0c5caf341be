// The files a command writes from the mesh: the mesh as OBJ or glTF binary (lines or tubes) or
// USD text, and the previews (the
// SVG picture and the 3D page, drawn from one sample), as its plan names them. Each is written
// beside its name while the mesh streams in, and Finish renames them into place, the previews
// first and the mesh file last (see platform/output_file.h). What killed runs left beside the
// names is swept when they are opened, never the input or an output itself. Every output takes the mesh through one number guard
// (writers/number_check.h): a position no output could hold stops them all, and nothing is written;
// with --bad-samples drop, a sample no output holds is left out before it (commands/bad_samples.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commands/plan.h"
#include "standin/mesh_sink.h"
#include "writers/number_check.h"
#include "writers/point_frames.h"

namespace dustweave {

class BadSampleDrop;
class MeshFileWriter;
class PointFrames;
class PreviewSample;
class PreviewFile;
class SvgPreview;
class HtmlPreview;

class MeshOutputs {
 public:
  MeshOutputs();
  ~MeshOutputs();  // removes whatever was opened and not committed
  MeshOutputs(const MeshOutputs&) = delete;
  MeshOutputs& operator=(const MeshOutputs&) = delete;

  // Opens every output of the plan, what earlier runs left beside each name swept first;
  // false, with a one-line reason, when one cannot be created.
  bool Open(const CommandPlan& plan, std::string* error);
  // The number of points the run will make, when known before it: a .glb is then laid out
  // for them and written without a copy at the end.
  void ExpectPoints(uint64_t count);
  // Another sink to be told of the mesh before the files (a progress meter, say).
  void AddWatcher(standin::MeshSink* sink) { fanOut_.Add(sink); }

  // Where the host sends the mesh: every opened file and watcher.
  standin::MeshSink* sink() { return fanOut_.Entry(); }
  bool empty() const { return !mesh_ && !svg_ && !html_; }
  // The sweeps' lines (see SweepBeside), since last asked.
  std::vector<std::string> TakeSweepLines();
  // The mesh file's size so far (the preview is drawn at the end).
  uint64_t bytesMade() const;
  // What the mesh file holds, once completed, in its own terms; empty for the mesh's counts.
  std::string MeshHolds() const;
  FrameRange MeshFrames() const;   // the frames of the mesh file's points, once completed; none without
  // The points and polygons the files were given (those left out by --bad-samples drop are not).
  uint64_t pointsGiven() const;
  uint64_t polygonsGiven() const;
  // What --bad-samples drop left out ("left out 3 samples of ..."); empty when nothing.
  std::string DroppedSamples() const;

  // The width chosen for the mesh file at its end (see MeshFileWriter::SetWidth).
  void SetWidth(double width);

  // For an input cut short: the previews' captions say so, with how many of its tracks were read
  // whole (read again from `input`, only when there is a preview to tell).
  void NoteEndsEarly(const std::string& input);

  // Completes every file and commits them, the previews first; false, with a one-line reason,
  // when a position failed the number guard (nothing is committed) or any file cannot be
  // completed or committed: then the mesh file's name holds what it held before, and the reason
  // says which previews hold their new files.
  bool Finish(std::string* error);

 private:
  bool OpenOne(const PlannedOutput& output, const CommandPlan& plan, std::string* error);
  bool OpenPreview(PreviewFile& preview, const PlannedOutput& output, const CommandPlan& plan, std::string* error);
  PreviewSample& Sample();  // the one sample both previews draw, made at the first

  bool OpenMesh(std::unique_ptr<MeshFileWriter> writer, const std::string& path, std::string* error);
  bool OpenFrames(const CommandPlan& plan, std::string* error);

  std::unique_ptr<PointFrames> frames_;   // the frames of the points made
  PointFrames* meshFrames_ = nullptr;     // those of the points kept, for the mesh file
  std::unique_ptr<BadSampleDrop> drop_;   // in front of guard_, with --bad-samples drop
  std::unique_ptr<MeshFileWriter> mesh_;  // the mesh file: OBJ or .glb (lines or tubes), or USD
  std::unique_ptr<PreviewSample> sample_;  // what the previews draw
  std::unique_ptr<SvgPreview> svg_;
  std::unique_ptr<HtmlPreview> html_;
  standin::FanOutSink files_;                // every opened file and the preview sample
  std::unique_ptr<NumberGuard> guard_;        // in front of files_
  standin::FanOutSink fanOut_;                // the watchers, then guard_
  std::vector<std::string> staleLines_;
  std::string named_;  // the first output's path, which a refusal of the guard names
};

// Sweeps what earlier runs left beside `path` (platform/temp_files.h), never touching the files
// `given`: a line saying how many temporary files were removed, and one for each file named like
// one but left, saying how to remove it.
std::vector<std::string> SweepBeside(const std::string& path, const std::vector<std::string>& given);

}  // namespace dustweave
