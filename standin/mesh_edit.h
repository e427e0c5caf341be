// The command's mesh edit as the stand-in host gives it: editBegin hands the module an edit
// record whose addPoint and addFace send the mesh to the edit's sink (the script's, or one that
// keeps it in the host's MeshRecord) or only count it. Point IDs are creation numbers counted from
// the script's seam; the host makes no point past the last ID a pointer can hold.
#pragma once

#include <cstdint>
#include <memory>

#include "host/records.h"
#include "standin/mesh_sink.h"

namespace standin {

class Host;

class MeshEdit {
 public:
  explicit MeshEdit(Host& host);
  ~MeshEdit();
  MeshEdit(const MeshEdit&) = delete;
  MeshEdit& operator=(const MeshEdit&) = delete;

  LWModCommand* command() { return &command_; }

 private:
  // The record's functions. Those that run once per point and per polygon of a chain take their
  // usual case in a few instructions and leave the rest to functions of their own.
  static MeshEditOp* Begin(int pointBuffer, int polygonBuffer, int selectMode);
  static void Done(EDStateRef state, int error, int selectMode);
  static LWPntID CountPoint(EDStateRef state, double* position);
  static LWPntID StreamPoint(EDStateRef state, double* position);
  static LWPntID StreamPointOrNull(EDStateRef state, double* position);
  static LWPolID CountFace(EDStateRef state, const char* surface, int count, const LWPntID* points);
  static LWPolID StreamFace(EDStateRef state, const char* surface, int count, const LWPntID* points);

  static bool TakePointNumber(Host& host, uint64_t* number);
  void Start();
  LWPntID PointId(uint64_t number) const;
  static int64_t PointNumber(const Host& host, LWPntID point);
  LWPntID RefusePoint();
  void StreamOtherFace(const char* surface, int count, const LWPntID* points);

  Host& host_;
  LWModCommand command_{};
  MeshEditOp op_{};
  std::unique_ptr<MeshSink> keeper_;  // keeps the mesh in the host's record
  MeshSink* sink_ = nullptr;          // where this edit's mesh goes, chosen at editBegin
  uint64_t pointIdBase_ = 1;          // the ID of point 0
  uint64_t pointRoom_ = UINTPTR_MAX;  // how many points there are IDs for, from point 0
};

}  // namespace standin
