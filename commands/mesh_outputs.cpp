// Checking, opening, feeding and committing a command's output files. Divisions: names; the
// outputs of a run.
#include "commands/mesh_outputs.h"

#include <cctype>

#include "commands/exit_status.h"
#include "platform/atomic_file.h"
#include "platform/path_text.h"
#include "platform/temp_files.h"
#include "writers/glb_writer.h"
#include "writers/obj_writer.h"
#include "writers/svg_preview.h"

namespace dustweave {

// ---- names ----------------------------------------------------------------------------------

bool HasExtension(const std::string& path, const std::string& extension) {
  if (path.size() <= extension.size()) return false;
  std::string tail = path.substr(path.size() - extension.size());
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == extension;
}

std::optional<MeshFormat> MeshFormatOf(const std::string& path) {
  if (HasExtension(path, ".obj")) return MeshFormat::Obj;
  if (HasExtension(path, ".glb")) return MeshFormat::Glb;
  return std::nullopt;
}

namespace {

std::string ExtensionList(const std::vector<std::string>& extensions) {
  std::string list;
  for (size_t i = 0; i < extensions.size(); ++i) list += (i == 0 ? "" : i + 1 == extensions.size() ? " or " : ", ") + extensions[i];
  return list;
}

NameCheck Misuse(const std::string& reason) { return {EXIT_MISUSE, reason}; }
NameCheck NotWritable(const std::string& path, const std::string& reason) {
  return {EXIT_NOT_DONE, CannotWrite(path, reason)};
}

// Whether the file system can hold the name, and whether a file can be put under it.
NameCheck CheckPlace(const std::string& path) {
  std::string folder = FolderOf(path), name = FileNameOf(path);
  if (name.empty() || name == "." || name == "..") return NotWritable(path, "it names a folder");
  PathStatus place;
  place.kind = PathKind::Folder;  // the current folder, when the path names none
  if (SystemError failure = folder.empty() ? 0 : StatusOf(folder, &place)) return NotWritable(path, SystemReason(failure));
  if (place.kind == PathKind::Missing) return NotWritable(path, "the folder " + folder + " does not exist");
  if (place.kind != PathKind::Folder) return NotWritable(path, folder + " is not a folder");
  if (std::string tooLong = NameTooLong(path); !tooLong.empty()) return NotWritable(path, tooLong);
  if (SystemError failure = StatusOf(path, &place)) return NotWritable(path, SystemReason(failure));
  if (place.kind == PathKind::Folder) return NotWritable(path, "it is a folder");
  if (place.kind == PathKind::Other) return NotWritable(path, "it is not a plain file");
  return {};
}

NameCheck CheckOne(const std::string& input, const OutputName& output) {
  bool named = output.extensions.empty();  // any name
  for (const std::string& extension : output.extensions) named = named || HasExtension(output.path, extension);
  if (!named) return Misuse(output.option + " must end in " + ExtensionList(output.extensions) + ": " + output.path);
  if (!input.empty() && SamePlace(input, output.path)) return Misuse(output.option + " is the input itself: " + output.path);
  return CheckPlace(output.path);
}

}  // namespace

NameCheck CheckOutputNames(const std::string& input, const std::vector<OutputName>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (NameCheck check = CheckOne(input, outputs[i]); check.status != 0) return check;
    for (size_t j = 0; j < i; ++j) {
      if (SamePlace(outputs[i].path, outputs[j].path)) {
        return Misuse(outputs[i].option + " names " + outputs[j].option + " too: " + outputs[i].path);
      }
    }
  }
  return {};
}

std::string StaleRemovedLine(size_t count, const std::string& path) {
  return "removed " + std::to_string(count) + (count == 1 ? " temporary file" : " temporary files") +
         " left beside " + path + " by an earlier run that did not finish";
}

// ---- the outputs of a run -------------------------------------------------------------------

MeshOutputs::MeshOutputs() = default;
MeshOutputs::~MeshOutputs() = default;

void MeshOutputs::ExpectPoints(uint64_t count) {
  if (glb_) glb_->ExpectPoints(count);
}

bool MeshOutputs::OpenMesh(MeshFormat format, const std::string& path, std::string* error, bool chainAttributes) {
  staleRemoved_ += RemoveStaleTemporaries(path);
  if (format == MeshFormat::Obj) {
    obj_ = std::make_unique<ObjWriter>();
    if (!obj_->Open(path, error)) return false;
    fanOut_.Add(obj_.get());
  } else {
    glb_ = std::make_unique<GlbWriter>(GLB_MAX_FILE_BYTES, chainAttributes);
    if (!glb_->Open(path, error)) return false;
    fanOut_.Add(glb_.get());
  }
  return true;
}

bool MeshOutputs::OpenPreview(const std::string& path, std::string* error, const std::string& input,
                              const std::string& settings) {
  staleRemoved_ += RemoveStaleTemporaries(path);
  svg_ = std::make_unique<SvgPreview>();
  if (!input.empty()) svg_->SetSource(FileNameOf(input), settings);
  if (!svg_->Open(path, error)) return false;
  fanOut_.Add(svg_.get());
  return true;
}

uint64_t MeshOutputs::bytesMade() const {
  return (obj_ ? obj_->bytesMade() : 0) + (glb_ ? glb_->bytesMade() : 0);
}

bool MeshOutputs::Finish(std::string* error) {
  std::vector<AtomicFile*> files;
  bool complete = (!obj_ || obj_->Complete(error)) && (!glb_ || glb_->Complete(error)) &&
                  (!svg_ || svg_->Complete(error));
  if (!complete) return false;  // what was opened goes with the writers
  if (obj_) files.push_back(&obj_->file());
  if (glb_) files.push_back(&glb_->file());
  if (svg_) files.push_back(&svg_->file());
  if (!CommitTogether(files, error)) return false;
  // Now that the names hold whole files, what a killed run left beside one that had none goes too.
  for (AtomicFile* file : files) staleRemoved_ += RemoveStaleTemporaries(file->path());
  return true;
}

size_t MeshOutputs::TakeStaleRemoved() {
  size_t removed = staleRemoved_;
  staleRemoved_ = 0;
  return removed;
}

}  // namespace dustweave
