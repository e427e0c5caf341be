// The system's error texts, the seam, and the fault plan that counts operations through it.
#include "platform/file_seam.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace dustweave {

// ---- errors ---------------------------------------------------------------------------------

#ifdef _WIN32
// The system's message in the process code page, without its closing full stop and line end.
std::string SystemReason(SystemError error) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length > 0 ? std::string(text, length) : "";
  LocalFree(text);
  reason.erase(reason.find_last_not_of("\r\n .") + 1);
  return reason.empty() ? "Windows error " + std::to_string(static_cast<unsigned long>(error)) : reason;
}

bool IsMissing(SystemError error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
#else
std::string SystemReason(SystemError error) { return std::generic_category().message(error); }

bool IsMissing(SystemError error) { return error == ENOENT || error == ENOTDIR; }
#endif

// ---- the seam -------------------------------------------------------------------------------

namespace {

std::atomic<FileFault> gFault{nullptr};

const char* FileOpName(FileOp op) {
  static const char* const NAMES[] = {"query", "list",     "create",   "mark", "open",   "write",  "read",
                                      "copy",  "truncate", "set-mode", "sync", "rename", "remove", "sync-folder"};
  return NAMES[static_cast<int>(op)];
}

}  // namespace

void SetFileFault(FileFault fault) { gFault.store(fault); }

SystemError FaultAt(FileOp op, const std::string& path) {
  FileFault fault = gFault.load();
  return fault != nullptr ? fault(op, path) : 0;
}

// ---- the plan -------------------------------------------------------------------------------

namespace {

FileFaultPlan gPlan;
std::atomic<uint64_t> gCounted{0};
std::FILE* gLog = nullptr;  // appended to by whole lines, each one write of its own (stdio locks)

void Log(uint64_t number, FileOp op, const std::string& path) {
  if (gLog == nullptr) return;
  std::string line = std::to_string(number) + " " + FileOpName(op) + " " + path + "\n";
  std::fwrite(line.data(), 1, line.size(), gLog);
  std::fflush(gLog);
}

void PutFileMeanwhile(const std::string& path) {
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fputs(MADE_MEANWHILE, file);
    std::fclose(file);
  }
}

[[noreturn]] void StopDead() {
#ifdef _WIN32
  TerminateProcess(GetCurrentProcess(), 137);
#else
  kill(getpid(), SIGKILL);
#endif
  std::abort();  // not reached
}

SystemError PlannedFault(FileOp op, const std::string& path) {
  uint64_t number = ++gCounted;
  Log(number, op, path);
  using Break = FileFaultPlan::Break;
  if (number == gPlan.at && gPlan.how == Break::StopDead) StopDead();
  if (number == gPlan.at && gPlan.how == Break::FileAppears) PutFileMeanwhile(path);
  bool broken = (number == gPlan.at && gPlan.how == Break::Once) ||
                (number >= gPlan.at && gPlan.how == Break::FromThenOn);
  return broken ? SYSTEM_IO_ERROR : 0;
}

}  // namespace

bool ParseFileFaultPlan(const std::string& text, FileFaultPlan* plan, std::string* error) {
  using Break = FileFaultPlan::Break;
  *plan = FileFaultPlan();
  std::smatch part;
  bool known = std::regex_match(text, part, std::regex("(none|once|from|dead|appear)(?::([0-9]+))?(?:,log=(.+))?"));
  std::string how = part[1];
  plan->how = how == "once"     ? Break::Once
              : how == "from"   ? Break::FromThenOn
              : how == "dead"   ? Break::StopDead
              : how == "appear" ? Break::FileAppears
                                : Break::Nothing;
  plan->at = part[2].matched ? std::strtoull(part[2].str().c_str(), nullptr, 10) : 0;
  plan->log = part[3];
  if (!known || (plan->how == Break::Nothing) != !part[2].matched || (part[2].matched && plan->at == 0)) {
    *error = "a fault plan is none, once:N, from:N, dead:N or appear:N, then ,log=PATH: " + text;
    return false;
  }
  return true;
}

bool StartFileFaultPlan(const FileFaultPlan& plan, std::string* error) {
  gPlan = plan;
  gCounted = 0;
  if (!plan.log.empty() && (gLog = std::fopen(plan.log.c_str(), "ab")) == nullptr) {
    *error = "cannot open " + plan.log + ": " + std::generic_category().message(errno);
    return false;
  }
  SetFileFault(PlannedFault);
  return true;
}

}  // namespace dustweave
