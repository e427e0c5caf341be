// The base of the two USD writers (text, binary crate): the prims and attributes the layer holds,
// and the arrays made as the mesh streams in, each in a part of its own
// (writers/spooled_part.h), the curves' points straight into the output. A writer of one
// encoding puts each value into its part and lays the layer out at the end.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/block_writer.h"
#include "platform/output_file.h"
#include "writers/chain_shape.h"
#include "writers/chain_window.h"
#include "writers/mesh_file_writer.h"
#include "writers/spooled_part.h"

namespace dustweave {

// The arrays made as the mesh streams in, in the order they lie in a file.
enum UsdPart {
  CurvePoints, Colours, Places, Widths, Counts, CurveChains, CurveFrames, SinglePoints, SingleChains, SingleFrames, Starts,
  USD_PARTS
};

// One attribute: its values are a part's, or a few known at the end (`values`, `token`).
struct UsdAttribute {
  std::string type;                  // its USD type name: "point3f[]", "int[]", "float[]", "color3f[]", "float3[]", "token"
  std::string name;
  const char* interpolation = nullptr;  // a primvar's (and the widths') interpolation
  bool uniform = false;
  int part = -1;                     // the part holding its values, or -1
  uint64_t count = 0;                // its elements (a point is one)
  std::vector<float> values;         // without a part: every element's floats
  const char* token = nullptr;       // a token's value

  bool vector3() const { return type.find('3') != std::string::npos; }
  bool integers() const { return type == "int[]"; }
};

struct UsdPrim {
  const char* type;
  const char* name;
  std::vector<UsdAttribute> attributes;
};

// The layer: the stage's metadata and the prims under the root Xform "chains". Time codes are
// frames: with a rate, the layer says it (timeCodesPerSecond and framesPerSecond), and the
// frames of its points (startTimeCode, endTimeCode) where it has any.
struct UsdLayer {
  std::string doc;
  double metersPerUnit = 1;
  double framesPerSecond = 0;  // 0: no time
  FrameRange frames;
  std::vector<UsdPrim> prims;
};

// What a layer says of time: the rate of its frames, where its points' frames come from (for
// its start and end), and whether each point's frame is a primvar too.
struct UsdTime {
  double framesPerSecond = 24;
  PointFrames* frames = nullptr;  // none: the layer says nothing of time
  bool primvar = false;           // primvars:frame, a vertex of the curves and of "singles"
};

// A chain's values are made this many vertices at a time; a chain up to this long keeps them
// (and an encoding what it made of them) for the next chain of its length.
constexpr uint64_t USD_CACHED_LENGTH = 1 << 14;

// The bounds of a prim's points.
struct PointBounds {
  double low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
  void Take(const double position[3]) {
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = position[axis] < low[axis] ? position[axis] : low[axis];
      high[axis] = position[axis] > high[axis] ? position[axis] : high[axis];
    }
  }
};

// The widths (with taper), linear colours and places of a chain's vertices `from` on (at most
// USD_CACHED_LENGTH of them), one a vertex, as float32s. A smoothed curve's first and last vertex
// stand again beyond its ends, with their values.
struct ChainValues {
  uint64_t length = 0, from = 0;
  uint64_t made = 0;  // counts each new set of values, so an encoding can keep what it made of them
  std::vector<float> widths, colours, places;
};

class UsdLayerWriter : public MeshFileWriter {
 public:
  // `width`: the curves' and points' width (at its fullest along a tapered chain); 0 untapered:
  // the one SetWidth gives before the end, where the width is written. `shape`: tapered widths, and smoothed curves (cubic
  // Catmull-Rom through the chain's points, each end point given twice so that the curve reaches
  // it). `metersPerUnit`: the stage's unit, the positions' as given.
  UsdLayerWriter(double width, ChainShape shape, double metersPerUnit, UsdTime time = {});
  ~UsdLayerWriter() override;

  bool Open(const std::string& path, std::string* error) override;
  void AddPoint(uint64_t number, const double position[3]) override;
  // Two-point polygons join chains; one-point polygons are start points; others are left out.
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // False, with a one-line reason, for chains past USD's 32-bit integers, a point without a frame
  // and a failed write.
  bool Complete(std::string* error) override;
  OutputFile& file() override { return out_; }
  uint64_t bytesMade() const override;
  // "200 curves of 5,200 vertices, 200 start points" and the chains of one point drawn as points.
  std::string Holds() const override;
  void SetWidth(double width) override { width_ = width; }
  FrameRange framesWritten() const override { return feed_ ? feed_->range() : FrameRange(); }

  uint64_t curves() const { return curves_; }
  uint64_t leftOut() const { return leftOut_; }

 protected:
  // What an encoding writes: each kind of value into its part, the file's start (giving where the
  // curves' points begin), and the whole layer at the end around the parts.
  virtual void PutPosition(UsdPart part, const double position[3]) = 0;
  virtual void PutInteger(UsdPart part, int64_t value) = 0;
  virtual void PutChain(const ChainValues& values) = 0;
  virtual uint64_t StartFile() = 0;
  virtual void WriteLayer(const UsdLayer& layer) = 0;
  // The layer as it stands; `opening`: with the curves' prim whether or not a curve was made.
  UsdLayer Describe(bool opening) const;

  SpooledPart& part(int index) { return *parts_[static_cast<size_t>(index)]; }
  bool taper() const { return shape_.taper != Taper::None; }
  bool smoothed() const { return shape_.smoothed(); }
  OutputFile out_;
  BlockWriter behind_{out_};

 private:
  // Hands each point on to TakePoint directly, not through a std::function.
  struct Take {
    UsdLayerWriter* layer;
    void operator()(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after) const {
      layer->TakePoint(point, before, after);
    }
  };
  void TakePoint(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after);
  void PutCurveVertex(const ChainPoint& point);
  void CloseChain();
  const ChainValues& ValuesOf(uint64_t length, uint64_t from);

  double width_;  // given, or set at the end
  ChainShape shape_;
  double metersPerUnit_;
  UsdTime time_;
  std::unique_ptr<FrameFeed> feed_;  // the points' frames, given a source
  std::array<std::unique_ptr<SpooledPart>, USD_PARTS> parts_;
  std::unique_ptr<BasicChainWindow<Take>> window_;
  uint64_t vertices_ = 0, curves_ = 0, singles_ = 0, starts_ = 0, chains_ = 0, leftOut_ = 0;
  uint64_t chainLength_ = 0;  // the open chain's vertices so far
  uint64_t longest_ = 0;
  PointBounds curveBounds_, singleBounds_, startBounds_;
  ChainValues values_;
};

}  // namespace dustweave
