// Full blocks of an output written behind the caller's back: on a second thread where one can be
// started, so that the system's copy overlaps the making of the next block; at once elsewhere.
// Each block goes to its own offset in one OutputFile; a failed write is handed to the file (and
// so reported) with the next block, not only at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/output_file.h"

namespace dustweave {

class BlockWriter {
 public:
  explicit BlockWriter(OutputFile& file);
  ~BlockWriter();  // waits for every block handed over
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // Writes the `size` bytes of `block` (of `capacity` bytes) at `offset`, and gives back in
  // `block` an empty one of the same capacity to fill next. False once a write has failed.
  bool Write(uint64_t offset, std::unique_ptr<char[]>& block, size_t capacity, size_t size);
  // As Write, at the end of the file.
  bool Append(std::unique_ptr<char[]>& block, size_t capacity, size_t size) {
    return Write(file_.ClaimEnd(size), block, capacity, size);
  }
  // Waits until every block handed over is written; false when one failed.
  bool Drain();

 private:
  struct Thread;
  OutputFile& file_;
  std::unique_ptr<Thread> thread_;
  bool atOnce_ = false;  // no thread could be started: each block is written as it comes
};

}  // namespace dustweave
