// Holding a chain's points: in memory up to a bound, then written behind one another to the
// scratch file, and read back from it a memory's worth at a time.
#include "writers/chain_hold.h"

#include <algorithm>
#include <cstring>

namespace dustweave {

namespace {

constexpr size_t SPILL_POINTS = 1 << 12;  // points written to the scratch file at a time

}  // namespace

void ChainHold::Start(const std::string& outputPath) {
  outputPath_ = outputPath;
  memory_.clear();
  pending_.clear();
  spilled_ = 0;
  scratch_.Abandon();
  failure_.clear();
}

void ChainHold::Add(const ChainPoint& point) {
  Held held{point.number, {point.position[0], point.position[1], point.position[2]}};
  if (memory_.size() < inMemory_ || outputPath_.empty()) return memory_.push_back(held);
  pending_.push_back(held);
  if (pending_.size() == SPILL_POINTS) Spill();
}

void ChainHold::Spill() {
  std::string ignored;  // a failure stays with the scratch file, and failure() says it
  if (spilled_ == 0) scratch_.Create(outputPath_, &ignored);
  scratch_.WriteAt(spilled_ * sizeof(Held), pending_.data(), pending_.size() * sizeof(Held));
  spilled_ += pending_.size();
  pending_.clear();
}

// Up to `count` spilled points from `from` on into memory_ (whose points were handed on): how
// many were read.
size_t ChainHold::ReadBack(uint64_t from, size_t count) {
  size_t want = static_cast<size_t>(std::min<uint64_t>(count, spilled_ - from));
  memory_.resize(want);
  char* into = reinterpret_cast<char*>(memory_.data());
  size_t done = 0, bytes = want * sizeof(Held);
  while (done < bytes && !scratch_.failed()) {
    size_t got = 0;
    if (SystemError failure = scratch_.handle().ReadAt(from * sizeof(Held) + done, into + done, bytes - done, &got)) {
      scratch_.Fail(failure);
    } else if (got == 0) {
      scratch_.Fail(SYSTEM_IO_ERROR);  // the scratch file ends before its points: said, not skipped
    }
    done += got;
  }
  return done / sizeof(Held);
}

}  // namespace dustweave
