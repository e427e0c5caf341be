// The one check of the numbers every output holds: each position of the mesh, and what is drawn
// around it (a tube's ring, a curve's width, the extents and bounds that hold them), must be a
// finite 32-bit float, the only numbers every format written here and every reader of them takes.
// A guard sink stands in front of all of a command's outputs and stops the mesh at the first
// position that fails, saying which.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "standin/mesh_sink.h"

namespace dustweave {

class NumberGuard : public standin::MeshSink {
 public:
  // `next` takes the mesh while every position passes. `width`: the width drawn around each point
  // (the tubes' or the curves'), whose half must fit beside it; 0 for lines. `widthOption`: the
  // option that gave it ("--width"), which the refusal names; empty when it was chosen from the
  // particles' spacing, which the refusal says.
  NumberGuard(standin::MeshSink* next, double width, std::string widthOption = "");
  // How the refusal names the point that fails ("point 9", from 1, when not set).
  void NamePointsBy(std::function<std::string(uint64_t number)> name) { name_ = std::move(name); }

  void AddPoint(uint64_t number, const double position[3]) override {
    ++points_;
    // The three comparisons joined as integers (&, not &&): no branch for each coordinate, and
    // no warning from clang for & on booleans.
    int fits = int{Magnitude(position[0]) <= limit_} & int{Magnitude(position[1]) <= limit_} &
               int{Magnitude(position[2]) <= limit_};
    if (refusal_) return;
    if (!fits) return Refuse(number, position);
    double largest = Largest(position);
    if (largest > largest_) NoteLargest(number, position, largest);
    next_->AddPoint(number, position);
  }
  void AddPolygon(const char* surface, int count, const int64_t* points) override {
    ++polygons_;
    if (!refusal_) next_->AddPolygon(surface, count, points);
  }

  // The width chosen only once the mesh is made (USD's one width, read from the input during the
  // run): the point that reaches farthest is refused, as it would have been, when the width
  // drawn around it passes the largest float.
  void WidthAtEnd(double width);

  // Why the mesh was stopped ("point 12 has the coordinate inf, ..."); none while it flows.
  const std::optional<std::string>& refusal() const { return refusal_; }
  // The refusal is of a coordinate that is no finite number, whatever the width.
  bool refusedNonFinite() const { return nonFinite_; }
  // The points and polygons the mesh came with, refused or not.
  uint64_t points() const { return points_; }
  uint64_t polygons() const { return polygons_; }

 private:
  static double Magnitude(double value) { return value < 0 ? -value : value; }  // NaN stays NaN
  static double Largest(const double position[3]) {
    double a = Magnitude(position[0]), b = Magnitude(position[1]), c = Magnitude(position[2]);
    return a > b ? (a > c ? a : c) : (b > c ? b : c);
  }
  void NoteLargest(uint64_t number, const double position[3], double largest);
  void Refuse(uint64_t number, const double position[3]);

  standin::MeshSink* next_;
  double reach_;  // half the width
  double limit_;  // the largest magnitude a coordinate may have with the reach around it
  std::string widthOption_;
  std::function<std::string(uint64_t)> name_;
  std::optional<std::string> refusal_;
  bool nonFinite_ = false;
  uint64_t points_ = 0, polygons_ = 0;
  double largest_ = -1;  // the largest magnitude of a point passed on: that point's number and place
  uint64_t largestNumber_ = 0;
  double largestPosition_[3] = {0, 0, 0};
};

}  // namespace dustweave
