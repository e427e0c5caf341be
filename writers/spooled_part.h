// One part of a .glb's binary chunk that is made as the mesh streams by but lies behind the
// positions (the line indices, the point indices, each chain attribute): its values are gathered
// in a block and handed on a block at a time. Plainly they are spooled to a scratch file beside
// the output, made when the first block fills (so a small mesh makes none), and copied in behind
// the positions at the end. Placed (the writer's one speed trick, see GlbWriter::ExpectPoints),
// its blocks go straight into the output from where the part will lie; Unplace is the way back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/block_writer.h"
#include "platform/output_file.h"

namespace dustweave {

class SpooledPart {
 public:
  explicit SpooledPart(size_t blockSize) : block_(new char[blockSize]), capacity_(blockSize) {}

  // Empty and spooled, its scratch file beside `outputPath` when one is needed.
  void Start(const std::string& outputPath);
  // From now on its blocks go into `out` (through `behind`) from offset `at` on.
  void Place(OutputFile& out, BlockWriter& behind, uint64_t at);
  // What was placed moves to the scratch file, where the rest will go.
  void Unplace();
  bool placed() const { return target_ != nullptr && target_ != &scratch_; }

  template <typename T>
  void Put(const T& value) {
    if (used_ + sizeof value > capacity_) HandOn();
    std::memcpy(block_.get() + used_, &value, sizeof value);
    used_ += sizeof value;
  }
  // `size` bytes, at most a block's.
  void PutBytes(const char* bytes, size_t size) {
    if (used_ + size > capacity_) HandOn();
    std::memcpy(block_.get() + used_, bytes, size);
    used_ += size;
  }
  // Room for up to `size` bytes (at most a block's) written in place, then kept by Advance: for
  // text made straight into the block rather than copied in.
  char* Room(size_t size) {
    if (used_ + size > capacity_) HandOn();
    return block_.get() + used_;
  }
  void Advance(size_t size) { used_ += size; }
  uint64_t size() const { return handedOn_ + used_; }

  // Puts the whole part into `out` at offset `at`: a placed part must have been placed there, and
  // only its last block is left to write; a spooled one is copied in. False when a write failed.
  bool WriteTo(OutputFile& out, BlockWriter& behind, uint64_t at);
  // Forgets every value and removes the scratch file.
  void Drop();

 private:
  bool OpenScratch();
  void HandOn();

  std::unique_ptr<char[]> block_;
  size_t capacity_;
  size_t used_ = 0;
  uint64_t handedOn_ = 0;         // bytes handed on from the block
  std::string outputPath_;
  OutputFile* target_ = nullptr;  // null until the first block: the scratch file is made then
  BlockWriter* behind_ = nullptr;
  uint64_t base_ = 0;             // where in `target_` the first block went
  OutputFile scratch_;
  std::unique_ptr<BlockWriter> scratchBehind_;
};

}  // namespace dustweave
