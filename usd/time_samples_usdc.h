// An animated USD layer as the binary crate (.usdc, version 0.7.0), streamed in flat memory: each
// attribute's time samples (a value rep a frame, filled in as the frames end, and its times), then
// each frame's array as its values come (8-byte aligned, led by its element count), and the
// structure (usd/crate_sections.h) and the bootstrap at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "usd/crate_sections.h"
#include "usd/time_samples_usda.h"

namespace dustweave {

class TimeSamplesUsdc : public TimeSampledLayer {
 public:
  bool Open(const std::string& path, std::string* error) override;
  void BeginLayer(const AnimatedStage& stage) override { stage_ = stage; }
  void BeginPrim(const char* type, const char* name) override;
  void UniformToken(const char* name, const char* value) override;
  void ConstantFloat(const char* name, float value, const char* interpolation) override;
  void BeginSamples(const char* type, const char* name, const char* interpolation = nullptr) override;
  void BeginFrame(int64_t frame) override;
  void PutVector(const float xyz[3]) override;
  void PutInteger(int64_t value) override;
  void EndFrame() override;
  void EndSamples() override {}
  void EndPrim() override {}
  bool Complete(std::string* error) override;

 private:
  struct Attribute {
    std::string type, name;
    const char* interpolation;
    bool uniform;
    uint64_t value;  // its value rep: the default, or the time samples
    bool timeSampled;
  };
  struct Prim {
    std::string type, name;
    std::vector<Attribute> attributes;
  };
  void Put(const void* bytes, size_t size);
  void PutBack(uint64_t at, const void* bytes, size_t size);
  uint64_t Aligned();  // the next 8-byte boundary, where a value begins
  void Flush();
  uint64_t Double(double value);

  AnimatedStage stage_;
  CrateSections crate_;
  std::vector<Prim> prims_;
  std::string block_;       // the bytes from blockAt_ on, not yet written
  uint64_t blockAt_ = 0;
  CrateType elementType_ = CrateType::Float;
  uint64_t repsAt_ = 0;  // the open attribute's value reps, a frame each
  int64_t frame_ = 0;
  uint64_t countAt_ = 0, elements_ = 0;
};

}  // namespace dustweave
