// The chains as USD text (.usda), streamed with flat memory: a BasisCurves prim of linear curves,
// one a chain, with vertex widths, colours (the chain ramp), places and chain numbers, and a Points
// prim of the chains' start points, on a Y-up stage.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/output_file.h"
#include "platform/block_writer.h"
#include "writers/chain_window.h"
#include "writers/spooled_part.h"
#include "writers/mesh_file_writer.h"

namespace dustweave {

// The curves' widths narrow to nothing at each chain's end with taper; primvars:displayColor is
// the .glb's COLOR_0 (linear), primvars:u the place along the chain (0 to 1), primvars:chain the
// chain's number (from 0).
class UsdaWriter : public MeshFileWriter {
 public:
  // `width`: the curves' width at a chain's start (and everywhere without `taper`).
  UsdaWriter(double width, bool taper);
  ~UsdaWriter() override;
  UsdaWriter(const UsdaWriter&) = delete;
  UsdaWriter& operator=(const UsdaWriter&) = delete;

  bool Open(const std::string& path, std::string* error) override;
  void AddPoint(uint64_t number, const double position[3]) override;
  // Two-point polygons join chains; one-point polygons are start points; others are left out.
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  bool Complete(std::string* error) override;
  OutputFile& file() override { return out_; }
  uint64_t bytesMade() const override;

  uint64_t curves() const { return curves_; }
  uint64_t leftOut() const { return leftOut_; }

 private:
  // Each array's text, in the order they lie in the file.
  enum Part { Counts, Points, Widths, Colours, Places, Chains, Dots, PARTS };
  void TakePoint(const ChainPoint& point, const ChainPoint* before, const ChainPoint* after);
  void PutPosition(SpooledPart& part, const double position[3], bool extend);
  void CloseChain(uint64_t length, bool single);
  void MakeChainText(uint64_t length, bool single);
  void Put(Part part, const char* text, size_t size);

  double width_;
  bool taper_;
  OutputFile out_;
  BlockWriter behind_{out_};
  std::array<std::unique_ptr<SpooledPart>, PARTS> parts_;
  std::unique_ptr<ChainWindow> window_;
  uint64_t points_ = 0, curves_ = 0, dots_ = 0, leftOut_ = 0;
  uint64_t chainLength_ = 0;  // the open chain's vertices so far
  uint64_t headBytes_ = 0;    // the text before the curves' points
  double low_[3], high_[3];   // the curves' points' bounds; the start points lie on them
  // The widths', colours' and places' text of a chain of `textLength_` vertices: the runs of a
  // simulation mostly make chains of one length, whose text is then copied.
  std::array<std::string, 3> chainText_;
  uint64_t textLength_ = 0;
  bool textSingle_ = false;  // that text is a chain of one point's
};

}  // namespace dustweave
