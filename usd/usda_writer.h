// The chains as USD text (.usda), streamed with flat memory: the layer of usd/layer_writer.h, each
// array's values as text in its part, the curves' points made text on two threads
// (writers/batched_text.h) straight into the output behind the stage's head, and the other parts
// copied in behind them at the end.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "usd/layer_writer.h"
#include "writers/batched_text.h"

namespace dustweave {

class UsdaWriter : public UsdLayerWriter {
 public:
  UsdaWriter(double width, ChainShape shape, double metersPerUnit = 1, UsdTime time = {});
  uint64_t bytesMade() const override { return UsdLayerWriter::bytesMade() + points_.bytesMade(); }

 private:
  void PutPosition(UsdPart part, const double position[3]) override;
  void PutInteger(UsdPart part, int64_t value) override;
  void PutChain(const ChainValues& values) override;
  uint64_t StartFile() override;
  void WriteLayer(const UsdLayer& layer) override;

  void Put(int part, const char* text, size_t size);
  void PutSeparated(int part, const std::string& text);
  uint64_t Render(const UsdLayer& layer, bool headOnly);
  void Text(const std::string& text);

  // The widths', colours' and places' text of the chain values made `textMade_`, each value led
  // by ", ".
  std::array<std::string, 3> chainText_;
  uint64_t textMade_ = 0;
  uint64_t at_ = 0;  // where the layer's text goes on
  BatchedText points_;                // the curves' points, behind the head
  uint64_t curvePoints_ = 0, headBytes_ = 0;
};

}  // namespace dustweave
