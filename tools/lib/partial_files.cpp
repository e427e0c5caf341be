// The registry is a fixed table of atomic pointers to private copies of the paths, so that a
// signal handler can walk it without locks or allocation; unlink is safe to call there.
#include "tools/lib/partial_files.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace dustweave {

namespace {

// More temporary files than this open at once are not removed on an interrupt.
constexpr int SLOTS = 64;
std::atomic<char*> gPartialFiles[SLOTS];

#ifndef _WIN32
extern "C" void RemovePartialFilesAndEnd(int signalNumber) {
  for (std::atomic<char*>& slot : gPartialFiles) {
    char* path = slot.load();
    if (path != nullptr) unlink(path);
  }
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}
#endif

}  // namespace

void RegisterPartialFile(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  for (std::atomic<char*>& slot : gPartialFiles) {
    char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, copy)) return;
  }
  delete[] copy;
}

void ForgetPartialFile(const std::string& path) {
  for (std::atomic<char*>& slot : gPartialFiles) {
    char* held = slot.load();
    if (held != nullptr && path == held && slot.compare_exchange_strong(held, nullptr)) {
      delete[] held;
      return;
    }
  }
}

void RemovePartialFilesOnInterrupt() {
#ifndef _WIN32
  struct sigaction action{};
  action.sa_handler = RemovePartialFilesAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
#endif
}

}  // namespace dustweave
