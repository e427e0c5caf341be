// An output file that is complete or absent: written to a temporary file beside its final name,
// and renamed over that name only by a commit, after its bytes are on the disk. Until then the
// final name keeps whatever file it had; a file not committed is removed, and never after it was
// renamed. CommitTogether commits the outputs of one command as one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/file_handle.h"

namespace dustweave {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // abandons the file unless it was committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file beside `path`; false, with a one-line reason naming `path`.
  bool Create(const std::string& path, std::string* error);
  // Appends, or writes at an offset. A failure is kept, with the system's reason, and reported
  // by failed() and the commit; later writes are then dropped.
  void Write(const void* data, size_t size);
  void WriteAt(uint64_t offset, const void* data, size_t size);
  // Room for `size` bytes at the end, to be written at the offset returned (by another thread,
  // say); what is appended later goes behind it.
  uint64_t ClaimEnd(size_t size);
  uint64_t size() const { return end_; }
  // Cuts the file at `size` (and appending goes on there).
  void Truncate(uint64_t size);
  void Fail(int errorNumber);
  // Removes the temporary file; the final name is never touched.
  void Abandon();

  bool failed() const { return errorNumber_ != 0; }
  int errorNumber() const { return errorNumber_; }
  std::string reason() const;  // "cannot write PATH: REASON"
  const std::string& path() const { return path_; }
  const std::string& temporary() const { return temporary_; }
  FileHandle& handle() { return handle_; }

 private:
  friend bool CommitTogether(const std::vector<AtomicFile*>& files, std::string* error);
  bool Seal(std::string* error);  // on the disk and closed, ready to be renamed
  void Renamed();

  std::string path_, temporary_;
  FileHandle handle_;
  uint64_t end_ = 0;
  int errorNumber_ = 0;
};

// Commits `files` (each created, none failed): all are flushed to the disk and closed first,
// then renamed over their names one after another, and their folders synced. False, with a
// one-line reason, when any step fails: then every name still holds the file it had (a name
// already renamed gets its older file back) and no temporary file is left.
bool CommitTogether(const std::vector<AtomicFile*>& files, std::string* error);

// Called once, with the reason, when any output's write first fails: a program can end at once
// instead of running on for nothing. Left unset, the failure is reported at the commit.
using WriteFailureHandler = void (*)(const std::string& reason);
void SetWriteFailureHandler(WriteFailureHandler handler);

}  // namespace dustweave
