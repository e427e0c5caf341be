// The .glb writers' refusals, surface and end of file.
#include "gltf/glb_file.h"

#include "writers/number_text.h"

namespace dustweave {

namespace {

constexpr const char* NOT_OPEN = "not open";
constexpr const char* TOO_LARGE =
    "the file passes the 4 GiB that a .glb can hold; keep fewer samples (--step or --max-points)";

}  // namespace

bool GlbFile::Create(const std::string& path, std::string* error) {
  surface_ = LastSurface();
  bool opened = out_.Create(path, error);
  if (opened) refusal_.reset();  // else the run may still stream: nothing is kept
  return opened;
}

void GlbFile::Refuse(std::string reason) {
  if (refusal_) return;
  refusal_ = std::move(reason);
  DropParts();
  behind_.Drain();
  out_.Abandon();
}

[[gnu::noinline]] bool GlbFile::RefuseTooLarge() {
  Refuse(TOO_LARGE);
  return false;
}

bool GlbFile::TakeSurface(const char* name) {
  std::string reason = TakeGlbSurface(surface_, name);
  if (reason.empty()) return true;
  Refuse(std::move(reason));
  return false;
}

bool GlbFile::ChainsFit(const ChainAttributes& attributes, bool anyPolygon) {
  if (!attributes.tooManyChains() || !anyPolygon) return true;
  Refuse("more than " + GroupedDigits(ChainAttributes::MAX_CHAINS) +
         " chains, past what _CHAIN's 32-bit floats number exactly; convert without --attributes");
  return false;
}

bool GlbFile::Complete(std::string* error) {
  bool completed = CompleteOnce(error);
  if (!completed && refusal_) {
    *error = CannotWrite(out_.path(), *refusal_);
  }
  refusal_ = NOT_OPEN;
  return completed;
}

bool GlbFile::WriteFile(const GlbScene& scene, const std::function<void(uint64_t at)>& putParts, std::string* error) {
  std::string json = GlbJson(scene);
  bool mesh = !scene.primitives.empty();
  GlbSizes sizes(json, mesh, mesh ? scene.binBytes : 0);
  if (sizes.fileBytes > maxFileBytes_) return RefuseTooLarge();
  if (mesh) {
    putParts(HEAD_SIZE);
  } else {
    DropParts();
  }
  behind_.Drain();
  // The file is cut behind the parts: past them lie only what a mesh without polygons made, or
  // parts moved away.
  return WriteHead(out_, json, sizes, error);
}

}  // namespace dustweave
