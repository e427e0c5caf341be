// The stand-in host's services as C callbacks over the current Host. Divisions: lookup;
// messages; surfaces; the form panel; the mesh edit.
#include "standin/host.h"

#include <cstring>

namespace standin {

namespace {
Host* gCurrent = nullptr;
}

Host* Host::current() { return gCurrent; }

struct Callbacks {
  // ---- lookup ---------------------------------------------------------------------------
  static void* Global(const char* name, int useCode) {
    Host& host = *gCurrent;
    std::string service = name != nullptr ? name : "";
    host.lookups.push_back(service);
    host.lookupCodes.push_back(useCode);
    if (host.script.withoutServices.count(service) != 0) return nullptr;
    if (service == LWMESSAGEFUNCS_GLOBAL) return &host.messages_;
    if (service == LWXPANELFUNCS_GLOBAL) return &host.panels_;
    if (service == LWSURFACEFUNCS_GLOBAL) return &host.surfaces_;
    return nullptr;
  }

  // ---- messages -------------------------------------------------------------------------
  static std::optional<std::string> Text(const char* text) {
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
  }

  static void Show(Box box) {
    Host& host = *gCurrent;
    host.Note(box.kind + ": " + box.text);
    host.boxes.push_back(std::move(box));
    if (host.onBox) host.onBox(host.boxes.back());
  }

  static void Error(const char* text, const char* text2) {
    Show(Box{"error", std::nullopt, text != nullptr ? text : "", Text(text2), std::nullopt});
  }

  static int OkCancel(const char* title, const char* text, const char* text2) {
    int answer = gCurrent->script.answerOk ? gCurrent->script.okValue : 0;
    Show(Box{"okCancel", Text(title), text != nullptr ? text : "", Text(text2), answer});
    return answer;
  }

  // ---- surfaces: IDs are 1-based positions in the script's list --------------------------
  static LWSurfaceID SurfaceAt(size_t index) {
    if (index >= gCurrent->script.surfaces.size()) return nullptr;
    return reinterpret_cast<LWSurfaceID>(static_cast<uintptr_t>(index + 1));
  }
  static size_t SurfaceIndex(LWSurfaceID id) { return reinterpret_cast<uintptr_t>(id) - 1; }
  static LWSurfaceID First() { return SurfaceAt(0); }
  static LWSurfaceID Next(LWSurfaceID id) { return SurfaceAt(SurfaceIndex(id) + 1); }
  static const char* Name(LWSurfaceID id) {
    size_t index = SurfaceIndex(id);
    auto& surfaces = gCurrent->script.surfaces;
    if (index >= surfaces.size() || !surfaces[index]) return nullptr;
    return surfaces[index]->c_str();
  }

  // ---- the form panel -------------------------------------------------------------------
  static PanelRecord& Panel() { return *gCurrent->panel; }

  static ListEntry Copy(const LWXPanelControl& c) {
    return {c.id, Text(c.label), Text(c.controlType)};
  }
  static ListEntry Copy(const LWXPanelDataDesc& d) { return {d.id, Text(d.name), Text(d.dataType)}; }

  template <typename Entry>
  static std::vector<ListEntry> CopyList(const Entry* list) {
    std::vector<ListEntry> copy;
    for (;; ++list) {
      copy.push_back(Copy(*list));
      if (list->id == 0) break;
    }
    return copy;
  }

  static LWXPanelID Create(int type, LWXPanelControl* controls) {
    Host& host = *gCurrent;
    if (host.script.failPanelCreate) return nullptr;
    host.panel.emplace();
    ++host.panelsCreated;
    PanelRecord& panel = Panel();
    panel.createType = type;
    panel.controls = CopyList(controls);
    panel.calls.push_back("create");
    return &panel;
  }

  static void Destroy(LWXPanelID) {
    Panel().destroyed = true;
    Panel().calls.push_back("destroy");
  }

  static void Describe(LWXPanelID, LWXPanelDataDesc* data, LWXPanelGetFunc*, LWXPanelSetFunc*) {
    Panel().data = CopyList(data);
    Panel().calls.push_back("describe");
  }

  // Reads the label of id 0 and the popup's choices; other tags are kept but not interpreted.
  // The list ends with two zero words.
  static void Hint(LWXPanelID, LWID /*id*/, LWXPHint* hints) {
    PanelRecord& panel = Panel();
    panel.calls.push_back("hint");
    for (size_t i = 0; !(hints[i] == 0 && hints[i + 1] == 0); ++i) panel.hints.push_back(hints[i]);
    panel.hints.push_back(0);
    panel.hints.push_back(0);
    for (size_t i = 0; i + 2 < panel.hints.size(); ++i) {
      if (panel.hints[i] == XPTAG_LABEL && panel.hints[i + 1] == 0 && panel.hints[i + 2] != 0) {
        panel.title = reinterpret_cast<const char*>(panel.hints[i + 2]);
      }
      if (panel.hints[i] == XPTAG_STRLIST && panel.hints[i + 2] != 0) {
        panel.choicesGiven = true;
        for (auto** text = reinterpret_cast<const char**>(panel.hints[i + 2]); *text; ++text) {
          panel.choices.emplace_back(*text);
        }
      }
    }
  }

  static void FormSet(LWXPanelID, LWID id, void* value) {
    PanelRecord& panel = Panel();
    Host::PanelValues& values = gCurrent->values_;
    PanelRecord::Set set{id, value == nullptr, "", 0.0, 0};
    if (value != nullptr) {
      if (id == 0x8001) set.text = values.file = static_cast<const char*>(value);
      if (id == 0x8002) set.real = values.step = *static_cast<const double*>(value);
      if (id == 0x8003) set.integer = values.startPolygon = *static_cast<const int*>(value);
      if (id == 0x8004) set.integer = values.pick = *static_cast<const int*>(value);
    }
    panel.initialValues.push_back(set);
    panel.calls.push_back("formSet");
  }

  // The user's answers replace the initial values when the panel is posted.
  static int Post(LWXPanelID) {
    Host& host = *gCurrent;
    Host::PanelValues& values = host.values_;
    Panel().posted = true;
    Panel().calls.push_back("post");
    if (host.script.file) values.file = *host.script.file;
    if (host.script.startPolygon) values.startPolygon = 1;
    if (host.script.step) values.step = *host.script.step;
    values.pick = host.script.pick;
    return host.script.cancelPanel ? 0 : host.script.okValue;
  }

  static void* FormGet(LWXPanelID, LWID id) {
    Host& host = *gCurrent;
    Host::PanelValues& values = host.values_;
    Panel().reads.push_back(id);
    Panel().calls.push_back("formGet");
    if (host.script.nullAnswers.count(id) != 0) return nullptr;
    switch (id) {
      case 0x8001: return values.file.data();
      case 0x8002: return &values.step;
      case 0x8003: return &values.startPolygon;
      case 0x8004: return &values.pick;
      default: return nullptr;
    }
  }

  // ---- the mesh edit: point IDs are 1-based creation numbers -----------------------------
  static MeshEditOp* EditBegin(int, int, int) {
    Host& host = *gCurrent;
    if (host.script.declineEdit) {
      host.Note("editBegin declined");
      return nullptr;
    }
    host.Note("editBegin");
    host.mesh.edit = EditState::Open;
    ++host.mesh.editBegins;
    host.sink_ = host.script.sink != nullptr ? host.script.sink : &host.recorder_;
    host.edit_.addPoint = host.script.discardMesh ? CountPoint
                          : host.script.nullPointAt ? StreamPointOrNull
                                                    : StreamPoint;
    host.edit_.addFace = host.script.discardMesh ? CountFace : StreamFace;
    return &host.edit_;
  }

  static void Done(EDStateRef, int error, int selectMode) {
    gCurrent->Note("done");
    MeshRecord& mesh = gCurrent->mesh;
    mesh.edit = EditState::Ended;
    mesh.doneError = error;
    mesh.doneSelectMode = selectMode;
  }

  // A discarded mesh only counts, at the cost of an increment per call.
  static LWPntID CountPoint(EDStateRef state, double*) {
    MeshRecord& mesh = static_cast<Host*>(state)->mesh;
    return reinterpret_cast<LWPntID>(static_cast<uintptr_t>(++mesh.pointCount));
  }

  static LWPolID CountFace(EDStateRef state, const char*, int, const LWPntID*) {
    MeshRecord& mesh = static_cast<Host*>(state)->mesh;
    return reinterpret_cast<LWPolID>(static_cast<uintptr_t>(++mesh.polygonCount));
  }

  // Otherwise the mesh goes to the edit's sink as it comes (the recorder when it is kept); the
  // host itself keeps only the counts. These run once per point and per polygon of a chain, so
  // the usual cases are kept to a few instructions and the rest is in functions of their own.
  static LWPntID StreamPoint(EDStateRef state, double* position) {
    Host& host = *static_cast<Host*>(state);
    uint64_t number = host.mesh.pointCount++;
    host.sink_->AddPoint(number, position);
    return reinterpret_cast<LWPntID>(static_cast<uintptr_t>(number + 1));
  }

  // As StreamPoint, for a script that makes some addPoint calls yield null.
  static LWPntID StreamPointOrNull(EDStateRef state, double* position) {
    Host& host = *static_cast<Host*>(state);
    uint64_t number = host.mesh.pointCount;
    LWPntID point = StreamPoint(state, position);
    return host.script.nullPointAt(number) ? nullptr : point;
  }

  static LWPolID StreamFace(EDStateRef state, const char* surface, int count, const LWPntID* points) {
    Host& host = *static_cast<Host*>(state);
    MeshRecord& mesh = host.mesh;
    uint64_t polygon = ++mesh.polygonCount;
    if (surface == nullptr) surface = "";
    int64_t numbers[2];
    if (count == 2) {  // every polygon of a chain but its start
      numbers[0] = PointNumber(mesh, points[0]);
      numbers[1] = PointNumber(mesh, points[1]);
    } else if (count == 1) {
      numbers[0] = PointNumber(mesh, points[0]);
    } else {
      StreamOtherFace(host, surface, count, points);
      return reinterpret_cast<LWPolID>(static_cast<uintptr_t>(polygon));
    }
    host.sink_->AddPolygon(surface, count, numbers);
    return reinterpret_cast<LWPolID>(static_cast<uintptr_t>(polygon));
  }

  // A polygon of no points or of more than two.
  [[gnu::noinline]] static void StreamOtherFace(Host& host, const char* surface, int count, const LWPntID* points) {
    std::vector<int64_t> numbers(static_cast<size_t>(count > 0 ? count : 0));
    for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = PointNumber(host.mesh, points[i]);
    host.sink_->AddPolygon(surface, static_cast<int>(numbers.size()), numbers.data());
  }

  // The 0-based number of a point this run made, or -1.
  static int64_t PointNumber(const MeshRecord& mesh, LWPntID point) {
    uint64_t number = reinterpret_cast<uintptr_t>(point) - 1;  // a null ID wraps past every count
    return number < mesh.pointCount ? static_cast<int64_t>(number) : -1;
  }
};

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

Host::Host(HostScript hostScript) : script(std::move(hostScript)) {
  gCurrent = this;
  command_.editBegin = Callbacks::EditBegin;
  edit_.state = this;
  edit_.done = Callbacks::Done;
  edit_.addPoint = Callbacks::StreamPoint;
  edit_.addFace = Callbacks::StreamFace;
  messages_.error = Callbacks::Error;
  messages_.okCancel = Callbacks::OkCancel;
  surfaces_.first = Callbacks::First;
  surfaces_.next = Callbacks::Next;
  surfaces_.name = Callbacks::Name;
  panels_.version = 0;
  panels_.create = Callbacks::Create;
  panels_.destroy = Callbacks::Destroy;
  panels_.describe = Callbacks::Describe;
  panels_.hint = Callbacks::Hint;
  panels_.formGet = Callbacks::FormGet;
  panels_.formSet = Callbacks::FormSet;
  panels_.post = Callbacks::Post;
}

Host::~Host() {
  if (gCurrent == this) gCurrent = nullptr;
}

GlobalFunc* Host::global() const { return Callbacks::Global; }

namespace {
// The entry for the points and polygons made between two others, or none.
std::optional<std::string> MeshEntry(uint64_t points, uint64_t polygons) {
  if (points == 0 && polygons == 0) return std::nullopt;
  return "mesh: " + std::to_string(points) + " points, " + std::to_string(polygons) + " polygons";
}
}  // namespace

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

}  // namespace standin
