// Where the stand-in host sends the mesh as the module builds it: one call per addPoint and per
// addFace, in creation order, so that a writer can stream the mesh to a file and hold nothing of
// it. The host keeps only counts when a sink is given; a MeshRecord is the in-memory alternative.
// FanOutSink hands the same mesh to several sinks (an output file and its preview, say).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace standin {

class MeshSink {
 public:
  virtual ~MeshSink() = default;
  // The point numbered `number` (0-based, in creation order) at the position the module passed.
  virtual void AddPoint(uint64_t number, const double position[3]) = 0;
  // A polygon on `surface` (never null) of `count` points given as 0-based point numbers, in the
  // order the module passed them; -1 stands for an ID that this run never made.
  virtual void AddPolygon(const char* surface, int count, const int64_t* points) = 0;
};

// Forwards every call to each of its sinks, in the order they were given.
class FanOutSink : public MeshSink {
 public:
  FanOutSink() = default;
  FanOutSink(std::initializer_list<MeshSink*> sinks) : sinks_(sinks) {}
  void Add(MeshSink* sink) { sinks_.push_back(sink); }
  bool empty() const { return sinks_.empty(); }
  // The sink to hand the host: the only one itself, so that one output costs no second call.
  MeshSink* Entry() { return sinks_.size() == 1 ? sinks_.front() : this; }

  void AddPoint(uint64_t number, const double position[3]) override {
    for (MeshSink* sink : sinks_) sink->AddPoint(number, position);
  }
  void AddPolygon(const char* surface, int count, const int64_t* points) override {
    for (MeshSink* sink : sinks_) sink->AddPolygon(surface, count, points);
  }

 private:
  std::vector<MeshSink*> sinks_;
};

}  // namespace standin
