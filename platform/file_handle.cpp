// The file calls for POSIX (open, O_TMPFILE and linkat on Linux, pwrite, pread, copy_file_range on
// Linux, flock, fchmod, fsync, extended attributes, rename and renameat2) and for Windows
// (CreateFileA with no sharing but delete, positioned WriteFile and ReadFile, named streams,
// MoveFileExA).
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
#ifdef __linux__
#include <sys/syscall.h>
#endif
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

// The mark's stream of `file`, at `path`, opened by name (each stream has its own sharing). Only
// where the volume has named streams: NTFS; not FAT, nor wine, which would make a file of the name.
HANDLE MarkStream(HANDLE file, const std::string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  DWORD volume = 0;
  if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &volume, nullptr, 0) || !(volume & FILE_NAMED_STREAMS)) {
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA((path + MARK_STREAM).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     disposition, flags, nullptr);
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

// Marked once held, and named (where it was made without a name) once marked.
SystemError FileHandle::Create(const std::string& path) {
  NewFileMode();  // asked while the program makes no other file
  SystemError error = Open(FileOp::Create, path);
  if (error == 0) Mark();
  return error == 0 ? NameMade() : error;
}

SystemError FileHandle::OpenToRead(const std::string& path) { return Open(FileOp::Open, path); }

// The mark is read before the hold: NTFS may refuse to open the stream of a file held so.
// Compared with the number of the file held, it proves that file, not one put there meanwhile.
SystemError FileHandle::HoldToRemove(const std::string& path, bool* marked) {
  std::string mark = MarkAt(path);
  SystemError error = Open(FileOp::Open, path, true);
  *marked = error == 0 && !mark.empty() && mark == OwnNumber();
  return error;
}

// Closes what it held; then the seam is asked, and the system; the path is kept for the seam.
SystemError FileHandle::Open(FileOp op, const std::string& path, bool unheld) {
  Close();
  path_ = path;
  SystemError fault = FaultAt(op, path);
  return fault != 0 ? fault : SystemOpen(op, path, unheld);
}

#ifdef _WIN32
// A new file no other opener may read, write or delete while it is open (the rename and our own
// interrupt handler go through this handle's sharing of delete), or an existing one to read:
// shared, or unheld when it can be opened sharing nothing (to be removed).
SystemError FileHandle::SystemOpen(FileOp op, const std::string& path, bool unheld) {
  bool create = op == FileOp::Create;
  DWORD sharing = create ? FILE_SHARE_DELETE : unheld ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | (create ? GENERIC_WRITE : unheld ? DELETE : 0), sharing, nullptr,
                              create ? CREATE_NEW : OPEN_EXISTING, unheld ? FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return unheld && GetLastError() == ERROR_SHARING_VIOLATION ? SYSTEM_NAME_TAKEN : LastError();
  handle_ = handle;
  return 0;
}

void FileHandle::Mark() {
  std::string number = OwnNumber();
  DWORD wrote = 0;
  bool markable = FaultAt(FileOp::Mark, path_) == 0 && !number.empty();
  HANDLE stream = markable ? MarkStream(handle_, path_, GENERIC_WRITE, CREATE_ALWAYS) : INVALID_HANDLE_VALUE;
  if (stream != INVALID_HANDLE_VALUE) WriteFile(stream, number.data(), static_cast<DWORD>(number.size()), &wrote, nullptr);
  if (stream != INVALID_HANDLE_VALUE) CloseHandle(stream);
}

// Through a handle that asks only for attributes, which no holder's sharing refuses.
std::string FileHandle::MarkAt(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  HANDLE stream = MarkStream(file, path, GENERIC_READ, OPEN_EXISTING);
  CloseHandle(file);
  if (stream == INVALID_HANDLE_VALUE) return "";
  char value[32];
  DWORD got = 0;
  bool read = ReadFile(stream, value, sizeof value, &got, nullptr);
  CloseHandle(stream);
  return read ? std::string(value, got) : "";
}

std::string FileHandle::OwnNumber() const {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle_, &information)) return "";
  return std::to_string((static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow);
}

SystemError FileHandle::NameMade() { return 0; }  // named as it was made

void FileHandle::Unmark(const std::string& name) {
  HANDLE stream = MarkStream(handle_, name, DELETE, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE);
  if (stream != INVALID_HANDLE_VALUE) CloseHandle(stream);
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
#ifdef __linux__
namespace {

// A new file without a name in the folder of `path`, to be linked under `path` through /proc:
// its descriptor, or -1 where the file system makes none or no /proc is there to link it through.
int CreateUnnamed(const std::string& path) {
  static const bool linkable = access("/proc/self/fd", X_OK) == 0;
  std::string folder = FolderOf(path);
  return linkable ? ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
}

}  // namespace
#endif

// An existing file to read (not through a link when unheld, and then locked), or a new file
// locked while it is open: a later run removes only temporary files nobody holds. On Linux the
// new file has no name until Create has locked and marked it. Elsewhere a sweep that looks at it
// before it is locked finds it unmarked, and only lists it. File systems without locks (some
// network folders) still write: there the lock is a courtesy.
SystemError FileHandle::SystemOpen(FileOp op, const std::string& path, bool unheld) {
  if (op == FileOp::Open) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (unheld ? O_NOFOLLOW : 0));  // a pipe answers at once
    if (fd_ < 0) return errno;
    return !unheld || flock(fd_, LOCK_EX | LOCK_NB) == 0 ? 0 : SYSTEM_NAME_TAKEN;
  }
#ifdef __linux__
  fd_ = CreateUnnamed(path);
  unnamed_ = fd_ >= 0;
#endif
  if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd_ < 0) return errno;
  flock(fd_, LOCK_EX);
  return 0;
}

// The file made without a name takes its name: SYSTEM_NAME_TAKEN when the name exists.
SystemError FileHandle::NameMade() {
#ifdef __linux__
  if (!unnamed_) return 0;
  unnamed_ = false;
  std::string self = "/proc/self/fd/" + std::to_string(fd_);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  SystemError error = errno;
  Close();
  return error;
#else
  return 0;
#endif
}

void FileHandle::Mark() {
  std::string number = OwnNumber();
  if (FaultAt(FileOp::Mark, path_) == 0 && !number.empty()) fsetxattr(fd_, MARK_ATTRIBUTE, number.data(), number.size(), 0);
}

std::string FileHandle::MarkAt(const std::string& path) {
  char value[32];
  ssize_t got = lgetxattr(path.c_str(), MARK_ATTRIBUTE, value, sizeof value);
  return got > 0 ? std::string(value, static_cast<size_t>(got)) : "";
}

std::string FileHandle::OwnNumber() const {
  struct stat held{};
  return fstat(fd_, &held) == 0 ? std::to_string(static_cast<uint64_t>(held.st_ino)) : "";
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

// ---- names in folders ---------------------------------------------------------------------

SystemError RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
  DWORD how = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return Checked(FileOp::Rename, to, [&] { return MoveFileExA(from.c_str(), to.c_str(), how) != 0; });
#else
  return Checked(FileOp::Rename, to, [&] { return std::rename(from.c_str(), to.c_str()) == 0; });
#endif
}

#ifdef _WIN32
SystemError RenameUnlessTaken(const std::string& from, const std::string& to) {
  SystemError error = Checked(FileOp::Rename, to, [&] { return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0; });
  return error == ERROR_ALREADY_EXISTS ? SYSTEM_NAME_TAKEN : error;
}
#else
namespace {

// The rename that never replaces: renameat2's (through syscall, which every C library has); where
// the file system has no such rename, a hard link, which never replaces either, then the
// removal of the old name (were that to fail, the file would stay under both names).
bool RenameKeepingTarget(const char* from, const char* to) {
#if defined(__linux__) && defined(SYS_renameat2)
  constexpr unsigned NO_REPLACE = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, NO_REPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  if (link(from, to) != 0) return false;
  unlink(from);
  return true;
}

}  // namespace

SystemError RenameUnlessTaken(const std::string& from, const std::string& to) {
  return Checked(FileOp::Rename, to, [&] { return RenameKeepingTarget(from.c_str(), to.c_str()); });
}
#endif

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
