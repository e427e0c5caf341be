// The system's errors as the file layer reports them, and the seam through which tests break the
// layer's file operations. Every call the layer makes to the system about a file or a folder asks
// the seam first, which may fail it with an error, stop the process dead before it, or put a file
// of another program's under its name just before it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

namespace dustweave {

// A failure as the system numbers it: errno on POSIX, GetLastError() on Windows; 0 is none.
using SystemError = int;

// The system's own text for an error: strerror on POSIX, FormatMessage on Windows.
std::string SystemReason(SystemError error);
// Whether the error says that nothing is under the name (or its folder is missing).
bool IsMissing(SystemError error);

#ifdef _WIN32
inline constexpr SystemError SYSTEM_IO_ERROR = 1117;   // ERROR_IO_DEVICE
inline constexpr SystemError SYSTEM_NAME_TAKEN = 80;   // ERROR_FILE_EXISTS
#else
inline constexpr SystemError SYSTEM_IO_ERROR = EIO;
inline constexpr SystemError SYSTEM_NAME_TAKEN = EEXIST;
#endif

// ---- the seam -------------------------------------------------------------------------------

// What the layer asks the system ("query", "list", ... in a log line).
enum class FileOp {
  Query,       // what is under a name: kind, size, identity, permission bits, a link's target
  List,        // the names in a folder
  Create,      // a new file, exclusively
  Mark,        // this program's mark put on a temporary file it made
  Open,        // an existing file, to read
  Write,
  Read,
  Copy,        // bytes from one open file to another, in the kernel
  Truncate,
  SetMode,     // permission bits
  Sync,        // a file's bytes to the disk
  Rename,      // over another name
  Remove,
  SyncFolder,  // a folder's names to the disk
};

// Answers the error to fail `op` on `path` with, or 0 to let the system do it.
using FileFault = SystemError (*)(FileOp op, const std::string& path);
void SetFileFault(FileFault fault);  // null: no fault

// Asked by the layer before each operation: 0, or the error to fail it with.
SystemError FaultAt(FileOp op, const std::string& path);

// A fault plan for a whole run of a program, for tests that break its file operations by
// counting them: operation N fails once, or N and every later one fail, or the process stops dead
// (killed) just before N, or just before N a file appears under N's path (MADE_MEANWHILE, as
// another program writes it). Every operation is appended to the log, one line each
// ("N op path"), when one is named.
inline constexpr const char* MADE_MEANWHILE = "made by another program meanwhile\n";
struct FileFaultPlan {
  enum class Break { Nothing, Once, FromThenOn, StopDead, FileAppears };
  Break how = Break::Nothing;
  uint64_t at = 0;  // the operation, counted from 1
  std::string log;
};

// "none", "once:N", "from:N", "dead:N" or "appear:N", then optionally ",log=PATH".
bool ParseFileFaultPlan(const std::string& text, FileFaultPlan* plan, std::string* error);
// Installs the plan as the seam for the rest of the process.
bool StartFileFaultPlan(const FileFaultPlan& plan, std::string* error);

}  // namespace dustweave
