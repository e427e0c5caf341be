// An output file that is complete or absent: written to a temporary file beside its final name,
// and renamed over that name only by a commit, after its bytes are on the disk. Until then the
// final name keeps whatever file it had; a file not committed is removed, and never after it was
// renamed. A name that is a symbolic link is written through: the file it leads to is replaced,
// and the link stays. The new file takes the permission bits of the file it replaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_handle.h"

namespace dustweave {

// "cannot write PATH: REASON", the one way every output failure is said.
std::string CannotWrite(const std::string& path, const std::string& reason);

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // abandons the file unless it was committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside the file `path` leads to, held (see FileHandle::Create)
  // until it is renamed or removed; false, with a one-line reason naming `path`.
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
  // Keeps the first failure of a write (and tells the write failure handler).
  void Fail(SystemError error);
  // Removes the temporary file; the final name is never touched.
  void Abandon();
  // The commit puts this file in place only where no file is under its name then: a file made
  // there meanwhile is kept, and the commit fails, saying so.
  void NeverReplace() { replaces_ = false; }

  bool failed() const { return error_ != 0; }
  SystemError error() const { return error_; }
  std::string reason() const;  // "cannot write PATH: REASON"
  const std::string& path() const { return path_; }
  const std::string& temporary() const { return temporary_; }
  FileHandle& handle() { return handle_; }

 private:
  friend bool CommitTogether(const std::vector<OutputFile*>& files, std::string* error);
  bool Seal(std::string* error);  // on the disk, with its bits: ready to be renamed
  SystemError PutInPlace();       // the rename
  void Renamed();
  std::string reason(SystemError failure) const;

  std::string path_;       // as the command was given it, for messages
  std::string target_;     // the file it leads to, which the commit replaces
  std::string temporary_;  // beside target_
  FileHandle handle_;
  bool hadFile_ = false;   // a file was under target_ when sealed
  bool replaces_ = true;   // the commit may replace a file under target_
  uint64_t end_ = 0;
  SystemError error_ = 0;
};

// Commits the outputs of one command (each created, none failed): all are flushed to the disk and
// given the older files' permission bits first, then renamed over their names in the
// order given, and their folders synced. One rename replaces one name in one step, so at every
// instant, a kill or a power cut included, each name holds its older file or the whole new one;
// nothing is moved away from a name, and no older file is removed. Given the previews first and
// the main output last, the main output holds its new file only when every output does.
//
// False, with a one-line reason, when any step fails: the files not renamed are removed, and when
// some were renamed the reason says which names hold their new files and which their older ones.
bool CommitTogether(const std::vector<OutputFile*>& files, std::string* error);

// Whether a commit has renamed an output into place; for an interrupt, which never comes between
// the renames (InterruptsHeld).
bool AnyOutputCommitted();

// Called once, with the reason, when any output's write first fails: a program can end at once
// instead of running on for nothing. Left unset, the failure is reported at the commit.
using WriteFailureHandler = void (*)(const std::string& reason);
void SetWriteFailureHandler(WriteFailureHandler handler);

}  // namespace dustweave
