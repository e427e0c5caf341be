// Asking the system about paths, through its 8-bit functions, which take the bytes as they are.
#include "platform/path_queries.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#endif

namespace dustweave {

namespace {

// The folder a path's name lies in, as a path the system takes ("." for the current one).
std::string FolderToAsk(const std::string& path) {
  std::string folder = FolderOf(path);
  return folder.empty() ? "." : folder;
}

#if defined(_WIN32)
// Names in one folder compared as Windows compares them: ignoring case, in every script.
bool SameName(const std::string& a, const std::string& b) {
  auto wide = [](const std::string& text) {
    std::wstring units(NameUnits(text), L'\0');
    if (!text.empty()) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), units.data(), static_cast<int>(units.size()));
    return units;
  };
  std::wstring left = wide(a), right = wide(b);
  return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(), static_cast<int>(right.size()), TRUE) ==
         CSTR_EQUAL;
}
#else
bool SameName(const std::string& a, const std::string& b) { return a == b; }
#endif

}  // namespace

// ---- the answers alike on every system ---------------------------------------------------

bool IsRegularFile(const std::string& path) {
  PathStatus status;
  return StatusOf(path, &status) == 0 && status.kind == PathKind::File;
}

bool SameFile(const std::string& a, const std::string& b) {
  PathStatus left, right;
  return StatusOf(a, &left) == 0 && StatusOf(b, &right) == 0 && left.kind != PathKind::Missing &&
         right.kind != PathKind::Missing && left.volume == right.volume && left.index == right.index;
}

std::string NameTooLong(const std::string& path) {
  size_t units = NameUnits(FileNameOf(path)), limit = NameLimitOf(path);
  if (units <= limit) return "";
  return "the file name is " + std::to_string(units) + " " + NameUnitWord() + " long, and the folder holds names of " +
         std::to_string(limit) + " at most";
}

// ---- Windows --------------------------------------------------------------------------------

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

// Opened for no access at all, which no sharing mode refuses, the file tells its kind, size and
// index; a device (NUL) has none of them.
SystemError StatusOf(const std::string& path, PathStatus* status) {
  *status = PathStatus();
  if (SystemError fault = FaultAt(FileOp::Query, path)) return fault;
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SystemError error = static_cast<SystemError>(GetLastError());
    return IsMissing(error) ? 0 : error;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information)) {
    bool folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status->kind = folder ? PathKind::Folder : PathKind::File;
    status->size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    status->volume = information.dwVolumeSerialNumber;
    status->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  } else {
    status->kind = PathKind::Other;
  }
  CloseHandle(file);
  return 0;
}

SystemError ResolveLinks(const std::string& path, std::string* target) {
  *target = path;
  return 0;
}

size_t NameLimitOf(const std::string&) { return 255; }

// The system is asked about a name of the length in question: it tells a name too long for it
// apart from one that is merely not there, without anything being created.
std::string PathLengthRefusal(const std::string& path, size_t room) {
  std::string probe = path + std::string(room, 'x');
  if (GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES) return "";
  if (GetLastError() != ERROR_FILENAME_EXCED_RANGE) return "";
  return "the path is longer than the 259 characters this Windows takes (longer paths need "
         "Windows 10 version 1607 or later with long paths turned on)";
}

// ---- POSIX ----------------------------------------------------------------------------------

#else

// The standard library's paths are the bytes themselves here.
std::string ProgramPath() {
  std::error_code failed;
  return std::filesystem::read_symlink("/proc/self/exe", failed).string();
}

std::string AbsolutePath(const std::string& path) {
  std::error_code failed;
  std::string folder = std::filesystem::current_path(failed).string();
  return path.empty() || path[0] == '/' || failed ? path : JoinPath(folder, path);
}

SystemError StatusOf(const std::string& path, PathStatus* status) {
  *status = PathStatus();
  if (SystemError fault = FaultAt(FileOp::Query, path)) return fault;
  struct stat info{};
  if (stat(path.c_str(), &info) != 0) return IsMissing(errno) ? 0 : errno;
  status->kind = S_ISREG(info.st_mode) ? PathKind::File : S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
  status->size = static_cast<uint64_t>(info.st_size);
  status->mode = static_cast<unsigned>(info.st_mode & 0777);
  status->volume = static_cast<uint64_t>(info.st_dev);
  status->index = static_cast<uint64_t>(info.st_ino);
  return 0;
}

// A link's target is read hop by hop, each relative one taken from the folder of the link that
// holds it, so that the path keeps the user's own spelling of every folder on the way.
SystemError ResolveLinks(const std::string& path, std::string* target) {
  constexpr int MOST_HOPS = 40;  // as the kernel allows
  std::string current = path;
  for (int hop = 0; hop < MOST_HOPS; ++hop) {
    if (SystemError fault = FaultAt(FileOp::Query, current)) return fault;
    struct stat info{};
    if (lstat(current.c_str(), &info) != 0 && !IsMissing(errno)) return errno;
    if (info.st_mode == 0 || !S_ISLNK(info.st_mode)) {  // nothing there yet, or no link
      *target = current;
      return 0;
    }
    std::error_code failed;
    std::string link = std::filesystem::read_symlink(current, failed).string();
    if (failed) return failed.value();
    current = !link.empty() && link[0] == '/' ? link : FolderOf(current) + link;
  }
  return ELOOP;
}

size_t NameLimitOf(const std::string& path) {
  long limit = pathconf(FolderToAsk(path).c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : 255;
}

std::string PathLengthRefusal(const std::string&, size_t) { return ""; }

#endif

// Alike on every system, with the system's own way to compare names in a folder.
bool SamePlace(const std::string& a, const std::string& b) {
  std::string left, right;
  if (a == b) return true;
  if (ResolveLinks(a, &left) != 0 || ResolveLinks(b, &right) != 0) return false;
  if (SameFile(left, right)) return true;
  return SameName(FileNameOf(left), FileNameOf(right)) && SameFile(FolderToAsk(left), FolderToAsk(right));
}

}  // namespace dustweave
