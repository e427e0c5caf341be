// Temporary names, the registry an interrupt walks, removing what the program made, and the sweep
// of stale files. The registry is a fixed table of pointers to the outputs' own paths; a path
// leaves it before it changes, once no walk that may have read it is going on. The handlers only
// remove files (unlink, DeleteFileA), which is safe there.
#include "platform/temp_files.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <regex>

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

}  // namespace

std::string TemporaryPrefixFor(const std::string& path) { return FolderOf(path) + "." + StemFor(path) + MARK; }

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return TemporaryPrefixFor(path) + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// ---- the registry and interrupts ------------------------------------------------------------

namespace {

constexpr int SLOTS = 64;  // more temporary files than this at once are not covered
std::atomic<const char*> gTemporaries[SLOTS];
std::atomic<int> gWalks{0};  // walks of the table going on
std::atomic<int> gHeld{0};

void Pause() {
#ifdef _WIN32
  Sleep(1);
#else
  sched_yield();
#endif
}

// Calls `remove` with the path of every registered file; ForgetTemporary waits meanwhile.
template <typename Remove>
void EachRegistered(Remove remove) {
  ++gWalks;
  for (std::atomic<const char*>& slot : gTemporaries) {
    if (const char* path = slot.load()) remove(path);
  }
  --gWalks;
}

#ifdef _WIN32
BOOL WINAPI RemoveAndEnd(DWORD) {  // every console event ends the program
  while (gHeld.load() > 0) Sleep(1);  // outputs being renamed into place finish first
  EachRegistered([](const char* path) { DeleteFileA(path); });
  ExitProcess(0xC000013A);  // the status of a program ended by Ctrl-C
  return TRUE;
}
#else
extern "C" void RemoveAndEnd(int signalNumber) {
  EachRegistered([](const char* path) { unlink(path); });
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

#endif

void MaskInterrupts([[maybe_unused]] bool masked) {
#ifndef _WIN32
  sigset_t set;
  sigemptyset(&set);
  for (int signalNumber : INTERRUPT_SIGNALS) sigaddset(&set, signalNumber);
  sigprocmask(masked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
#endif
}

}  // namespace

void RegisterTemporary(const std::string& path) {
  for (std::atomic<const char*>& slot : gTemporaries) {
    const char* free = nullptr;
    if (slot.compare_exchange_strong(free, path.c_str())) return;
  }
}

// A walk that may have read the path before it left the table ends before the path may change.
void ForgetTemporary(const std::string& path) {
  for (std::atomic<const char*>& slot : gTemporaries) {
    const char* registered = path.c_str();
    if (!slot.compare_exchange_strong(registered, nullptr)) continue;
    while (gWalks.load() > 0) Pause();
    return;
  }
}

void RemoveRegisteredTemporaries() {
  EachRegistered([](const char* path) { RemoveTemporary(path); });
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

// On POSIX the signals wait blocked, and one that came meanwhile is taken once unblocked.
InterruptsHeld::InterruptsHeld() {
  if (gHeld.fetch_add(1) == 0) MaskInterrupts(true);
}

InterruptsHeld::~InterruptsHeld() {
  if (gHeld.fetch_sub(1) == 1) MaskInterrupts(false);
}

// ---- removing -------------------------------------------------------------------------------

namespace {

std::vector<std::string> gLeftBehind;  // lines; the program's one thread adds and takes them

}  // namespace

bool RemoveTemporary(const std::string& path) {
  SystemError failure = RemoveFile(path);
  if (failure != 0 && !IsMissing(failure)) {
#ifdef _WIN32
    Sleep(50);
#endif
    failure = RemoveFile(path);
  }
  if (failure == 0 || IsMissing(failure)) return true;
  gLeftBehind.push_back("cannot remove " + path + ": " + SystemReason(failure));
  return false;
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
bool RemoveIfUnheld(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}
#else
// Nobody holds it when its lock can be taken; it is removed while the lock is ours, and only while
// the name still leads to the file locked.
bool RemoveIfUnheld(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat locked{}, named{};
  bool removed = fstat(fd, &locked) == 0 && S_ISREG(locked.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                 lstat(path.c_str(), &named) == 0 && named.st_ino == locked.st_ino && named.st_dev == locked.st_dev &&
                 RemoveTemporary(path);
  ::close(fd);
  return removed;
}
#endif

// "PID-N": what a temporary name has after its prefix.
bool IsProcessAndCounter(const std::string& rest) { return std::regex_match(rest, std::regex("[0-9]+-[0-9]+")); }

}  // namespace

size_t RemoveStaleTemporaries(const std::string& path) {
  std::string target;
  if (ResolveLinks(path, &target) != 0) return 0;
  std::string folder = FolderOf(target), prefix = FileNameOf(TemporaryPrefixFor(target));
  std::vector<std::string> names;
  if (NamesIn(folder, prefix, &names) != 0) return 0;
  size_t removed = 0;
  for (const std::string& name : names) {
    if (IsProcessAndCounter(name.substr(prefix.size())) && RemoveIfUnheld(folder + name)) ++removed;
  }
  return removed;
}

}  // namespace dustweave
