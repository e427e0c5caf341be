// The points of the chain being made, held until it closes, for what is drawn only once a chain's
// length is known (a tapered tube's rings): the first ones in memory, the rest in a scratch file
// beside the output, so that a chain of any length takes flat memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/output_file.h"
#include "writers/chain_window.h"

namespace dustweave {

class ChainHold {
 public:
  static constexpr size_t IN_MEMORY = 1 << 14;  // points held in memory (32 bytes each)

  explicit ChainHold(size_t inMemory = IN_MEMORY) : inMemory_(inMemory > 0 ? inMemory : 1) {}

  // Empty; a chain longer than memory holds goes to a scratch file beside `outputPath`. Without
  // a path, every point is held in memory.
  void Start(const std::string& outputPath);
  void Add(const ChainPoint& point);
  uint64_t size() const { return memory_.size() + spilled_ + pending_.size(); }
  // Hands each held point on in order (its number and position), then holds none.
  template <typename Each>
  void Replay(Each each);
  // Why a scratch file failed; empty while none has.
  std::string failure() const { return failure_.empty() && scratch_.failed() ? scratch_.reason() : failure_; }

 private:
  struct Held {
    uint64_t number;
    double position[3];
  };
  void Spill();
  size_t ReadBack(uint64_t from, size_t count);

  size_t inMemory_;
  std::string outputPath_;
  std::vector<Held> memory_;
  std::vector<Held> pending_;  // points past memory, written to the scratch file a block at a time
  uint64_t spilled_ = 0;       // points in the scratch file
  OutputFile scratch_;
  std::string failure_;  // kept from a scratch file abandoned since
};

template <typename Each>
void ChainHold::Replay(Each each) {
  ChainPoint point;
  auto handOn = [&](const Held& held) {
    point.number = held.number;
    for (int i = 0; i < 3; ++i) point.position[i] = held.position[i];
    each(point);
  };
  for (const Held& held : memory_) handOn(held);
  for (uint64_t from = 0; from < spilled_;) {
    size_t got = ReadBack(from, inMemory_);
    for (size_t i = 0; i < got; ++i) handOn(memory_[i]);
    from += got;
    if (got == 0) break;  // a failed read: the scratch file says why
  }
  for (const Held& held : pending_) handOn(held);
  memory_.clear();
  pending_.clear();
  if (spilled_ > 0) {  // a scratch file is left for no longer than its chain
    if (failure_.empty() && scratch_.failed()) failure_ = scratch_.reason();
    scratch_.Abandon();
  }
  spilled_ = 0;
}

}  // namespace dustweave
