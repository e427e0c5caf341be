// The file calls for POSIX (open, pwrite, pread, copy_file_range on Linux, flock, fsync) and for
// Windows (CreateFileA with no sharing but delete, positioned WriteFile and ReadFile, MoveFileExA).
// Divisions: the seam; the handle; names in folders.
#include "tools/lib/file_handle.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "tools/lib/path_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dustweave {

namespace {

std::atomic<FileFault> gFault{nullptr};

int FaultAt(FileStage stage, const std::string& path) {
  FileFault fault = gFault.load();
  return fault != nullptr ? fault(stage, path) : 0;
}

constexpr size_t COPY_BLOCK = 1 << 20;

#ifdef _WIN32
int LastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_NOT_SUPPORTED: case ERROR_INVALID_FUNCTION: return ENOTSUP;
    default: return EIO;
  }
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}
#endif

}  // namespace

void SetFileFault(FileFault fault) { gFault.store(fault); }

std::string SystemReason(int errorNumber) { return std::generic_category().message(errorNumber); }

// ---- the handle ---------------------------------------------------------------------------

FileHandle::~FileHandle() { Close(); }

#ifdef _WIN32
bool FileHandle::open() const { return handle_ != nullptr; }

int FileHandle::Create(const std::string& path) {
  Close();
  if (int fault = FaultAt(FileStage::Create, path)) return fault;
  // No other opener may read, write or delete it while it is written (our own interrupt handler
  // deletes through this handle's sharing of delete).
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  handle_ = handle;
  path_ = path;
  return 0;
}

int FileHandle::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (int fault = FaultAt(FileStage::Write, path_)) return fault;
  const char* bytes = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), wrote = 0;
    OVERLAPPED at = At(offset + done);
    if (!WriteFile(handle_, bytes + done, part, &wrote, &at) || wrote == 0) return LastError();
    done += wrote;
  }
  return 0;
}

int FileHandle::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  DWORD read = 0;
  OVERLAPPED at = At(offset);
  *got = 0;
  if (!ReadFile(handle_, data, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), &read, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : LastError();
  }
  *got = read;
  return 0;
}

int FileHandle::Truncate(uint64_t size) {
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) return LastError();
  return 0;
}

int FileHandle::Sync() {
  if (int fault = FaultAt(FileStage::Sync, path_)) return fault;
  return FlushFileBuffers(handle_) ? 0 : LastError();
}

int FileHandle::Close() {
  if (handle_ == nullptr) return 0;
  int result = CloseHandle(handle_) ? 0 : LastError();
  handle_ = nullptr;
  return result;
}
#else
bool FileHandle::open() const { return fd_ >= 0; }

int FileHandle::Create(const std::string& path) {
  Close();
  if (int fault = FaultAt(FileStage::Create, path)) return fault;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  // Held while this process writes it: a later run removes only temporary files nobody holds.
  // File systems without locks (some network folders) still write; the lock is a courtesy.
  flock(fd, LOCK_EX | LOCK_NB);
  fd_ = fd;
  path_ = path;
  return 0;
}

int FileHandle::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (int fault = FaultAt(FileStage::Write, path_)) return fault;
  const char* bytes = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    ssize_t wrote = pwrite(fd_, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (wrote <= 0) return wrote < 0 ? errno : EIO;
    done += static_cast<size_t>(wrote);
  }
  return 0;
}

int FileHandle::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  ssize_t read = pread(fd_, data, size, static_cast<off_t>(offset));
  *got = read > 0 ? static_cast<size_t>(read) : 0;
  return read < 0 ? errno : 0;
}

int FileHandle::Truncate(uint64_t size) { return ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno; }

int FileHandle::Sync() {
  if (int fault = FaultAt(FileStage::Sync, path_)) return fault;
  return fsync(fd_) == 0 ? 0 : errno;
}

int FileHandle::Close() {
  if (fd_ < 0) return 0;
  int result = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
  return result;
}
#endif

int FileHandle::CopyFrom(FileHandle& source, uint64_t from, uint64_t size, uint64_t at) {
  if (int fault = FaultAt(FileStage::Write, path_)) return fault;
#ifdef __linux__
  loff_t in = static_cast<loff_t>(from), out = static_cast<loff_t>(at);
  while (size > 0) {
    ssize_t copied = copy_file_range(source.fd_, &in, fd_, &out, static_cast<size_t>(std::min<uint64_t>(size, 1u << 30)), 0);
    if (copied <= 0) break;  // not possible here (another file system, say): the buffer below
    size -= static_cast<uint64_t>(copied);
  }
  from = static_cast<uint64_t>(in);
  at = static_cast<uint64_t>(out);
#endif
  std::unique_ptr<char[]> block(size > 0 ? new char[COPY_BLOCK] : nullptr);
  while (size > 0) {
    size_t got = 0;
    if (int failure = source.ReadAt(from, block.get(), static_cast<size_t>(std::min<uint64_t>(size, COPY_BLOCK)), &got)) {
      return failure;
    }
    if (got == 0) return EIO;  // the range is not all there
    if (int failure = WriteAt(at, block.get(), got)) return failure;
    from += got, at += got, size -= got;
  }
  return 0;
}

// ---- names in folders ---------------------------------------------------------------------

int RenameOver(const std::string& from, const std::string& to) {
  if (int fault = FaultAt(FileStage::Rename, to)) return fault;
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : LastError();
#else
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

int KeepAside(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (CreateHardLinkA(to.c_str(), from.c_str(), nullptr)) return 0;
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : LastError();
#else
  if (link(from.c_str(), to.c_str()) == 0) return 0;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

int RemoveFile(const std::string& path) {
#ifdef _WIN32
  return DeleteFileA(path.c_str()) ? 0 : LastError();
#else
  return unlink(path.c_str()) == 0 ? 0 : errno;
#endif
}

int SyncFolderOf(const std::string& path) {
#ifdef _WIN32
  (void)path;  // MOVEFILE_WRITE_THROUGH has made the rename durable
  return 0;
#else
  std::string folder = FolderOf(path);
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int result = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;  // some file systems cannot sync folders
  ::close(fd);
  return result;
#endif
}

PathKind KindOf(const std::string& path) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
#else
  struct stat info{};
  if (stat(path.c_str(), &info) != 0) return PathKind::Missing;
  return S_ISDIR(info.st_mode) ? PathKind::Folder : S_ISREG(info.st_mode) ? PathKind::File : PathKind::Other;
#endif
}

size_t NameLimitOf(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return 255;  // UTF-16 units; a name of 255 bytes never needs more
#else
  std::string folder = FolderOf(path);
  long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : 255;
#endif
}

}  // namespace dustweave
