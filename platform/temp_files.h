// Temporary files beside an output: their names, the list of those made (which an interrupt or
// running out of memory removes as it ends the program), their removal with what could not be removed noted, and the
// sweep that removes what an earlier run left when it was killed or the machine stopped.
//
// Every temporary file of an output NAME is ".NAME.partial-PID-N" in NAME's folder; a name too
// long for that is cut at a character's end and marked with a hash of the whole name
// (".NAMESTART~1a2b3c4d.partial-PID-N"), so it stays within the folder's name limit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace dustweave {

// How many bytes longer than an output's own name its temporary names may be: "." before the
// name, ".partial-", a process ID and a counter of up to 20 digits each. A path is checked for
// length with this much room when it names an output.
inline constexpr size_t TEMPORARY_NAME_ROOM = 1 + 9 + 20 + 1 + 20;

// A new temporary name for an output at `path`, unique by the process ID and a counter; and what
// every temporary name of `path` begins with.
std::string TemporaryNameFor(const std::string& path);
std::string TemporaryPrefixFor(const std::string& path);

// ---- the list and interrupts ----------------------------------------------------------------

// The list an interrupt removes: a name goes in before its file is created and out after it is
// renamed or removed. It changes only while interrupts are held (below), from one thread.
void RegisterTemporary(const std::string& path);
void ForgetTemporary(const std::string& path);
// Removes every listed file (for a run that must end at once), noting those it cannot.
void RemoveRegisteredTemporaries();

// Installed once, at the start: an interrupt calls `sayFirst` (if given; it may only write),
// removes the listed files and ends the program by itself. POSIX: SIGINT, SIGTERM, SIGHUP and
// SIGQUIT, each unless it was ignored at the start (nohup, a background job); SIGPIPE and SIGXFSZ
// are ignored, so that a closed pipe or a file-size limit fails a write ("File too large") instead
// of ending a run with its files half made. Windows: Ctrl-C (unless the parent turned it off),
// Ctrl-Break and closing the console, after which the process is ended where it stands.
void EndOnInterrupts(void (*sayFirst)());

// Installed once, at the start, as operator new's handler: when memory runs out, on whatever
// thread and under whatever frames (the module's among them), the program calls `sayFirst` (it
// may only write), removes the listed files and ends with `status`. No allocation throws.
void EndWhenMemoryRunsOut(void (*sayFirst)(), int status);

// While one is alive, interrupts wait: outputs are renamed into place as one step, and the list
// changes as one.
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

// ---- removing what this program made ------------------------------------------------------

// Removes a file this program made and needs no more, trying twice (a scanner or an indexer may
// hold it a moment); true when it is gone. One that stays is noted for LeftBehindLines.
bool RemoveTemporary(const std::string& path);
// One line for each file that could not be removed since the last call ("cannot remove PATH:
// REASON"), for the program to say.
std::vector<std::string> LeftBehindLines();

struct Sweep {
  size_t removed = 0;
  std::vector<std::string> unproven;  // named like temporary files, but with no mark of their own: left
};
// Removes the temporary files that killed runs left beside `path`, whatever their age or process
// ID: those whose name, mark made for them (FileHandle::Create) and free lock all say this
// program made them. A file with the name alone, or a copy carrying another file's mark, is only
// listed; the files `given` (the command's input and outputs) are neither. Nothing else in the
// folder is touched.
Sweep SweepTemporaries(const std::string& path, const std::vector<std::string>& given);

}  // namespace dustweave
