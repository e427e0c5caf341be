// The .glb writers' refusals, surface and end of file.
#include "gltf/glb_file.h"

#include <algorithm>

#include "gltf/glb_costs.h"
#include "writers/chain_rule.h"
#include "writers/number_text.h"

namespace dustweave {

namespace {

constexpr const char* NOT_OPEN = "not open";
constexpr const char* TOO_LARGE =
    "the file passes the 4 GiB that a .glb can hold; keep fewer samples (--step or --max-points)";

}  // namespace

// Bytes a point and a chain: a point has its position (a ring's vertices and normals for tubes),
// its attributes (with their frames, as convert writes them), and the polygon joining it to the one before it (a line's two indices, or a
// ring's six triangles); a chain's first point has no polygon before it, but with start points a
// point index (a point's position for tubes), and a tube's ring alone its two closing triangles.
// Smoothed tubes have `ringsASegment` rings a point but at each chain's last, each ring as a point.
uint64_t GlbPointsWithin(uint64_t chains, bool tubes, bool attributes, bool startPoints, uint64_t maxFileBytes,
                         uint64_t ringsASegment) {
  using Tube = TubeGlbCost;
  using Line = LineGlbCost;
  constexpr auto joining = static_cast<int64_t>(Tube::JOINING_TRIANGLES * Tube::TRIANGLE);
  auto rings = static_cast<int64_t>(tubes && ringsASegment > 1 ? ringsASegment : 1);
  int64_t ring = static_cast<int64_t>(Tube::SIDES * Tube::VertexBytes(attributes, true)) + joining;
  int64_t perPoint = tubes ? rings * ring
                           : static_cast<int64_t>(Line::POSITION + GlbAttributeCost::Bytes(attributes, true) + Line::LINE);
  int64_t perChain = tubes ? -(rings - 1) * ring - joining +
                                 static_cast<int64_t>(Tube::CLOSING_TRIANGLES * Tube::TRIANGLE + (startPoints ? Tube::DOT : 0))
                           : -static_cast<int64_t>(Line::LINE) + static_cast<int64_t>(startPoints ? Line::DOT : 0);
  int64_t room = static_cast<int64_t>(maxFileBytes - HEAD_SIZE) - perChain * static_cast<int64_t>(chains);
  uint64_t points = room > 0 ? static_cast<uint64_t>(room / perPoint) : 0;
  uint64_t ringsIndexed = 0xFFFFFFFFull / (tubes ? Tube::SIDES : 1);
  uint64_t indexed = (ringsIndexed + static_cast<uint64_t>(rings - 1) * chains) / static_cast<uint64_t>(rings);
  return std::min(points, indexed);
}

bool GlbFile::Create(const std::string& path, std::string* error) {
  surface_ = LastSurface();
  leftOut_ = 0;
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

bool GlbFile::Takes(const char* surface, int count, const int64_t* points) {
  if (refusal_) return false;
  if (!IsSegmentOrStart(count, points)) {
    ++leftOut_;
    return false;
  }
  if (surface_.Is(surface)) return true;
  std::string reason = TakeGlbSurface(surface_, surface);
  if (reason.empty()) return true;
  Refuse(std::move(reason));
  return false;
}

bool GlbFile::AttributesFit(const ChainAttributes& attributes, bool anyPolygon) {
  std::string frames = attributes.framesRefused();
  if (!frames.empty()) {
    Refuse(frames);
    return false;
  }
  if (!attributes.tooManyChains() || !anyPolygon) return true;
  Refuse("more than " + GroupedDigits(ChainAttributes::MAX_CHAINS) +
         " chains, past what _CHAIN's 32-bit floats number exactly; convert without --attributes");
  return false;
}

void GlbFile::AddFrameAccessors(GlbScene& scene, std::vector<std::pair<const char*, int>>& attributes, uint64_t at,
                                uint64_t count) {
  int frames = scene.Add({at, FRAME_STREAM_BYTES * count, ARRAY_BUFFER, FLOAT, "SCALAR", count, false, nullptr,
                          FRAME_STREAM_BYTES});
  GlbAccessor pairs{at, 0, ARRAY_BUFFER, FLOAT, "VEC2", count};
  pairs.viewOf = frames;
  attributes.push_back({"_FRAME", frames});
  attributes.push_back({"TEXCOORD_0", scene.Add(pairs)});
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
