// Writing one output file safely: the bytes go to a temporary file beside the final name, which
// takes the final name only when Commit succeeds; an output that was not committed is removed,
// so nothing half-written is ever left under the name the user gave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace dustweave {

class OutputFile {
 public:
  OutputFile();
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside `path`; false, with a one-line reason naming `path`, when
  // it cannot be created (missing folder, no permission).
  bool Open(const std::string& path, std::string* error);
  // Appends bytes; a failure (disk full) is remembered and reported by Commit.
  void Write(const void* data, size_t size);
  // Appends a full block of `size` bytes and gives back in `block` an empty one of the same
  // `capacity` to fill next. Where the platform has threads the block is written behind the
  // caller's back on a second thread, so that the system's copy overlaps the caller's work;
  // elsewhere it is written now. Bytes reach the file in the order they were handed over.
  void WriteBehind(std::unique_ptr<char[]>& block, size_t capacity, size_t size);
  // Flushes, closes and renames to the final name; false, with a one-line reason, when any write
  // failed or the rename did not succeed (the temporary file is then removed).
  bool Commit(std::string* error);
  // Removes the temporary file now; the final name is never touched.
  void Abandon();

  // Writes out what is buffered and reads the temporary file back from byte `from` to its end in
  // large blocks, each handed to `take(data, size)`: for scratch files copied into another output.
  // False, with a reason naming `path`, when a write or the read failed.
  template <typename Take>
  bool ReadBack(long from, std::string* error, Take take);

  // Appends everything written to `other` (another open temporary file), in the kernel where the
  // system can (Linux), otherwise through large blocks. False, with a one-line reason, on failure.
  bool AppendFrom(OutputFile& other, std::string* error);

  // As WriteBehind, but the block is written at `offset` in the file, leaving the position
  // where appending goes on: for a writer that fills two regions of one output at once. Only
  // where CanWriteAt() is true; elsewhere it fails the file.
  void WriteBehindAt(uint64_t offset, std::unique_ptr<char[]>& block, size_t capacity, size_t size);
  static bool CanWriteAt();  // writes at an offset behind the caller's back (POSIX)
  // Appends to `other` the `size` bytes that lie at `from` in this file, once all handed over is
  // written, leaving this file's own position alone. Only where CanWriteAt() is true.
  bool CopyRangeTo(uint64_t from, uint64_t size, OutputFile& other, std::string* error);
  // Moves the `size` bytes at `from` down to `to` (below it, maybe overlapping), then cuts the
  // file where they end and leaves its position there. Only where CanWriteAt() is true.
  bool MoveDownAndCut(uint64_t from, uint64_t to, uint64_t size, std::string* error);
  // Puts the position at the end of what is written, for appending after bytes written elsewhere.
  bool SeekToEnd(std::string* error);

  // Records a failure met outside Write (e.g. a seek), reported by Commit.
  void Fail(int errorNumber);
  bool failed() const { return failed_; }
  std::string reason() const { return Reason("write"); }  // of the failure remembered
  const std::string& path() const { return path_; }
  const std::string& temporary() const { return temporary_; }
  std::FILE* stream();  // for writers that seek or copy in bulk (after what is behind is written)

 private:
  struct Behind;
  void HandBehind(std::unique_ptr<char[]>& block, size_t capacity, size_t size, uint64_t offset);
  void Drain();       // waits until every block handed over is written
  void StopBehind();  // and ends the thread that writes them
  bool Flush();
  bool ReadBlocks(long from, std::string* error, void (*take)(void*, const char*, size_t), void* context);
  std::string Reason(const std::string& doing) const;

  std::string path_, temporary_;
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
  int errorNumber_ = 0;
  std::unique_ptr<Behind> behind_;
};

template <typename Take>
bool OutputFile::ReadBack(long from, std::string* error, Take take) {
  auto call = [](void* context, const char* data, size_t size) { (*static_cast<Take*>(context))(data, size); };
  return ReadBlocks(from, error, call, &take);
}

}  // namespace dustweave
