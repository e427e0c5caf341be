// Paths as text: the folder and name parts and their joining, portable; then what the system is
// asked (the program's own path, absolute paths, file kinds and sizes, length limits), through
// its 8-bit functions, which take the bytes as they are.
#include "tools/lib/path_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dustweave {

// ---- folder and name ----------------------------------------------------------------------

bool IsPathSeparator(char c) {
#if defined(_WIN32)
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

namespace {

// The length of the part of `path` that names no file of its own: a drive and a root separator
// ("C:\", "C:", "\", "/").
size_t RootLength(const std::string& path) {
  size_t length = 0;
#if defined(_WIN32)
  if (path.size() >= 2 && path[1] == ':') length = 2;
#endif
  if (length < path.size() && IsPathSeparator(path[length])) ++length;
  return length;
}

constexpr char PREFERRED_SEPARATOR =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

}  // namespace

size_t FileNameStart(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
  return start > 0 ? start : RootLength(path);
}

std::string FolderOf(const std::string& path) { return path.substr(0, FileNameStart(path)); }

std::string FileNameOf(const std::string& path) { return path.substr(FileNameStart(path)); }

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  bool ended = IsPathSeparator(folder.back()) || RootLength(folder) == folder.size();
  return ended ? folder + name : folder + PREFERRED_SEPARATOR + name;
}

// ---- what the system says -----------------------------------------------------------------

#if defined(_WIN32)

std::string ProgramPath() {
  // A path of 32767 UTF-16 units takes at most three bytes for each in UTF-8.
  for (DWORD room = MAX_PATH; room <= 3 * 32768; room *= 4) {
    std::string path(room, '\0');
    DWORD length = GetModuleFileNameA(nullptr, path.data(), room);
    if (length == 0) return "";
    if (length < room) return path.substr(0, length);
  }
  return "";
}

std::string AbsolutePath(const std::string& path) {
  DWORD room = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (room == 0) return path;
  std::string full(room, '\0');
  DWORD length = GetFullPathNameA(path.c_str(), room, full.data(), nullptr);
  return length > 0 && length < room ? full.substr(0, length) : path;
}

bool IsRegularFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<uint64_t> FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The file's volume and index, as the system tells them for an open handle.
std::optional<BY_HANDLE_FILE_INFORMATION> IdentityOf(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information;
  bool known = GetFileInformationByHandle(file, &information) != 0;
  CloseHandle(file);
  return known ? std::optional<BY_HANDLE_FILE_INFORMATION>(information) : std::nullopt;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::optional<BY_HANDLE_FILE_INFORMATION> left = IdentityOf(a), right = IdentityOf(b);
  return left && right && left->dwVolumeSerialNumber == right->dwVolumeSerialNumber &&
         left->nFileIndexHigh == right->nFileIndexHigh && left->nFileIndexLow == right->nFileIndexLow;
}

// The system is asked about a name of the length in question: it tells a name too long for it
// apart from one that is merely not there, without anything being created.
std::string PathLengthRefusal(const std::string& path, size_t room) {
  std::string probe = path + std::string(room, 'x');
  if (GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES) return "";
  if (GetLastError() != ERROR_FILENAME_EXCED_RANGE) return "";
  return "the path is longer than the 259 characters this Windows takes (longer paths need "
         "Windows 10 version 1607 or later with long paths turned on)";
}

#else

std::string ProgramPath() {
  for (size_t room = 256; room <= 65536; room *= 4) {
    std::string path(room, '\0');
    ssize_t length = readlink("/proc/self/exe", path.data(), room);
    if (length <= 0) return "";
    if (static_cast<size_t>(length) < room) return path.substr(0, static_cast<size_t>(length));
  }
  return "";
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::string folder(PATH_MAX, '\0');
  if (getcwd(folder.data(), folder.size()) == nullptr) return path;
  folder.resize(folder.find('\0'));
  return JoinPath(folder, path);
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<uint64_t> FileSizeOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat left, right;
  return stat(a.c_str(), &left) == 0 && stat(b.c_str(), &right) == 0 && left.st_dev == right.st_dev &&
         left.st_ino == right.st_ino;
}

std::string PathLengthRefusal(const std::string&, size_t) { return ""; }

#endif

}  // namespace dustweave
