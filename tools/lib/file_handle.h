// The system's file calls that the output layer makes, in one place: a file created afresh and
// held locked while written, positioned writes and reads, flushing to disk, renaming and removing.
// POSIX descriptors or Windows handles below; above, every failure is the system's error number.
// Tests reach every stage through one seam (SetFileFault) to make it fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dustweave {

// The stages a test can make fail, each asked of the seam with the path it concerns.
enum class FileStage { Create, Write, Sync, Rename };
// Answers the error number to fail with, or 0 to let the system do it.
using FileFault = int (*)(FileStage stage, const std::string& path);
void SetFileFault(FileFault fault);  // null: no fault

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();  // closes, ignoring errors
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Creates `path`, which must not exist yet, for reading and writing, and takes this process's
  // advisory lock on it (held until Close): 0 or the error number.
  int Create(const std::string& path);
  int WriteAt(uint64_t offset, const void* data, size_t size);
  // Reads up to `size` bytes at `offset`; *got is 0 at the end of the file.
  int ReadAt(uint64_t offset, void* data, size_t size, size_t* got);
  // Appends to this file, at `at`, the `size` bytes that lie at `from` in `source`: in the kernel
  // where the system can, else through a buffer.
  int CopyFrom(FileHandle& source, uint64_t from, uint64_t size, uint64_t at);
  int Truncate(uint64_t size);
  int Sync();   // flushes the file's bytes to the disk
  int Close();  // 0, or the error of the close
  bool open() const;

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

int RenameOver(const std::string& from, const std::string& to);  // replaces a file at `to`
// A second name for the file at `from` (a hard link), or, where the file system has none, the
// file moved there: 0 or the error number.
int KeepAside(const std::string& from, const std::string& to);
int RemoveFile(const std::string& path);
int SyncFolderOf(const std::string& path);  // makes renames in the folder durable (POSIX)

// Whether a name exists and what it is.
enum class PathKind { Missing, File, Folder, Other };
PathKind KindOf(const std::string& path);
// The longest file name the folder of `path` holds, in bytes.
size_t NameLimitOf(const std::string& path);

std::string SystemReason(int errorNumber);  // the system's text for an error number

}  // namespace dustweave
