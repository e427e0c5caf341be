// A text output made in one large block that goes to the file (through a BlockWriter) whole when
// full: the OBJ writers format their lines straight into it, with room reserved first, and their
// `usemtl` lines through PutSurfaceLine.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/output_file.h"
#include "platform/block_writer.h"
#include "platform/file_handle.h"
#include "writers/last_surface.h"

namespace dustweave {

class TextBlock {
 public:
  explicit TextBlock(OutputFile& file) : file_(file), block_(new char[WRITE_BLOCK_SIZE]) {}

  void Clear() { used_ = 0; }
  // Where to write at most `size` bytes (at most the block's size); End says where they stopped.
  char* Room(size_t size) {
    if (used_ + size > WRITE_BLOCK_SIZE) {
      behind_.Append(block_, WRITE_BLOCK_SIZE, used_);
      used_ = 0;
    }
    return block_.get() + used_;
  }
  void End(const char* at) { used_ = static_cast<size_t>(at - block_.get()); }
  // Appends text of any length.
  void Put(const char* text, size_t size) {
    while (size > 0) {
      char* at = Room(1);
      size_t part = std::min(size, WRITE_BLOCK_SIZE - used_);
      std::memcpy(at, text, part);
      used_ += part;
      text += part;
      size -= part;
    }
  }
  void Put(const std::string& text) { Put(text.data(), text.size()); }
  // The file's size so far, with what waits in the block.
  uint64_t bytesMade() const { return file_.size() + used_; }
  // Writes what waits and every block before it; false, with the file's reason and the file
  // abandoned, when a write failed.
  bool Close(std::string* error) {
    behind_.Append(block_, WRITE_BLOCK_SIZE, used_);
    used_ = 0;
    if (behind_.Drain()) return true;
    *error = file_.reason();
    file_.Abandon();
    return false;
  }

 private:
  OutputFile& file_;
  BlockWriter behind_{file_};
  std::unique_ptr<char[]> block_;
  size_t used_ = 0;
};

// OBJ's `usemtl` line before a polygon whose surface differs from the last one written; a line
// break in the name would start a line of its own, so it is written as a space.
inline void PutSurfaceLine(TextBlock& text, LastSurface& last, const char* surface) {
  if (last.Is(surface) || !last.Take(surface)) return;
  std::string line = "usemtl " + last.name() + "\n";
  for (size_t i = 7; i + 1 < line.size(); ++i) {
    if (line[i] == '\n' || line[i] == '\r') line[i] = ' ';
  }
  text.Put(line);
}

}  // namespace dustweave
