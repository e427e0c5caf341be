// Temporary names, the list an interrupt removes and the one handler that does it (which reads the
// list only while nothing changes it, and only removes files), removal, and the sweep.
#include "platform/temp_files.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <regex>

#include "platform/file_handle.h"
#include "platform/path_queries.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace dustweave {

namespace {

constexpr const char* PARTIAL = ".partial-";
// What follows the stem: ".partial-", a process ID and a counter.
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

std::string TemporaryPrefixFor(const std::string& path) { return FolderOf(path) + "." + StemFor(path) + PARTIAL; }

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return TemporaryPrefixFor(path) + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// ---- the list and interrupts ----------------------------------------------------------------

namespace {

std::vector<std::string> gTemporaries;  // read by the handlers only while no one changes it
std::atomic<int> gHeld{0};
void (*gSayFirst)() = nullptr;

// Removes every listed file as the program ends, with the system's call alone: no allocation,
// no seam, nothing noted.
void RemoveListedAtTheEnd() {
#ifdef _WIN32
  for (const std::string& path : gTemporaries) DeleteFileA(path.c_str());
#else
  for (const std::string& path : gTemporaries) unlink(path.c_str());
#endif
}

#ifdef _WIN32
std::atomic<bool> gEnding{false};  // the console handler's thread is ending the program

// Every console event ends the program, once the list and renames into place are still. The
// process is ended where it stands: the other threads stopped at arbitrary points, so neither
// the libraries' detach nor the C runtime's clean-up may run after them.
BOOL WINAPI EndByConsoleEvent(DWORD) {
  gEnding = true;
  while (gHeld.load() > 0) Sleep(1);
  if (gSayFirst != nullptr) gSayFirst();
  RemoveListedAtTheEnd();
  TerminateProcess(GetCurrentProcess(), 0xC000013A);  // the status of a program ended by Ctrl-C
  return TRUE;
}

// The console handler runs on a thread of its own: a thread that comes to hold interrupts once
// it has begun gives the hold back and waits here for the end, changing nothing.
void StayIfEnding() {
  if (!gEnding.load()) return;
  --gHeld;
  for (;;) Sleep(INFINITE);
}
#else
constexpr int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signalNumber : INTERRUPTS) sigaddset(&set, signalNumber);
  return set;
}

// The interrupts wait blocked; one that came meanwhile is taken once unblocked.
void BlockInterrupts(bool blocked) {
  sigset_t set = InterruptSet();
  pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

extern "C" void EndBySignal(int signalNumber) {
  if (gSayFirst != nullptr) gSayFirst();
  RemoveListedAtTheEnd();
  if (signalNumber == SIGQUIT) _exit(128 + SIGQUIT);  // its status, without the core it would leave here
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);  // taken when the handler returns
}
#endif

void (*gSayOutOfMemory)() = nullptr;
int gOutOfMemoryStatus = 1;

thread_local bool tEndingOutOfMemory = false;
std::atomic<bool> gEndingOutOfMemory{false};

// A thread that runs out of memory while another ends the program waits for the end.
[[noreturn]] void WaitForTheEnd() {
  for (;;) {
#ifdef _WIN32
    Sleep(INFINITE);
#else
    pause();
#endif
  }
}

// operator new's handler: it never returns, so no allocation throws std::bad_alloc. Memory that
// runs out again while it ends the program (a line or a path made on the way) ends it at once.
void EndOutOfMemory() {
  if (tEndingOutOfMemory) std::_Exit(gOutOfMemoryStatus);
  tEndingOutOfMemory = true;
  if (gEndingOutOfMemory.exchange(true)) WaitForTheEnd();
  InterruptsHeld held;  // the list stays still, and no interrupt ends the program meanwhile
  if (gSayOutOfMemory != nullptr) gSayOutOfMemory();
  RemoveListedAtTheEnd();
  std::_Exit(gOutOfMemoryStatus);
}

}  // namespace

void RegisterTemporary(const std::string& path) {
  InterruptsHeld held;
  gTemporaries.push_back(path);
}

void ForgetTemporary(const std::string& path) {
  InterruptsHeld held;
  auto at = std::find(gTemporaries.begin(), gTemporaries.end(), path);
  if (at != gTemporaries.end()) gTemporaries.erase(at);
}

void RemoveRegisteredTemporaries() {
  for (const std::string& path : gTemporaries) RemoveTemporary(path);
}

void EndOnInterrupts(void (*sayFirst)()) {
  gSayFirst = sayFirst;
#ifdef _WIN32
  SetConsoleCtrlHandler(EndByConsoleEvent, TRUE);
#else
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action{}, before{};
  action.sa_handler = EndBySignal;
  action.sa_mask = InterruptSet();  // one interrupt ends the program
  for (int signalNumber : INTERRUPTS) {
    if (sigaction(signalNumber, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) sigaction(signalNumber, &action, nullptr);
  }
#endif
}

void EndWhenMemoryRunsOut(void (*sayFirst)(), int status) {
  gSayOutOfMemory = sayFirst;
  gOutOfMemoryStatus = status;
  std::set_new_handler(EndOutOfMemory);
}

#ifdef _WIN32
InterruptsHeld::InterruptsHeld() {
  if (gHeld.fetch_add(1) == 0) StayIfEnding();
}

InterruptsHeld::~InterruptsHeld() { --gHeld; }
#else
InterruptsHeld::InterruptsHeld() {
  if (gHeld.fetch_add(1) == 0) BlockInterrupts(true);
}

InterruptsHeld::~InterruptsHeld() {
  if (gHeld.fetch_sub(1) == 1) BlockInterrupts(false);
}
#endif

// ---- removing -------------------------------------------------------------------------------

namespace {

std::vector<std::string> gLeftBehind;  // lines; the program's one thread adds and takes them

void NoteLeftBehind(const std::string& path, SystemError failure) {
  gLeftBehind.push_back("cannot remove " + path + ": " + SystemReason(failure));
}

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
  NoteLeftBehind(path, failure);
  return false;
}

std::vector<std::string> LeftBehindLines() {
  std::vector<std::string> lines;
  lines.swap(gLeftBehind);
  return lines;
}

// ---- the sweep ------------------------------------------------------------------------------

namespace {

// "PID-N" after the prefix, and none of the names `given`.
bool MayBeLeftover(const std::string& folder, const std::string& name, size_t prefix, const std::vector<std::string>& given) {
  auto isGiven = [&](const std::string& path) { return SamePlace(folder + name, path); };
  return std::regex_match(name.substr(prefix), std::regex("[0-9]+-[0-9]+")) && std::none_of(given.begin(), given.end(), isGiven);
}

}  // namespace

Sweep SweepTemporaries(const std::string& path, const std::vector<std::string>& given) {
  Sweep sweep;
  std::string target;
  std::vector<std::string> names;
  if (ResolveLinks(path, &target) != 0) return sweep;
  std::string folder = FolderOf(target), prefix = FileNameOf(TemporaryPrefixFor(target));
  if (NamesIn(folder, prefix, &names) != 0) return sweep;
  for (const std::string& name : names) {
    FileHandle file;
    bool marked = false;
    if (!MayBeLeftover(folder, name, prefix.size(), given) || file.HoldToRemove(folder + name, &marked) != 0) continue;  // or held
    if (!marked) sweep.unproven.push_back(folder + name);
    else if (SystemError failure = file.RemoveHeld()) NoteLeftBehind(folder + name, failure);
    else ++sweep.removed;
  }
  return sweep;
}

}  // namespace dustweave
