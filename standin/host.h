// The stand-in host: an in-process implementation of the host records the plug-in calls
// (service lookup, messages, surfaces, the form panel, the command's mesh edit). It answers as a
// user would from a HostScript and records everything the plug-in did, for tests and dustweave.
// The mesh goes to one of three places: kept in memory (a MeshRecorder, the default), only
// counted (discardMesh), or streamed to the script's sink. One host is current at a time; its
// records are handed out as plain C function tables. The form panel and the mesh edit are
// services of their own (form_panel.h, mesh_edit.h); lookup, messages and surfaces are here.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/records.h"
#include "standin/form_panel.h"
#include "standin/mesh_edit.h"
#include "standin/mesh_sink.h"

namespace standin {

// The pointIdsTaken of every HostScript made after this call (0 at first).
void SetDefaultPointIdsTaken(uint64_t taken);
uint64_t DefaultPointIdsTaken();

// How the host and its user answer.
struct HostScript {
  // Surfaces in the host's order; nullopt is a surface whose name the host reports as null.
  std::vector<std::optional<std::string>> surfaces;
  std::set<std::string> withoutServices;  // service names whose lookup yields null
  bool failPanelCreate = false;
  bool cancelPanel = false;
  std::optional<std::string> file;        // the "pfx file" answer; nullopt keeps the initial value
  bool startPolygon = false;              // ticks "poly at start"
  std::optional<double> step;             // the "step percent" answer; nullopt keeps it
  int pick = 0;                           // the popup entry chosen
  std::set<LWID> nullAnswers;             // controls whose formGet yields null
  bool answerOk = true;                   // every OK/Cancel question
  int okValue = 1;                        // what okCancel and post answer for OK (non-zero)
  bool declineEdit = false;               // editBegin yields null
  bool discardMesh = false;               // count points and polygons without keeping them
  MeshSink* sink = nullptr;               // stream the mesh there instead of keeping it (counts kept)
  std::function<bool(uint64_t)> nullPointAt;  // addPoint with this 0-based number yields null
  // Point IDs taken before this run's first point, which is numbered after them: a seam that
  // starts the count near the end of what a pointer-sized ID can number.
  uint64_t pointIdsTaken = DefaultPointIdsTaken();
};

// What a point ID can number ends at UINTPTR_MAX: the host makes no point past it, returns null
// for it and says so once in a box of its own (kind "host") with this text.
inline constexpr const char* POINT_LIMIT_TEXT =
    sizeof(void*) == 4 ? "the mesh passes the 4,294,967,295 points that a 32-bit build can number; use dustweave64"
                       : "the mesh passes the 18,446,744,073,709,551,615 points that a 64-bit build can number";

struct Box {
  std::string kind;                  // "error" or "okCancel"; "host" for one the host shows itself
  std::optional<std::string> title;
  std::string text;
  std::optional<std::string> text2;  // the second text argument; the plug-in passes null
  std::optional<int> answer;         // okCancel only
};

struct Polygon {
  std::string surface;
  std::vector<int64_t> points;       // 0-based point numbers; -1 for an ID this run never made
  uint64_t pointsBefore = 0;         // points made before this polygon, for replay in creation order
};

// One entry of the control or data list, copied: {id, label or name, type}.
struct ListEntry {
  LWID id;
  std::optional<std::string> name;
  std::optional<std::string> type;
  bool operator==(const ListEntry&) const = default;
};

// What the module did with the panel it created.
struct PanelRecord {
  int createType = 0;
  std::vector<ListEntry> controls;         // up to and including the closing id 0
  std::vector<ListEntry> data;
  std::vector<LWXPHint> hints;             // up to and including the two closing zeros
  std::optional<std::string> title;        // from the label hint of id 0
  std::vector<std::string> choices;        // from the popup's string list hint
  struct Set { LWID id; bool isNull; std::string text; double real; int integer; };
  std::vector<Set> initialValues;          // formSet calls, in order
  std::vector<LWID> reads;                 // formGet calls, in order
  std::vector<std::string> calls;          // create, describe, hint, formSet, post, formGet, destroy

  bool posted() const { return Called("post"); }
  bool destroyed() const { return Called("destroy"); }
  bool Called(const std::string& call) const;
};

enum class EditState { None, Open, Ended };

struct MeshRecord {
  std::vector<std::array<double, 3>> points;
  std::vector<Polygon> polygons;
  uint64_t pointCount = 0;    // also counted when the mesh is discarded
  uint64_t polygonCount = 0;
  EditState edit = EditState::None;
  int editBegins = 0;
  int doneError = 0;
  int doneSelectMode = 0;
  bool pointLimitReached = false;  // a point was refused: its ID would have passed UINTPTR_MAX
};

// Keeps a streamed mesh in memory: fills `points` and `polygons` of a MeshRecord (the counts
// and the edit state are the host's to keep).
class MeshRecorder : public MeshSink {
 public:
  explicit MeshRecorder(MeshRecord& mesh) : mesh_(mesh) {}
  void AddPoint(uint64_t number, const double position[3]) override;
  void AddPolygon(const char* surface, int count, const int64_t* points) override;

 private:
  MeshRecord& mesh_;
};

// Sends a kept mesh to a sink in the order it was made, as a streamed run would have sent it.
void ReplayMesh(const MeshRecord& mesh, MeshSink& sink);

class Host {
 public:
  explicit Host(HostScript script = {});
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  GlobalFunc* global() const;
  LWModCommand* command() { return edit_.command(); }
  LWMessageFuncs* messages() { return &messages_; }
  LWSurfaceFuncs* surfaceFuncs() { return &surfaces_; }
  LWXPanelFuncs* panelFuncs() { return panels_.funcs(); }

  HostScript script;
  std::vector<std::string> lookups;       // service names asked for, in order
  std::vector<int> lookupCodes;           // the use code of each lookup
  std::vector<Box> boxes;
  std::optional<PanelRecord> panel;       // the last panel created
  int panelsCreated = 0;
  MeshRecord mesh;                        // counts and edit state; points and polygons when kept
  std::function<void(const Box&)> onBox;  // told of each box as it is shown

  // Shows a message box: recorded, noted among the calls, and told to onBox.
  void Show(Box box);

  // What the module did through the host, in order: "editBegin" (or "editBegin declined"), the
  // points and polygons made since the entry before as one entry ("mesh: 3 points, 2 polygons"),
  // "done", each box as "kind: text", and what a test notes itself, such as the module's close
  // of its file.
  std::vector<std::string> calls() const;
  void Note(std::string entry);

  static Host* current();

 private:
  MeshEdit edit_{*this};
  FormPanel panels_{*this};
  LWMessageFuncs messages_{};
  LWSurfaceFuncs surfaces_{};
  std::vector<std::string> calls_;
  uint64_t notedPoints_ = 0;              // the mesh counts as of the last entry
  uint64_t notedPolygons_ = 0;
  friend class MeshEdit;                  // each finds its service of the current host
  friend class FormPanel;
};

}  // namespace standin
