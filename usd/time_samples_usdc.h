// An animated USD layer as the binary crate (.usdc, version 0.7.0), streamed in flat memory: each
// attribute's time samples (a value rep a frame, filled in a batch of frames at a time, and its
// times), then frame after frame the arrays of every attribute (8-byte aligned, led by their
// element counts), and the structure (usd/crate_sections.h) and the bootstrap at the end. Full
// blocks are written on a second thread; a write at an earlier offset waits for them first.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/block_writer.h"
#include "usd/crate_sections.h"
#include "usd/time_samples_usda.h"

namespace dustweave {

class TimeSamplesUsdc : public TimeSampledLayer {
 public:
  Order order() const override { return Order::FrameAfterFrame; }
  bool Open(const std::string& path, std::string* error) override;
  void BeginLayer(const AnimatedStage& stage) override { stage_ = stage; }
  void BeginPrim(const char* type, const char* name) override;
  void UniformToken(const char* name, const char* value) override;
  void ConstantFloat(const char* name, float value, const char* interpolation) override;
  void BeginSamples(const char* type, const char* name, const char* interpolation = nullptr) override;
  void BeginFrame(int64_t frame, const std::vector<uint64_t>& counts) override;
  void PutVector(size_t attribute, const float xyz[3]) override { ToArray(attribute, xyz, 12); }
  void PutVectors(size_t attribute, const float* xyz, size_t count) override { ToArray(attribute, xyz, 12 * count); }
  void PutInteger(size_t attribute, int64_t value) override;
  void EndFrame() override;
  void EndSamples() override {}
  void EndPrim() override {}
  bool Complete(std::string* error) override;
  void Abandon() override;

 private:
  struct Attribute {
    std::string type, name;
    const char* interpolation;
    bool uniform;
    uint64_t value;  // its value rep: the default, or the time samples
    bool timeSampled;
  };
  // A time-sampled attribute: its element type and the reps of its frames, filled in a batch at a
  // time (REPS_A_PUT) so that a frame does not cost a write for each attribute.
  struct Sampled {
    CrateType element;
    uint64_t repsAt;       // its first frame's rep
    uint64_t pendingFrom;  // the frame, from the first, of pending's first rep
    std::vector<uint64_t> pending;
  };
  static constexpr size_t REPS_A_PUT = 4096;
  static constexpr size_t FRAME_ROOM = size_t{1} << 20;
  // Where an attribute's array of the open frame goes: its bytes from `at` in the file, put in
  // [next, end) of the block, where a frame that fits one is laid out whole, or of the array's
  // share of the room, written each time it is full, for a larger frame.
  struct FrameArray {
    uint64_t at = 0;
    char* begin = nullptr;
    char* next = nullptr;
    char* end = nullptr;
    uint64_t left = 0;  // bytes still to come, counted from the counts
  };
  struct Prim {
    std::string type, name;
    std::vector<Attribute> attributes;
  };
  void Put(const void* bytes, size_t size);
  void PutBack(uint64_t at, const void* bytes, size_t size);
  uint64_t Aligned();  // the next 8-byte boundary, where a value begins
  void Flush();
  void PutPendingReps(Sampled& sampled);
  void ToArray(size_t attribute, const void* bytes, size_t size) {
    FrameArray& array = arrays_[attribute];
    if (size > array.left) {
      miscounted_ = true;  // more than its count: left out, and the layer refused
      return;
    }
    array.left -= size;
    for (const char* from = static_cast<const char*>(bytes); size > 0;) {
      if (array.next == array.end) PutArrayPart(array);
      size_t part = std::min(size, static_cast<size_t>(array.end - array.next));
      std::memcpy(array.next, from, part);
      array.next += part, from += part, size -= part;
    }
  }
  void PutArrayPart(FrameArray& array);
  static uint64_t ElementSize(CrateType element);
  uint64_t Double(double value);

  AnimatedStage stage_;
  CrateSections crate_;
  std::vector<Prim> prims_;
  static constexpr size_t BLOCK_CAPACITY = WRITE_BLOCK_SIZE + 64;  // room past a block for the put that fills it
  std::unique_ptr<char[]> block_;  // the bytes from blockAt_ on, not yet written: held_ of them
  size_t held_ = 0;
  BlockWriter behind_{out_};  // full blocks are written while the next is made
  uint64_t blockAt_ = 0;
  std::vector<Sampled> sampled_;  // in the order their samples were begun
  std::vector<FrameArray> arrays_;  // the open frame's, an attribute each
  std::vector<char> room_;          // FRAME_ROOM bytes, for a frame larger than a block
  bool frameInBlock_ = false;
  uint64_t frameAt_ = 0, frameSize_ = 0;
  bool miscounted_ = false;
};

}  // namespace dustweave
