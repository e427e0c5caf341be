// An output file that is complete or absent: written to a temporary file beside its final name,
// and renamed over that name only by a commit, after its bytes are on the disk. Until then the
// final name keeps whatever file it had; a file not committed is removed, and never after it was
// renamed. A name that is a symbolic link is written through: the file it leads to is replaced,
// and the link stays. The new file takes the permission bits of the file it replaces.
// CommitTogether commits the outputs of one command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_handle.h"

namespace dustweave {

// "cannot write PATH: REASON", the one way every output failure is said.
std::string CannotWrite(const std::string& path, const std::string& reason);

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // abandons the file unless it was committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file beside the file `path` leads to; false, with a one-line reason
  // naming `path`.
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

  bool failed() const { return error_ != 0; }
  SystemError error() const { return error_; }
  std::string reason() const;  // "cannot write PATH: REASON"
  const std::string& path() const { return path_; }
  const std::string& temporary() const { return temporary_; }
  FileHandle& handle() { return handle_; }

 private:
  friend class Commit;
  bool Seal(std::string* error);  // on the disk, with its bits, closed: ready to be renamed
  void Renamed();

  std::string path_;       // as the command was given it, for messages
  std::string target_;     // the file it leads to, which the commit replaces
  std::string temporary_;  // beside target_
  FileHandle handle_;
  FileIdentity identity_;  // of the temporary file, known once sealed
  bool hadFile_ = false;   // a file was under target_ when sealed
  uint64_t end_ = 0;
  SystemError error_ = 0;
};

// Commits `files` (each created, none failed): all are flushed to the disk, given the older
// files' permission bits and closed first, then renamed over their names in the order given,
// and their folders synced. One rename replaces one name in one step, so at every instant, a
// kill or a power cut included, each name holds its older file or the whole new one.
//
// For several files the older files are first given second names (hard links) beside them: if
// a rename fails, every name renamed before gets its older file back (or loses the new one when
// it had none), so that the commit is all or nothing. A name whose older file cannot be linked
// (a file system without hard links) cannot be given it back: the reason then says which names
// hold their new files, and where an older file that could not be put back is kept.
//
// False, with a one-line reason, when any step fails; nothing is left beside the names that
// could be removed (what could not be is noted for LeftBehindLines).
bool CommitTogether(const std::vector<AtomicFile*>& files, std::string* error);

// Called once, with the reason, when any output's write first fails: a program can end at once
// instead of running on for nothing. Left unset, the failure is reported at the commit.
using WriteFailureHandler = void (*)(const std::string& reason);
void SetWriteFailureHandler(WriteFailureHandler handler);

}  // namespace dustweave
