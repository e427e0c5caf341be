// An animated USD layer, streamed in flat memory: the stage's time metadata, prims under the root
// Xform "chains", and attributes whose values are time samples, one frame after another, each
// frame's values as they are put; as text (.usda) here, as the binary crate in
// usd/time_samples_usdc.h. The file is written beside its name and committed by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/output_file.h"

namespace dustweave {

// The stage's metadata; no time codes when the layer holds no frame (lastFrame < firstFrame).
struct AnimatedStage {
  double metersPerUnit = 1;
  double framesPerSecond = 24;
  int64_t firstFrame = 0, lastFrame = -1;
};

// The layer as its writer is told it, in this order: BeginLayer, then each prim with its
// attributes, then Complete. A writer takes an attribute's arrays either within its samples
// (AttributeAfterAttribute: BeginSamples, each frame's array, EndSamples) or after every prim is
// told (FrameAfterFrame: the samples declared with nothing between Begin and End, then each
// frame with the arrays of every attribute); attributes are numbered in their BeginSamples order.
class TimeSampledLayer {
 public:
  enum class Order { AttributeAfterAttribute, FrameAfterFrame };
  virtual ~TimeSampledLayer() = default;
  virtual Order order() const { return Order::AttributeAfterAttribute; }
  virtual bool Open(const std::string& path, std::string* error) = 0;
  virtual void BeginLayer(const AnimatedStage& stage) = 0;
  virtual void BeginPrim(const char* type, const char* name) = 0;
  virtual void UniformToken(const char* name, const char* value) = 0;
  // One value for every time, of an attribute of one float (the widths), with its interpolation.
  virtual void ConstantFloat(const char* name, float value, const char* interpolation) = 0;
  // An attribute's time samples. Its type is one of point3f[], vector3f[], color3f[]
  // (PutVector), int[], int64[] (PutInteger).
  virtual void BeginSamples(const char* type, const char* name, const char* interpolation = nullptr) = 0;
  // A frame: AttributeAfterAttribute, the array of the attribute whose samples are open;
  // FrameAfterFrame, the arrays of every attribute, counts[a] elements of attribute a, each
  // attribute's values in order but the attributes' put in any order.
  virtual void BeginFrame(int64_t frame, const std::vector<uint64_t>& counts) = 0;
  virtual void PutVector(size_t attribute, const float xyz[3]) = 0;
  // `count` vectors, x, y, z one after another.
  virtual void PutVectors(size_t attribute, const float* xyz, size_t count) {
    for (size_t i = 0; i < count; ++i) PutVector(attribute, xyz + 3 * i);
  }
  virtual void PutInteger(size_t attribute, int64_t value) = 0;
  virtual void EndFrame() = 0;
  virtual void EndSamples() = 0;
  virtual void EndPrim() = 0;
  // Ends the layer and writes what is left; false, with a one-line reason, for a failed write.
  virtual bool Complete(std::string* error) = 0;
  // Removes what was written: the final name is never touched.
  virtual void Abandon() { out_.Abandon(); }
  OutputFile& file() { return out_; }

 protected:
  OutputFile out_;
};

class TimeSamplesUsda : public TimeSampledLayer {
 public:
  bool Open(const std::string& path, std::string* error) override;
  void BeginLayer(const AnimatedStage& stage) override;
  void BeginPrim(const char* type, const char* name) override;
  void UniformToken(const char* name, const char* value) override;
  void ConstantFloat(const char* name, float value, const char* interpolation) override;
  // A primvar's interpolation is declared before its samples.
  void BeginSamples(const char* type, const char* name, const char* interpolation = nullptr) override;
  void BeginFrame(int64_t frame, const std::vector<uint64_t>& counts) override;
  void PutVector(size_t attribute, const float xyz[3]) override;
  void PutInteger(size_t attribute, int64_t value) override;
  void EndFrame() override;
  void EndSamples() override;
  void EndPrim() override;
  bool Complete(std::string* error) override;

 private:
  void Text(const char* text);
  void Separate();
  void Flush();

  std::string text_;
  bool firstValue_ = true, firstPrim_ = true;
};

}  // namespace dustweave
