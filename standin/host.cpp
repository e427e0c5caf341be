// The stand-in host: its records, the services that need no more than a function each (lookup,
// messages, surfaces) and the log of what the module did. Divisions: lookup; messages;
// surfaces; the host.
#include "standin/host.h"

namespace standin {

namespace {

Host* gCurrent = nullptr;
uint64_t gDefaultPointIdsTaken = 0;

std::optional<std::string> Text(const char* text) {
  return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

// ---- lookup -----------------------------------------------------------------------------------

void* Global(const char* name, int useCode) {
  Host& host = *gCurrent;
  std::string service = name != nullptr ? name : "";
  host.lookups.push_back(service);
  host.lookupCodes.push_back(useCode);
  if (host.script.withoutServices.count(service) != 0) return nullptr;
  if (service == LWMESSAGEFUNCS_GLOBAL) return host.messages();
  if (service == LWXPANELFUNCS_GLOBAL) return host.panelFuncs();
  if (service == LWSURFACEFUNCS_GLOBAL) return host.surfaceFuncs();
  return nullptr;
}

// ---- messages ---------------------------------------------------------------------------------

void Error(const char* text, const char* text2) {
  gCurrent->Show(Box{"error", std::nullopt, text != nullptr ? text : "", Text(text2), std::nullopt});
}

int OkCancel(const char* title, const char* text, const char* text2) {
  int answer = gCurrent->script.answerOk ? gCurrent->script.okValue : 0;
  gCurrent->Show(Box{"okCancel", Text(title), text != nullptr ? text : "", Text(text2), answer});
  return answer;
}

// ---- surfaces: IDs are 1-based positions in the script's list ---------------------------------

LWSurfaceID SurfaceAt(size_t index) {
  if (index >= gCurrent->script.surfaces.size()) return nullptr;
  return reinterpret_cast<LWSurfaceID>(static_cast<uintptr_t>(index + 1));
}

size_t SurfaceIndex(LWSurfaceID id) { return reinterpret_cast<uintptr_t>(id) - 1; }

LWSurfaceID FirstSurface() { return SurfaceAt(0); }

LWSurfaceID NextSurface(LWSurfaceID id) { return SurfaceAt(SurfaceIndex(id) + 1); }

const char* SurfaceName(LWSurfaceID id) {
  size_t index = SurfaceIndex(id);
  auto& surfaces = gCurrent->script.surfaces;
  if (index >= surfaces.size() || !surfaces[index]) return nullptr;
  return surfaces[index]->c_str();
}

// The entry for the points and polygons made between two others, or none.
std::optional<std::string> MeshEntry(uint64_t points, uint64_t polygons) {
  if (points == 0 && polygons == 0) return std::nullopt;
  return "mesh: " + std::to_string(points) + " points, " + std::to_string(polygons) + " polygons";
}

}  // namespace

// ---- the host ---------------------------------------------------------------------------------

Host* Host::current() { return gCurrent; }

void SetDefaultPointIdsTaken(uint64_t taken) { gDefaultPointIdsTaken = taken; }
uint64_t DefaultPointIdsTaken() { return gDefaultPointIdsTaken; }

Host::Host(HostScript hostScript) : script(std::move(hostScript)) {
  gCurrent = this;
  messages_.error = Error;
  messages_.okCancel = OkCancel;
  surfaces_.first = FirstSurface;
  surfaces_.next = NextSurface;
  surfaces_.name = SurfaceName;
}

Host::~Host() {
  if (gCurrent == this) gCurrent = nullptr;
}

GlobalFunc* Host::global() const { return Global; }

void Host::Show(Box box) {
  Note(box.kind + ": " + box.text);
  boxes.push_back(std::move(box));
  if (onBox) onBox(boxes.back());
}

std::vector<std::string> Host::calls() const {
  std::vector<std::string> calls = calls_;
  auto made = MeshEntry(mesh.pointCount - notedPoints_, mesh.polygonCount - notedPolygons_);
  if (made) calls.push_back(std::move(*made));
  return calls;
}

void Host::Note(std::string entry) {
  auto made = MeshEntry(mesh.pointCount - notedPoints_, mesh.polygonCount - notedPolygons_);
  if (made) calls_.push_back(std::move(*made));
  notedPoints_ = mesh.pointCount;
  notedPolygons_ = mesh.polygonCount;
  calls_.push_back(std::move(entry));
}

void MeshRecorder::AddPoint(uint64_t, const double position[3]) {
  mesh_.points.push_back({position[0], position[1], position[2]});
}

void MeshRecorder::AddPolygon(const char* surface, int count, const int64_t* points) {
  mesh_.polygons.push_back(Polygon{surface, std::vector<int64_t>(points, points + count), mesh_.points.size()});
}

void ReplayMesh(const MeshRecord& mesh, MeshSink& sink) {
  uint64_t made = 0;
  auto pointsUpTo = [&](uint64_t end) {
    for (; made < end && made < mesh.points.size(); ++made) sink.AddPoint(made, mesh.points[made].data());
  };
  for (const Polygon& polygon : mesh.polygons) {
    pointsUpTo(polygon.pointsBefore);
    sink.AddPolygon(polygon.surface.c_str(), static_cast<int>(polygon.points.size()), polygon.points.data());
  }
  pointsUpTo(mesh.points.size());
}

}  // namespace standin
