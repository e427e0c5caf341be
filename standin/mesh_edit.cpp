// The mesh edit's functions. Divisions: beginning and ending; points; polygons.
#include "standin/mesh_edit.h"

#include <algorithm>
#include <vector>

#include "standin/host.h"

namespace standin {

// The edit record's state is the host itself, so that the calls for each point and polygon reach
// the host's counts and this edit's own state from one pointer.
MeshEdit::MeshEdit(Host& host) : host_(host), keeper_(new MeshRecorder(host.mesh)) {
  command_.editBegin = Begin;
  op_.state = &host;
  op_.done = Done;
  op_.addPoint = StreamPoint;
  op_.addFace = StreamFace;
}

MeshEdit::~MeshEdit() = default;

// ---- beginning and ending -------------------------------------------------------------------

MeshEditOp* MeshEdit::Begin(int, int, int) {
  MeshEdit& edit = Host::current()->edit_;
  const HostScript& script = edit.host_.script;
  if (script.declineEdit) {
    edit.host_.Note("editBegin declined");
    return nullptr;
  }
  edit.host_.Note("editBegin");
  edit.host_.mesh.edit = EditState::Open;
  ++edit.host_.mesh.editBegins;
  edit.Start();
  return &edit.op_;
}

// Where the mesh goes and how its points are numbered, as the script says.
void MeshEdit::Start() {
  const HostScript& script = host_.script;
  sink_ = script.sink != nullptr ? script.sink : keeper_.get();
  uint64_t taken = std::min<uint64_t>(script.pointIdsTaken, UINTPTR_MAX);
  pointIdBase_ = taken + 1;
  pointRoom_ = UINTPTR_MAX - taken;
  op_.addPoint = script.discardMesh ? CountPoint : script.nullPointAt ? StreamPointOrNull : StreamPoint;
  op_.addFace = script.discardMesh ? CountFace : StreamFace;
}

void MeshEdit::Done(EDStateRef state, int error, int selectMode) {
  Host& host = *static_cast<Host*>(state);
  host.Note("done");
  host.mesh.edit = EditState::Ended;
  host.mesh.doneError = error;
  host.mesh.doneSelectMode = selectMode;
}

// ---- points -----------------------------------------------------------------------------------

// The next point's number, counted; false past the last ID.
bool MeshEdit::TakePointNumber(Host& host, uint64_t* number) {
  *number = host.mesh.pointCount;
  if (*number >= host.edit_.pointRoom_) return false;
  host.mesh.pointCount = *number + 1;
  return true;
}

// A discarded mesh only counts, at the cost of an increment and a comparison per call.
LWPntID MeshEdit::CountPoint(EDStateRef state, double*) {
  Host& host = *static_cast<Host*>(state);
  uint64_t number;
  if (!TakePointNumber(host, &number)) return host.edit_.RefusePoint();
  return host.edit_.PointId(number);
}

// Otherwise the mesh goes to the edit's sink as it comes; the host itself keeps only the counts.
LWPntID MeshEdit::StreamPoint(EDStateRef state, double* position) {
  Host& host = *static_cast<Host*>(state);
  uint64_t number;
  if (!TakePointNumber(host, &number)) return host.edit_.RefusePoint();
  host.edit_.sink_->AddPoint(number, position);
  return host.edit_.PointId(number);
}

// As StreamPoint, for a script that makes some addPoint calls yield null.
LWPntID MeshEdit::StreamPointOrNull(EDStateRef state, double* position) {
  Host& host = *static_cast<Host*>(state);
  uint64_t number = host.mesh.pointCount;
  LWPntID point = StreamPoint(state, position);
  return host.script.nullPointAt(number) ? nullptr : point;
}

LWPntID MeshEdit::PointId(uint64_t number) const {
  return reinterpret_cast<LWPntID>(static_cast<uintptr_t>(pointIdBase_ + number));
}

// The 0-based number of a point this run made, or -1.
int64_t MeshEdit::PointNumber(const Host& host, LWPntID point) {
  // A null ID, or one below the base, wraps past every count.
  uint64_t number = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(point)) - host.edit_.pointIdBase_;
  return number < host.mesh.pointCount ? static_cast<int64_t>(number) : -1;
}

// A point past the last ID: none is made, none reaches the sink, and the host says so once.
// The module makes no polygon on a null ID, so no polygon can name a point wrongly either.
[[gnu::noinline]] LWPntID MeshEdit::RefusePoint() {
  if (!host_.mesh.pointLimitReached) {
    host_.mesh.pointLimitReached = true;
    host_.Show(Box{"host", std::nullopt, POINT_LIMIT_TEXT, std::nullopt, std::nullopt});
  }
  return nullptr;
}

// ---- polygons ---------------------------------------------------------------------------------

LWPolID MeshEdit::CountFace(EDStateRef state, const char*, int, const LWPntID*) {
  MeshRecord& mesh = static_cast<Host*>(state)->mesh;
  return reinterpret_cast<LWPolID>(static_cast<uintptr_t>(++mesh.polygonCount));
}

LWPolID MeshEdit::StreamFace(EDStateRef state, const char* surface, int count, const LWPntID* points) {
  Host& host = *static_cast<Host*>(state);
  LWPolID polygon = CountFace(state, surface, count, points);
  if (surface == nullptr) surface = "";
  int64_t numbers[2];
  if (count == 2) {  // every polygon of a chain but its start
    numbers[0] = PointNumber(host, points[0]);
    numbers[1] = PointNumber(host, points[1]);
  } else if (count == 1) {
    numbers[0] = PointNumber(host, points[0]);
  } else {
    host.edit_.StreamOtherFace(surface, count, points);
    return polygon;
  }
  host.edit_.sink_->AddPolygon(surface, count, numbers);
  return polygon;
}

// A polygon of no points or of more than two.
[[gnu::noinline]] void MeshEdit::StreamOtherFace(const char* surface, int count, const LWPntID* points) {
  std::vector<int64_t> numbers(static_cast<size_t>(count > 0 ? count : 0));
  for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = PointNumber(host_, points[i]);
  sink_->AddPolygon(surface, static_cast<int>(numbers.size()), numbers.data());
}

}  // namespace standin
