// Opening, feeding and committing the files a command writes from the mesh.
#include "commands/mesh_outputs.h"

#include "commands/bad_samples.h"
#include "gltf/glb_writer.h"
#include "gltf/tube_glb_writer.h"
#include "obj/obj_writer.h"
#include "obj/tube_obj_writer.h"
#include "pfxtools/pfx_frames.h"
#include "pfxtools/pfx_inspect.h"
#include "platform/output_file.h"
#include "platform/path_text.h"
#include "platform/temp_files.h"
#include "previews/html_preview.h"
#include "previews/preview_sample.h"
#include "previews/svg_preview.h"
#include "usd/usda_writer.h"
#include "usd/usdc_writer.h"

namespace dustweave {

namespace {

// How a user removes `path`, as they would type it in their shell.
std::string RemovalCommand(const std::string& path) {
#ifdef _WIN32
  return "del \"" + path + "\"";
#else
  std::string quoted = "rm -- '";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

// The frames of the points the plug-in makes of the input, walked beside its run.
class InputFrames : public PointFrames {
 public:
  bool Open(const CommandPlan& plan, std::string* error) { return walk_.Open(plan.input, plan.script.step, error); }
  size_t Take(int32_t* frames, size_t count) override { return walk_.Take(frames, count); }
  std::string failure() const override { return walk_.error(); }

 private:
  KeptFrames walk_;
};

}  // namespace

std::vector<std::string> SweepBeside(const std::string& path, const std::vector<std::string>& given) {
  Sweep sweep = SweepTemporaries(path, given);
  std::vector<std::string> lines;
  if (size_t count = sweep.removed) {
    lines.push_back("removed " + std::to_string(count) + (count == 1 ? " temporary file" : " temporary files") +
                    " left beside " + path + " by an earlier run");
  }
  for (const std::string& name : sweep.unproven) {
    lines.push_back(name + " is named like a temporary file of an earlier run but carries no mark this program made for it, so it "
                    "is left; if it is one, remove it: " + RemovalCommand(name));
  }
  return lines;
}

MeshOutputs::MeshOutputs() = default;
MeshOutputs::~MeshOutputs() = default;

// The guard goes in front of the files once all are opened: with one file, it calls that file
// directly.
bool MeshOutputs::Open(const CommandPlan& plan, std::string* error) {
  std::vector<std::string> given = PathsOf(plan.outputs);
  if (!plan.input.empty()) given.push_back(plan.input);
  for (const PlannedOutput& output : plan.outputs) {
    for (std::string& line : SweepBeside(output.path, given)) staleLines_.push_back(std::move(line));
    if (!OpenOne(output, plan, error)) return false;
  }
  guard_ = std::make_unique<NumberGuard>(files_.Entry(), plan.width, plan.widthOption);
  // A refusal names the point by where it lies in the file; the guard sees the points kept, and
  // the one it refuses is the newest the module made.
  guard_->NamePointsBy([this, input = plan.input, step = plan.script.step](uint64_t number) {
    return NamePoint(input, step, drop_ ? drop_->newestMade() : number);
  });
  if (drop_) drop_->SendTo(guard_.get());
  fanOut_.Add(drop_ ? static_cast<standin::MeshSink*>(drop_.get()) : guard_.get());
  named_ = plan.outputs.empty() ? "" : plan.outputs.front().path;
  return true;
}

// A preview of the one sample, captioned with the input and how it is read.
bool MeshOutputs::OpenPreview(PreviewFile& preview, const PlannedOutput& output, const CommandPlan& plan,
                              std::string* error) {
  Sample();
  if (!plan.captionInput.empty()) preview.SetSource(FileNameOf(plan.captionInput), plan.captionSettings);
  return preview.Open(output.path, error);
}

// The frames, and with --bad-samples drop the sink that leaves points out, which then hands the
// mesh file the frames of the points kept.
bool MeshOutputs::OpenFrames(const CommandPlan& plan, std::string* error) {
  if (plan.frames) {
    auto frames = std::make_unique<InputFrames>();
    if (!frames->Open(plan, error)) return false;
    frames_ = std::move(frames);
  }
  if (plan.dropBadSamples) drop_ = std::make_unique<BadSampleDrop>(frames_.get(), plan.script.startPolygon, plan.input, plan.script.step);
  meshFrames_ = drop_ ? drop_->keptFrames() : frames_.get();
  return true;
}

bool MeshOutputs::OpenOne(const PlannedOutput& output, const CommandPlan& plan, std::string* error) {
  bool mesh = output.format == OutputFormat::Obj || output.format == OutputFormat::Glb ||
              output.format == OutputFormat::Usda || output.format == OutputFormat::Usdc;
  if (mesh && !OpenFrames(plan, error)) return false;
  UsdTime time{plan.fps, meshFrames_, plan.chainAttributes};
  switch (output.format) {
    case OutputFormat::Obj:
      if (plan.tubes) return OpenMesh(std::make_unique<TubeObjWriter>(plan.width, plan.shape), output.path, error);
      return OpenMesh(std::make_unique<ObjWriter>(), output.path, error);
    case OutputFormat::Glb:
      if (plan.tubes) {
        return OpenMesh(std::make_unique<TubeGlbWriter>(plan.width, plan.chainAttributes, GLB_MAX_FILE_BYTES, meshFrames_, plan.shape),
                        output.path, error);
      }
      return OpenMesh(std::make_unique<GlbWriter>(GLB_MAX_FILE_BYTES, plan.chainAttributes, meshFrames_), output.path, error);
    case OutputFormat::Usda:
      return OpenMesh(std::make_unique<UsdaWriter>(plan.width, plan.shape, plan.metersPerUnit, time), output.path, error);
    case OutputFormat::Usdc:
      return OpenMesh(std::make_unique<UsdcWriter>(plan.width, plan.shape, plan.metersPerUnit, time), output.path, error);
    case OutputFormat::Svg:
      svg_ = std::make_unique<SvgPreview>();
      return OpenPreview(*svg_, output, plan, error);
    case OutputFormat::Html:
      html_ = std::make_unique<HtmlPreview>();
      return OpenPreview(*html_, output, plan, error);
    case OutputFormat::Pfx: break;
  }
  *error = CannotWrite(output.path, "a pfx file is not made from a mesh");
  return false;
}

bool MeshOutputs::OpenMesh(std::unique_ptr<MeshFileWriter> writer, const std::string& path, std::string* error) {
  mesh_ = std::move(writer);
  files_.Add(mesh_.get());
  return mesh_->Open(path, error);
}

PreviewSample& MeshOutputs::Sample() {
  if (!sample_) {
    sample_ = std::make_unique<PreviewSample>();
    files_.Add(sample_.get());
  }
  return *sample_;
}

void MeshOutputs::ExpectPoints(uint64_t count) {
  if (mesh_) mesh_->ExpectPoints(count);
}

std::string MeshOutputs::MeshHolds() const { return mesh_ ? mesh_->Holds() : ""; }

FrameRange MeshOutputs::MeshFrames() const { return mesh_ ? mesh_->framesWritten() : FrameRange(); }

uint64_t MeshOutputs::pointsGiven() const { return guard_ ? guard_->points() : 0; }

uint64_t MeshOutputs::polygonsGiven() const { return guard_ ? guard_->polygons() : 0; }

std::string MeshOutputs::DroppedSamples() const { return drop_ ? drop_->Summary() : ""; }

uint64_t MeshOutputs::bytesMade() const {
  return mesh_ ? mesh_->bytesMade() : 0;
}

void MeshOutputs::NoteEndsEarly(const std::string& input) {
  PfxInspection read;
  std::string error;
  if ((!svg_ && !html_) || !InspectPfx(input, &read, &error)) return;  // then the caption keeps its counts alone
  for (PreviewFile* preview : {static_cast<PreviewFile*>(svg_.get()), static_cast<PreviewFile*>(html_.get())}) {
    if (preview) preview->SetEndsEarly(read.wholeTracks, read.tracksToRead);
  }
}

void MeshOutputs::SetWidth(double width) {
  if (guard_) guard_->WidthAtEnd(width);
  if (mesh_) mesh_->SetWidth(width);
}

bool MeshOutputs::Finish(std::string* error) {
  if (drop_) drop_->Finish();
  if (guard_ && guard_->refusal()) {
    *error = CannotWrite(named_, *guard_->refusal());
    if (guard_->refusedNonFinite() && !drop_) *error += "; --bad-samples drop leaves such samples out";
    return false;  // what was opened goes with the writers
  }
  std::vector<OutputFile*> files;
  if (sample_) sample_->Finish();
  bool complete = (!mesh_ || mesh_->Complete(error)) && (!svg_ || svg_->Complete(*sample_, error)) &&
                  (!html_ || html_->Complete(*sample_, error));
  if (!complete) return false;  // what was opened goes with the writers
  // The mesh file last: when it holds its new file, so does every output.
  if (svg_) files.push_back(&svg_->file());
  if (html_) files.push_back(&html_->file());
  if (mesh_) files.push_back(&mesh_->file());
  return CommitTogether(files, error);
}

std::vector<std::string> MeshOutputs::TakeSweepLines() {
  std::vector<std::string> lines;
  lines.swap(staleLines_);
  return lines;
}

}  // namespace dustweave
