// Temporary names, the registry an interrupt walks, removing what the program made, and the sweep
// of stale files. The registry is a fixed table of slots, each a state and a private copy of a
// path; a handler claims a slot before it reads the path and gives it back after, and the path
// is freed only from a slot nobody has claimed. The handlers only remove files (unlink,
// DeleteFileA), which is safe there. Divisions: names; the registry and interrupts; removing;
// the sweep.
#include "platform/temp_files.h"

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/file_handle.h"
#include "platform/path_queries.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dustweave {

namespace {

constexpr const char* MARK = ".partial-";
// What follows the stem: the mark, a process ID and a counter.
constexpr size_t SUFFIX_ROOM = TEMPORARY_NAME_ROOM - 1;
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

// The name's part of every temporary name of `path`: the whole name when it fits the folder's
// limit, else its start marked with the whole name's hash. Counted in bytes, which is never less
// than the UTF-16 units a Windows folder counts: the name also fits a folder beneath that counts
// bytes (a share served from Linux, wine).
std::string StemFor(const std::string& path) {
  std::string name = FileNameOf(path);
  size_t limit = NameLimitOf(path);
  if (1 + name.size() + SUFFIX_ROOM <= limit) return name;
  char hash[HASH_ROOM + 1];
  std::snprintf(hash, sizeof hash, "~%08x", static_cast<unsigned>(HashOf(name)));
  return NameStart(name, limit - 1 - SUFFIX_ROOM - HASH_ROOM) + hash;
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

// A slot is free, being filled or emptied by the program's thread, holding a path, or claimed by
// a handler that is reading the path.
enum SlotState : int { FREE, CHANGING, HOLDING, CLAIMED };
struct Slot {
  std::atomic<int> state{FREE};
  char* path = nullptr;  // written only while CHANGING
};

constexpr int SLOTS = 64;  // more temporary files than this at once are not covered
Slot gTemporaries[SLOTS];
std::atomic<int> gHeld{0};

void Pause() {
#ifdef _WIN32
  Sleep(1);
#else
  sched_yield();
#endif
}

// Calls `remove` with the path of every registered file, each slot claimed meanwhile.
template <typename Remove>
void EachRegistered(Remove remove) {
  for (Slot& slot : gTemporaries) {
    int holding = HOLDING;
    if (!slot.state.compare_exchange_strong(holding, CLAIMED)) continue;
    remove(slot.path);
    slot.state.store(HOLDING);
  }
}

void RemoveAllRegistered() {
#ifdef _WIN32
  EachRegistered([](const char* path) { DeleteFileA(path); });
#else
  EachRegistered([](const char* path) { unlink(path); });
#endif
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
  for (int signalNumber : INTERRUPT_SIGNALS) sigaddset(&set, signalNumber);
  return set;
}
#endif

}  // namespace

void RegisterTemporary(const std::string& path) {
  for (Slot& slot : gTemporaries) {
    int free = FREE;
    if (!slot.state.compare_exchange_strong(free, CHANGING)) continue;
    slot.path = new char[path.size() + 1];
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.state.store(HOLDING);
    return;
  }
}

void ForgetTemporary(const std::string& path) {
  for (Slot& slot : gTemporaries) {
    if (slot.state.load() == FREE || slot.state.load() == CHANGING || path != slot.path) continue;
    for (int holding = HOLDING; !slot.state.compare_exchange_strong(holding, CHANGING); holding = HOLDING) Pause();
    delete[] slot.path;
    slot.path = nullptr;
    slot.state.store(FREE);
    return;
  }
}

void RemoveRegisteredTemporaries() {
  EachRegistered([](const char* path) { RemoveOwnFile(path); });
}

void RemoveTemporariesOnInterrupt() {
#ifdef _WIN32
  SetConsoleCtrlHandler(RemoveAndEnd, TRUE);
#else
  HandleInterrupts(RemoveAndEnd);
#endif
}

#ifndef _WIN32
void HandleInterrupts(void (*handler)(int), struct sigaction* before) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < INTERRUPTS; ++i) sigaction(INTERRUPT_SIGNALS[i], &action, before != nullptr ? &before[i] : nullptr);
}
#endif

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

// ---- removing -------------------------------------------------------------------------------

namespace {

std::vector<std::string> gLeftBehind;  // lines; the program's one thread adds and takes them

}  // namespace

namespace {

SystemError RemoveTwice(const std::string& path) {
  SystemError failure = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    failure = RemoveFile(path);
    if (failure == 0 || IsMissing(failure)) return 0;
#ifdef _WIN32
    Sleep(50);
#endif
  }
  return failure;
}

}  // namespace

bool TryRemove(const std::string& path) { return RemoveTwice(path) == 0; }

bool RemoveOwnFile(const std::string& path) {
  SystemError failure = RemoveTwice(path);
  if (failure != 0) gLeftBehind.push_back("cannot remove " + path + ": " + SystemReason(failure));
  return failure == 0;
}

std::vector<std::string> LeftBehindLines() {
  std::vector<std::string> lines;
  lines.swap(gLeftBehind);
  return lines;
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
    if (!(Running(pid) && fresh)) removed = RemoveOwnFile(path);
  }
  ::close(fd);
  return removed;
}
#endif

}  // namespace

size_t RemoveStaleTemporaries(const std::string& path) {
  std::string target;
  PathStatus status;
  if (ResolveLinks(path, &target) != 0 || StatusOf(target, &status) != 0 || status.kind != PathKind::File) return 0;
  std::string folder = FolderOf(target), prefix = FileNameOf(TemporaryPrefixFor(target));
  std::vector<std::string> names;
  if (NamesIn(folder, prefix, &names) != 0) return 0;
  size_t removed = 0;
  for (const std::string& name : names) {
    unsigned long pid = 0;
    if (name.size() > prefix.size() && IsProcessAndCounter(name.c_str() + prefix.size(), &pid) &&
        RemoveIfUnheld(folder + name, pid)) {
      ++removed;
    }
  }
  return removed;
}

}  // namespace dustweave
