// An animated USD text layer (.usda), streamed in flat memory: the stage's time metadata, prims
// under the root Xform "chains", and attributes whose values are time samples, one frame after
// another, each frame's values as they are put. The text goes out in blocks through the output
// file, written beside its name and committed by the caller.
#pragma once

#include <cstdint>
#include <string>

#include "platform/output_file.h"

namespace dustweave {

// The stage's metadata; no time codes when the layer holds no frame (lastFrame < firstFrame).
struct AnimatedStage {
  double metersPerUnit = 1;
  double framesPerSecond = 24;
  int64_t firstFrame = 0, lastFrame = -1;
};

class TimeSamplesUsda {
 public:
  bool Open(const std::string& path, std::string* error);
  void BeginLayer(const AnimatedStage& stage);
  void BeginPrim(const char* type, const char* name);
  void UniformToken(const char* name, const char* value);
  // One value for every time, of an attribute of one float (the widths), with its interpolation.
  void ConstantFloat(const char* name, float value, const char* interpolation);
  // An attribute's time samples: Begin, then each frame's values between BeginFrame and EndFrame.
  // A primvar's interpolation is declared before its samples.
  void BeginSamples(const char* type, const char* name, const char* interpolation = nullptr);
  void BeginFrame(int64_t frame);
  void PutVector(const float xyz[3]);
  void PutFloat(float value);
  void PutInteger(int64_t value);
  void EndFrame();
  void EndSamples();
  void EndPrim();
  // Ends the layer and writes what is left; false, with a one-line reason, for a failed write.
  bool Complete(std::string* error);

  OutputFile& file() { return out_; }
  uint64_t bytesMade() const { return out_.size() + text_.size(); }

 private:
  void Text(const char* text);
  void Separate();
  void Flush();

  OutputFile out_;
  std::string text_;
  bool firstValue_ = true, firstPrim_ = true;
};

}  // namespace dustweave
