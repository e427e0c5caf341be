// The chains as a USD crate file (.usdc, the binary layer), streamed with flat memory: the layer
// of usd/layer_writer.h with every array's values as the float32s and int32s the crate holds, the
// curves' points straight into the output behind the bootstrap, the other arrays spooled beside
// it and copied in where usd/crate_layout.h puts them at the end, then the structure, and the
// bootstrap last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "usd/crate_layout.h"
#include "usd/crate_sections.h"
#include "usd/layer_writer.h"

namespace dustweave {

class UsdcWriter : public UsdLayerWriter {
 public:
  UsdcWriter(double width, ChainShape shape, double metersPerUnit = 1, UsdTime time = {})
      : UsdLayerWriter(width, shape, metersPerUnit, time) {}
  // With the run's point count known before the first, the arrays of a value a vertex are
  // written in place where the layout puts them behind that many curve points. A wrong count
  // costs only speed: the file is the same. Smoothed curves are never placed: their vertices
  // are the points and two more a curve, and the curves are not known before the run.
  void ExpectPoints(uint64_t count) override;

 private:
  void PutPosition(UsdPart part, const double position[3]) override;
  void PutInteger(UsdPart part, int64_t value) override;
  void PutChain(const ChainValues& values) override;
  uint64_t StartFile() override;
  void WriteLayer(const UsdLayer& layer) override;

  void Unplace();
  void PutFloats(UsdPart part, const std::vector<float>& values);
  uint64_t Value(const std::string& bytes, size_t alignment = 1);
  uint64_t ArrayOf(const UsdAttribute& attribute, const CrateLayout& layout);
  uint64_t Tokens(CrateSections& crate, const std::vector<std::string>& names);
  uint64_t Double(double value);
  void AddPrim(CrateSections& crate, const UsdPrim& prim, uint32_t parent, const CrateLayout& layout);

  uint64_t at_ = 0;  // where the next value goes
  std::optional<uint64_t> placedFor_;  // the curve points the placed parts have room behind
  uint64_t pointsRoom_ = UINT64_MAX;   // their bytes; none while nothing is placed
};

}  // namespace dustweave
