// Opening, feeding and committing a run's output files together.
#include "tools/dustweave/mesh_outputs.h"

#include <cctype>
#include <filesystem>

#include "tools/lib/mesh_glb.h"
#include "tools/lib/mesh_obj.h"
#include "tools/lib/mesh_svg.h"

namespace dustweave {

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

MeshOutputs::MeshOutputs() = default;
MeshOutputs::~MeshOutputs() = default;

void MeshOutputs::ExpectPoints(uint64_t count) {
  if (glb_) glb_->ExpectPoints(count);
}

bool MeshOutputs::OpenMesh(MeshFormat format, const std::string& path, std::string* error) {
  meshPath_ = path;
  if (format == MeshFormat::Obj) {
    obj_ = std::make_unique<ObjWriter>();
    if (!obj_->Open(path, error)) return false;
    fanOut_.Add(obj_.get());
  } else {
    glb_ = std::make_unique<GlbWriter>();
    if (!glb_->Open(path, error)) return false;
    fanOut_.Add(glb_.get());
  }
  return true;
}

bool MeshOutputs::OpenPreview(const std::string& path, std::string* error) {
  svg_ = std::make_unique<SvgPreview>();
  if (!svg_->Open(path, error)) return false;
  fanOut_.Add(svg_.get());
  return true;
}

bool MeshOutputs::Finish(std::string* error) {
  bool meshDone = (!obj_ || obj_->Finish(error)) && (!glb_ || glb_->Finish(error));
  if (!meshDone) return false;
  if (!svg_ || svg_->Finish(error)) return true;
  if (obj_ || glb_) {
    std::error_code ignored;
    std::filesystem::remove(meshPath_, ignored);
  }
  return false;
}

}  // namespace dustweave
