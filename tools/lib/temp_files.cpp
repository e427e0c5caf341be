// Temporary names, the registry an interrupt walks, and the sweep of stale files. The registry is
// a fixed table of atomic pointers to private copies of the paths; the handlers only remove
// files (unlink, DeleteFileA), which is safe there. Divisions: names; the registry and
// interrupts; the sweep.
#include "tools/lib/temp_files.h"

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "tools/lib/file_handle.h"
#include "tools/lib/path_text.h"

#ifdef _WIN32
#include <process.h>
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

constexpr const char* MARK = ".partial-";
// What follows the stem: the mark, a process ID and a counter of up to 20 digits each.
constexpr size_t SUFFIX_ROOM = 9 + 20 + 1 + 20;
constexpr size_t HASH_ROOM = 9;  // "~" and eight hex digits

unsigned long ProcessId() {
#ifdef _WIN32
  return static_cast<unsigned long>(_getpid());
#else
  return static_cast<unsigned long>(getpid());
#endif
}

uint32_t HashOf(const std::string& text) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

// The first `size` bytes of `name`, or fewer, so as not to cut a UTF-8 character.
std::string CutAtCharacter(const std::string& name, size_t size) {
  while (size > 0 && (static_cast<unsigned char>(name[size]) & 0xC0) == 0x80) --size;
  return name.substr(0, size);
}

// The name's part of every temporary name of `path`: the whole name when it fits the folder's
// limit, else its start marked with the whole name's hash.
std::string StemFor(const std::string& path) {
  std::string name = FileNameOf(path);
  size_t limit = NameLimitOf(path);
  if (1 + name.size() + SUFFIX_ROOM <= limit) return name;
  char hash[HASH_ROOM + 1];
  std::snprintf(hash, sizeof hash, "~%08x", static_cast<unsigned>(HashOf(name)));
  return CutAtCharacter(name, limit - 1 - SUFFIX_ROOM - HASH_ROOM) + hash;
}

// "PID-N": what a temporary name has after its prefix; PID is set.
bool IsProcessAndCounter(const char* rest, unsigned long* pid) {
  char* end = nullptr;
  if (!std::isdigit(static_cast<unsigned char>(rest[0]))) return false;
  *pid = std::strtoul(rest, &end, 10);
  if (*end != '-' || !std::isdigit(static_cast<unsigned char>(end[1]))) return false;
  for (const char* c = end + 1; *c != '\0'; ++c) {
    if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
  }
  return true;
}

}  // namespace

std::string TemporaryPrefixFor(const std::string& path) { return FolderOf(path) + "." + StemFor(path) + MARK; }

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return TemporaryPrefixFor(path) + std::to_string(ProcessId()) + "-" + std::to_string(++counter);
}

// ---- the registry and interrupts ------------------------------------------------------------

namespace {

constexpr int SLOTS = 64;  // more temporary files than this open at once are not covered
std::atomic<char*> gTemporaries[SLOTS];
std::atomic<int> gHeld{0};

void RemoveAllRegistered() {
  for (std::atomic<char*>& slot : gTemporaries) {
    char* path = slot.load();
#ifdef _WIN32
    if (path != nullptr) DeleteFileA(path);
#else
    if (path != nullptr) unlink(path);
#endif
  }
}

#ifdef _WIN32
BOOL WINAPI RemoveAndEnd(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
      event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
    return FALSE;
  }
  while (gHeld.load() > 0) Sleep(1);  // outputs being renamed into place finish first
  RemoveAllRegistered();
  ExitProcess(0xC000013A);  // the status of a program ended by Ctrl-C
  return TRUE;
}
#else
extern "C" void RemoveAndEnd(int signalNumber) {
  RemoveAllRegistered();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

sigset_t Interrupts() {
  sigset_t set;
  sigemptyset(&set);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signalNumber);
  return set;
}
#endif

}  // namespace

void RegisterTemporary(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  for (std::atomic<char*>& slot : gTemporaries) {
    char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, copy)) return;
  }
  delete[] copy;
}

void ForgetTemporary(const std::string& path) {
  for (std::atomic<char*>& slot : gTemporaries) {
    char* held = slot.load();
    if (held != nullptr && path == held && slot.compare_exchange_strong(held, nullptr)) {
      delete[] held;
      return;
    }
  }
}

void RemoveRegisteredTemporaries() { RemoveAllRegistered(); }

void RemoveTemporariesOnInterrupt() {
#ifdef _WIN32
  SetConsoleCtrlHandler(RemoveAndEnd, TRUE);
#else
  struct sigaction action{};
  action.sa_handler = RemoveAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
#endif
}

bool InterruptsAreHeld() { return gHeld.load() > 0; }

InterruptsHeld::InterruptsHeld() {
  if (gHeld.fetch_add(1) > 0) return;
#ifndef _WIN32
  sigset_t set = Interrupts();
  sigprocmask(SIG_BLOCK, &set, nullptr);
#endif
}

InterruptsHeld::~InterruptsHeld() {
  if (gHeld.fetch_sub(1) > 1) return;
#ifndef _WIN32
  sigset_t set = Interrupts();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);  // one that came meanwhile is taken now
#endif
}

// ---- the sweep ------------------------------------------------------------------------------

namespace {

#ifdef _WIN32
// Nobody holds it when it can be opened with no sharing at all; it goes when closed.
bool RemoveIfUnheld(const std::string& path, unsigned long) {
  HANDLE handle = CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

template <typename Visit>
void EachNameIn(const std::string& folder, const std::string& start, Visit visit) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + start + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    visit(std::string(found.cFileName));
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
#else
bool Running(unsigned long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// Nobody holds it when its lock can be taken. One whose writer is still running and which is
// brand new may be between its creation and its lock, and is left alone.
bool RemoveIfUnheld(const std::string& path, unsigned long pid) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat info{};
  bool removed = false;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
    bool fresh = std::time(nullptr) - info.st_mtime < 60;
    if (!(Running(pid) && fresh)) removed = unlink(path.c_str()) == 0;
  }
  ::close(fd);
  return removed;
}

template <typename Visit>
void EachNameIn(const std::string& folder, const std::string& start, Visit visit) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, start.c_str(), start.size()) == 0) visit(std::string(entry->d_name));
  }
  closedir(dir);
}
#endif

}  // namespace

size_t RemoveStaleTemporaries(const std::string& path) {
  std::string folder = FolderOf(path), prefix = FileNameOf(TemporaryPrefixFor(path));
  size_t removed = 0;
  EachNameIn(folder, prefix, [&](const std::string& name) {
    unsigned long pid = 0;
    if (name.size() > prefix.size() && IsProcessAndCounter(name.c_str() + prefix.size(), &pid) &&
        RemoveIfUnheld(folder + name, pid)) {
      ++removed;
    }
  });
  return removed;
}

}  // namespace dustweave
