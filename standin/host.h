// The stand-in host: an in-process implementation of the host records the plug-in calls
// (service lookup, messages, surfaces, the form panel, the command's mesh edit). It answers as a
// user would from a HostScript and records everything the plug-in did, for tests and dustweave.
// The mesh goes to one of three places: kept in memory (a MeshRecorder, the default), only
// counted (discardMesh), or streamed to the script's sink. One host is current at a time; its
// records are handed out as plain C function tables.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/records.h"
#include "standin/mesh_sink.h"

namespace standin {

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
};

struct Box {
  std::string kind;                  // "error" or "okCancel"
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

struct PanelRecord {
  int createType = 0;
  std::vector<ListEntry> controls;         // up to and including the closing id 0
  std::vector<ListEntry> data;
  std::vector<LWXPHint> hints;             // up to and including the two closing zeros
  std::optional<std::string> title;        // from the label hint of id 0
  std::vector<std::string> choices;        // from the popup's string list hint
  bool choicesGiven = false;
  struct Set { LWID id; bool isNull; std::string text; double real; int integer; };
  std::vector<Set> initialValues;          // formSet calls, in order
  std::vector<LWID> reads;                 // formGet calls, in order
  std::vector<std::string> calls;          // create, describe, hint, formSet, post, formGet, destroy
  bool posted = false;
  bool destroyed = false;
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
  LWModCommand* command() { return &command_; }
  LWMessageFuncs* messages() { return &messages_; }
  LWSurfaceFuncs* surfaceFuncs() { return &surfaces_; }
  LWXPanelFuncs* panelFuncs() { return &panels_; }

  HostScript script;
  std::vector<std::string> lookups;       // service names asked for, in order
  std::vector<int> lookupCodes;           // the use code of each lookup
  std::vector<Box> boxes;
  std::optional<PanelRecord> panel;       // the last panel created
  int panelsCreated = 0;
  MeshRecord mesh;                        // counts and edit state; points and polygons when kept
  std::function<void(const Box&)> onBox;  // told of each box as it is shown

  // What the module did through the host, in order: "editBegin" (or "editBegin declined"), the
  // points and polygons made since the entry before as one entry ("mesh: 3 points, 2 polygons"),
  // "done", each box as "kind: text", and what a test notes itself, such as the module's close
  // of its file.
  std::vector<std::string> calls() const;
  void Note(std::string entry);

  static Host* current();

 private:
  LWModCommand command_{};
  MeshEditOp edit_{};
  MeshRecorder recorder_{mesh};
  MeshSink* sink_ = &recorder_;           // where this edit's mesh goes, chosen at editBegin
  LWMessageFuncs messages_{};
  LWSurfaceFuncs surfaces_{};
  LWXPanelFuncs panels_{};
  struct PanelValues {
    std::string file;
    int startPolygon = 0;
    double step = 0;
    int pick = 0;
  } values_;
  std::vector<std::string> calls_;
  uint64_t notedPoints_ = 0;              // the mesh counts as of the last entry
  uint64_t notedPolygons_ = 0;
  friend struct Callbacks;
};

}  // namespace standin
