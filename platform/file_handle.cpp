// The file calls for POSIX (open, pwrite, pread, copy_file_range on Linux, flock, fchmod, fsync,
// extended attributes, rename) and for Windows (CreateFileA with no sharing but delete, positioned
// WriteFile and ReadFile, named streams, MoveFileExA).
#include "platform/file_handle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace dustweave {

namespace {

#ifdef _WIN32
SystemError LastError() { return static_cast<SystemError>(GetLastError()); }

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

constexpr const char* MARK_STREAM = ":dustweave.temporary";

// NTFS has named streams; FAT has none, and wine says it has none (it would make a file of the
// stream's name).
bool HasNamedStreams(HANDLE file) {
  DWORD flags = 0;
  return GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) && (flags & FILE_NAMED_STREAMS) != 0;
}
#else
SystemError LastError() { return errno; }

constexpr const char* MARK_ATTRIBUTE = "user.dustweave.temporary";
#endif

// Asks the seam about `op` on `path`, then the system by `call` (true when it did it): 0 or the
// error.
template <typename Call>
SystemError Checked(FileOp op, const std::string& path, Call call) {
  if (SystemError fault = FaultAt(op, path)) return fault;
  return call() ? 0 : LastError();
}

}  // namespace

// ---- the handle ---------------------------------------------------------------------------

// Marked once held: a sweep finds the file unmarked (and leaves it) or held. A file system
// without marks still writes.
SystemError FileHandle::Create(const std::string& path) {
  NewFileMode();  // asked while the program makes no other file
  SystemError error = Open(FileOp::Create, path);
  if (error == 0) Mark();
  return error;
}

SystemError FileHandle::OpenToRead(const std::string& path) { return Open(FileOp::Open, path); }

// Closes what it held; then the seam is asked, and the system; the path is kept for the seam.
SystemError FileHandle::Open(FileOp op, const std::string& path) {
  Close();
  path_ = path;
  SystemError fault = FaultAt(op, path);
  return fault != 0 ? fault : SystemOpen(op, path);
}

#ifdef _WIN32
// A new file no other opener may read, write or delete while it is open (the rename and our own
// interrupt handler go through this handle's sharing of delete), or an existing one to read.
SystemError FileHandle::SystemOpen(FileOp op, const std::string& path) {
  bool create = op == FileOp::Create;
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | (create ? GENERIC_WRITE : 0),
                              FILE_SHARE_DELETE | (create ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE), nullptr,
                              create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  handle_ = handle;
  return 0;
}

SystemError FileHandle::OpenUnheld(const std::string& path) {
  Close();
  path_ = path;
  if (SystemError fault = FaultAt(FileOp::Open, path)) return fault;
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION ? SYSTEM_NAME_TAKEN : LastError();
  handle_ = handle;
  return 0;
}

std::string FileHandle::OwnNumber() const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle_, &info)) return "";
  return std::to_string((static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

// The mark's stream is opened by name beside the held file (sharing is kept for each stream).
SystemError FileHandle::Mark() {
  if (SystemError fault = FaultAt(FileOp::Mark, path_)) return fault;
  std::string number = OwnNumber();
  DWORD wrote = 0;
  if (!HasNamedStreams(handle_) || number.empty()) return ERROR_NOT_SUPPORTED;
  HANDLE stream = CreateFileA((path_ + MARK_STREAM).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return LastError();
  bool written = WriteFile(stream, number.data(), static_cast<DWORD>(number.size()), &wrote, nullptr) && wrote == number.size();
  CloseHandle(stream);
  return written ? 0 : SYSTEM_IO_ERROR;
}

bool FileHandle::IsMarked() {
  if (!HasNamedStreams(handle_)) return false;
  HANDLE stream = CreateFileA((path_ + MARK_STREAM).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return false;
  char value[32];
  DWORD got = 0;
  bool read = ReadFile(stream, value, sizeof value, &got, nullptr);
  CloseHandle(stream);
  return read && got > 0 && std::string(value, got) == OwnNumber();
}

void FileHandle::Unmark(const std::string& name) {
  if (HasNamedStreams(handle_)) DeleteFileA((name + MARK_STREAM).c_str());
}

// The file goes when the handle, which shares nothing, is closed.
SystemError FileHandle::RemoveHeld() {
  FILE_DISPOSITION_INFO remove{TRUE};
  return Checked(FileOp::Remove, path_, [&] { return SetFileInformationByHandle(handle_, FileDispositionInfo, &remove, sizeof remove) != 0; });
}

SystemError FileHandle::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (SystemError fault = FaultAt(FileOp::Write, path_)) return fault;
  const char* bytes = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), wrote = 0;
    OVERLAPPED at = At(offset + done);
    if (!WriteFile(handle_, bytes + done, part, &wrote, &at)) return LastError();
    if (wrote == 0) return SYSTEM_IO_ERROR;
    done += wrote;
  }
  return 0;
}

SystemError FileHandle::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  *got = 0;
  if (SystemError fault = FaultAt(FileOp::Read, path_)) return fault;
  DWORD read = 0;
  OVERLAPPED at = At(offset);
  if (!ReadFile(handle_, data, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), &read, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : LastError();
  }
  *got = read;
  return 0;
}

SystemError FileHandle::Truncate(uint64_t size) {
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  return Checked(FileOp::Truncate, path_,
                 [&] { return SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle_); });
}

SystemError FileHandle::SetMode(unsigned) { return 0; }

SystemError FileHandle::Sync() {
  return Checked(FileOp::Sync, path_, [&] { return FlushFileBuffers(handle_) != 0; });
}

void FileHandle::Close() {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}
#else
// An existing file to read, or a new file locked while it is open: a later run removes only
// temporary files nobody holds. The lock is taken just after the creation; a sweep that took it
// first, or removed the file in between, leaves the name to another try. File systems without
// locks (some network folders) still write: there the lock is a courtesy.
SystemError FileHandle::SystemOpen(FileOp op, const std::string& path) {
  if (op == FileOp::Open) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a pipe with no writer answers at once
    return fd_ < 0 ? errno : 0;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  struct stat info{};
  bool taken = flock(fd, LOCK_EX | LOCK_NB) != 0 ? errno == EWOULDBLOCK : fstat(fd, &info) == 0 && info.st_nlink == 0;
  if (taken) {
    ::close(fd);
    return SYSTEM_NAME_TAKEN;
  }
  fd_ = fd;
  return 0;
}

// Opened without waiting (a pipe) and only kept when a plain file.
SystemError FileHandle::OpenUnheld(const std::string& path) {
  Close();
  path_ = path;
  if (SystemError fault = FaultAt(FileOp::Open, path)) return fault;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat info{};
  if (fd_ < 0 || fstat(fd_, &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return EINVAL;
  return flock(fd_, LOCK_EX | LOCK_NB) == 0 ? 0 : SYSTEM_NAME_TAKEN;
}

std::string FileHandle::OwnNumber() const {
  struct stat info{};
  return fstat(fd_, &info) == 0 ? std::to_string(info.st_ino) : "";
}

SystemError FileHandle::Mark() {
  std::string number = OwnNumber();
  return Checked(FileOp::Mark, path_, [&] {
    return !number.empty() && fsetxattr(fd_, MARK_ATTRIBUTE, number.data(), number.size(), 0) == 0;
  });
}

bool FileHandle::IsMarked() {
  char value[32];
  ssize_t got = fgetxattr(fd_, MARK_ATTRIBUTE, value, sizeof value);
  return got > 0 && std::string(value, static_cast<size_t>(got)) == OwnNumber();
}

void FileHandle::Unmark(const std::string&) { fremovexattr(fd_, MARK_ATTRIBUTE); }

SystemError FileHandle::RemoveHeld() {
  struct stat held{}, named{};
  bool same = fstat(fd_, &held) == 0 && lstat(path_.c_str(), &named) == 0 && held.st_ino == named.st_ino && held.st_dev == named.st_dev;
  return same ? RemoveFile(path_) : SYSTEM_NAME_TAKEN;
}

SystemError FileHandle::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (SystemError fault = FaultAt(FileOp::Write, path_)) return fault;
  const char* bytes = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    ssize_t wrote = pwrite(fd_, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (wrote <= 0) return wrote < 0 ? errno : SYSTEM_IO_ERROR;
    done += static_cast<size_t>(wrote);
  }
  return 0;
}

SystemError FileHandle::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  *got = 0;
  if (SystemError fault = FaultAt(FileOp::Read, path_)) return fault;
  ssize_t read = pread(fd_, data, size, static_cast<off_t>(offset));
  *got = read > 0 ? static_cast<size_t>(read) : 0;
  return read < 0 ? errno : 0;
}

SystemError FileHandle::Truncate(uint64_t size) {
  return Checked(FileOp::Truncate, path_, [&] { return ftruncate(fd_, static_cast<off_t>(size)) == 0; });
}

SystemError FileHandle::SetMode(unsigned mode) {
  return Checked(FileOp::SetMode, path_, [&] { return fchmod(fd_, static_cast<mode_t>(mode)) == 0; });
}

SystemError FileHandle::Sync() {
  return Checked(FileOp::Sync, path_, [&] { return fsync(fd_) == 0; });
}

// A failed close still gives the descriptor back: it is never closed twice.
void FileHandle::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}
#endif

SystemError FileHandle::CopyFrom(FileHandle& source, uint64_t from, uint64_t size, uint64_t at) {
#ifdef __linux__
  loff_t in = static_cast<loff_t>(from), out = static_cast<loff_t>(at);
  while (size > 0 && FaultAt(FileOp::Copy, path_) == 0) {
    ssize_t copied = copy_file_range(source.fd_, &in, fd_, &out, static_cast<size_t>(std::min<uint64_t>(size, 1u << 30)), 0);
    if (copied <= 0) break;  // not possible here (another file system, say): the buffer below
    size -= static_cast<uint64_t>(copied);
  }
  from = static_cast<uint64_t>(in);
  at = static_cast<uint64_t>(out);
#endif
  std::unique_ptr<char[]> block(size > 0 ? new char[WRITE_BLOCK_SIZE] : nullptr);
  while (size > 0) {
    size_t got = 0;
    if (SystemError failure = source.ReadAt(from, block.get(), static_cast<size_t>(std::min<uint64_t>(size, WRITE_BLOCK_SIZE)), &got)) {
      return failure;
    }
    if (got == 0) return SYSTEM_IO_ERROR;  // the range is not all there
    if (SystemError failure = WriteAt(at, block.get(), got)) return failure;
    from += got, at += got, size -= got;
  }
  return 0;
}

// ---- names in folders ---------------------------------------------------------------------

#ifdef _WIN32
unsigned NewFileMode() { return 0; }
#else
// The umask can only be read by setting it: 077 meanwhile, never more open than it was.
unsigned NewFileMode() {
  static const unsigned mode = [] {
    mode_t mask = umask(077);
    umask(mask);
    return 0666u & ~static_cast<unsigned>(mask);
  }();
  return mode;
}
#endif

SystemError RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
  DWORD how = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return Checked(FileOp::Rename, to, [&] { return MoveFileExA(from.c_str(), to.c_str(), how) != 0; });
#else
  return Checked(FileOp::Rename, to, [&] { return std::rename(from.c_str(), to.c_str()) == 0; });
#endif
}

SystemError RemoveFile(const std::string& path) {
#ifdef _WIN32
  return Checked(FileOp::Remove, path, [&] { return DeleteFileA(path.c_str()) != 0; });
#else
  return Checked(FileOp::Remove, path, [&] { return unlink(path.c_str()) == 0; });
#endif
}

#ifdef _WIN32
SystemError SyncFolderOf(const std::string&) {
  return 0;  // MOVEFILE_WRITE_THROUGH has made the rename durable
}

SystemError NamesIn(const std::string& folder, const std::string& start, std::vector<std::string>* names) {
  names->clear();
  std::string pattern = JoinPath(folder, start + "*");
  if (SystemError fault = FaultAt(FileOp::List, pattern)) return fault;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : LastError();
  do {
    names->emplace_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return 0;
}
#else
SystemError SyncFolderOf(const std::string& path) {
  std::string folder = FolderOf(path);
  const char* place = folder.empty() ? "." : folder.c_str();
  if (SystemError fault = FaultAt(FileOp::SyncFolder, place)) return fault;
  int fd = ::open(place, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  SystemError result = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;  // some file systems cannot sync folders
  ::close(fd);
  return result;
}

SystemError NamesIn(const std::string& folder, const std::string& start, std::vector<std::string>* names) {
  names->clear();
  const char* place = folder.empty() ? "." : folder.c_str();
  if (SystemError fault = FaultAt(FileOp::List, place)) return fault;
  DIR* dir = opendir(place);
  if (dir == nullptr) return errno;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, start.c_str(), start.size()) == 0) names->emplace_back(entry->d_name);
  }
  closedir(dir);
  return 0;
}
#endif

}  // namespace dustweave
