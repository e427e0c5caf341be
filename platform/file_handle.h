// The system's file calls that change files and names, in one place: a file created afresh and
// held locked while it is open, positioned writes and reads, permission bits,
// flushing to disk; renaming, removing and listing names in folders. POSIX descriptors or Windows handles
// below; above, every failure is the system's error. Each call asks the seam first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_seam.h"
#include "platform/path_queries.h"

namespace dustweave {

// The size of the blocks in which outputs are written, and files copied when the kernel cannot.
inline constexpr size_t WRITE_BLOCK_SIZE = 1 << 20;

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }  // ignoring errors
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Creates `path`, which must not exist yet, to read and write, held until Close and read by no
  // one else (POSIX: locked, 0600; Windows: sharing nothing but deletion, so renaming), and
  // marked where the file system holds marks. No other run sees the name unheld: Windows holds
  // the file as it makes it; Linux makes it without a name, locks and marks it, then names it
  // (elsewhere, or where the file system makes no file without a name, the lock follows the
  // creation at once, and a sweep in between finds the file unmarked and only lists it).
  // 0, SYSTEM_NAME_TAKEN when the name exists, or the error.
  SystemError Create(const std::string& path);
  // Opens an existing file that nobody holds (as Create holds one) and holds it, so that it can
  // be removed (RemoveHeld); a symbolic link is not followed. `*marked` says whether it carries
  // the mark made for it: a file that carries no mark, or a copy carrying the mark of the file it
  // was copied from, is not marked. 0, SYSTEM_NAME_TAKEN when another holds it, or the error.
  SystemError HoldToRemove(const std::string& path, bool* marked);
  // Opens an existing file to read, without waiting for a writer when it is a pipe: 0 or the
  // error.
  SystemError OpenToRead(const std::string& path);
  SystemError WriteAt(uint64_t offset, const void* data, size_t size);
  // Reads up to `size` bytes at `offset`; *got is 0 at the end of the file.
  SystemError ReadAt(uint64_t offset, void* data, size_t size, size_t* got);
  // Appends to this file, at `at`, the `size` bytes that lie at `from` in `source`: in the kernel
  // where the system can, else through a buffer.
  SystemError CopyFrom(FileHandle& source, uint64_t from, uint64_t size, uint64_t at);
  SystemError Truncate(uint64_t size);
  SystemError SetMode(unsigned mode);  // permission bits (POSIX; nothing on Windows)
  // The mark that says a file is a temporary file of this program: the file's own number (inode,
  // file index) in an extended attribute on POSIX, in a named stream on Windows, so that a copy,
  // which may carry it along, is not taken for the file marked. Where the file system holds
  // neither (FAT, wine), the file stays unmarked. Unmark takes it off an output, now at `name`.
  void Unmark(const std::string& name);
  // Removes the file held by HoldToRemove, only while its name still leads to it: 0 or the error.
  SystemError RemoveHeld();
  SystemError Sync();                  // flushes the file's bytes to the disk
  // Lets go of the file. Its error is not asked: a file written is flushed first (Sync), and the
  // others are read or thrown away.
  void Close();

 private:
  SystemError Open(FileOp op, const std::string& path, bool unheld = false);  // Create or Open
  SystemError SystemOpen(FileOp op, const std::string& path, bool unheld);  // as the system does it
  SystemError NameMade();  // Create's file, made without a name, named
  void Mark();             // put by Create
  static std::string MarkAt(const std::string& path);  // what the mark of the file at `path` holds, or ""
  // The held file's number among its volume's (inode, file index), which its mark holds: a copy
  // has another.
  std::string OwnNumber() const;

  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
  bool unnamed_ = false;  // made without a name: Create names it once it is marked
#endif
};

// The permission bits a new file gets here: 0666 less the umask (POSIX; 0 on Windows).
unsigned NewFileMode();
// Renames `from` over `to`, replacing a file there in one step.
SystemError RenameOver(const std::string& from, const std::string& to);
// Renames `from` to `to` only where nothing is under `to`, in one step: SYSTEM_NAME_TAKEN when
// something is (it stays as it is, and so does `from`). Linux: renameat2's RENAME_NOREPLACE, or a
// hard link then the removal of `from` where the file system has no such rename.
SystemError RenameUnlessTaken(const std::string& from, const std::string& to);
SystemError RemoveFile(const std::string& path);
SystemError SyncFolderOf(const std::string& path);  // makes renames in the folder durable (POSIX)
// The names in `folder` ("" the current one) that begin with `start`.
SystemError NamesIn(const std::string& folder, const std::string& start, std::vector<std::string>* names);

}  // namespace dustweave
