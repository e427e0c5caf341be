// Where the stand-in host sends the mesh as the module builds it: one call per addPoint and per
// addFace, in creation order, so that a writer can stream the mesh to a file and hold nothing of
// it. The host keeps only counts when a sink is given; a MeshRecord is the in-memory alternative.
#pragma once

#include <cstdint>

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

}  // namespace standin
