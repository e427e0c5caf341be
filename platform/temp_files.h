// Temporary files beside an output: their names, the process's list of those it has made (which
// an interrupt removes on its way out), their removal with what could not be removed noted, and
// the sweep that removes what an earlier run left when it was killed or the machine stopped.
//
// Every temporary file of an output NAME is ".NAME.partial-PID-N" in NAME's folder; a name too
// long for that is cut at a character's end and marked with a hash of the whole name
// (".NAMESTART~1a2b3c4d.partial-PID-N"), so it stays within the folder's name limit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#endif

namespace dustweave {

// How many bytes longer than an output's own name its temporary names may be: "." before the
// name, ".partial-", a process ID and a counter of up to 20 digits each. A path is checked for
// length with this much room when it names an output.
inline constexpr size_t TEMPORARY_NAME_ROOM = 1 + 9 + 20 + 1 + 20;

// A new temporary name for an output at `path`, unique by the process ID and a counter; and what
// every temporary name of `path` begins with.
std::string TemporaryNameFor(const std::string& path);
std::string TemporaryPrefixFor(const std::string& path);

// ---- the registry and interrupts ------------------------------------------------------------

// Kept in a table that an interrupt handler walks without locks or allocation: the table points
// at `path` itself, which must stay unchanged until ForgetTemporary(path) has returned (it waits
// while a handler may be reading it). Register before the file exists, forget after it is
// renamed or removed: no moment is left uncovered. Both are called from one thread; the handler
// may run on any.
void RegisterTemporary(const std::string& path);
void ForgetTemporary(const std::string& path);
// Removes every registered file (for a run that must end at once), noting those it cannot.
void RemoveRegisteredTemporaries();

// Installs what removes the registered files on an interrupt before the program ends by it:
// SIGINT, SIGTERM and SIGHUP on POSIX; Ctrl-C, Ctrl-Break and closing the console on Windows.
void RemoveTemporariesOnInterrupt();
#ifndef _WIN32
inline constexpr int INTERRUPT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
inline constexpr size_t INTERRUPTS = sizeof INTERRUPT_SIGNALS / sizeof INTERRUPT_SIGNALS[0];
// Makes `handler` the handler of each interrupt signal; the handlers they had go to `before`
// (INTERRUPTS of them, in INTERRUPT_SIGNALS' order) when it is given.
void HandleInterrupts(void (*handler)(int), struct sigaction* before = nullptr);
#endif
// While one is alive, interrupts wait: outputs are renamed into place as one step.
bool InterruptsAreHeld();  // whether one is alive now, for a handler of another thread to wait on
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

// Removes the temporary files of `path` that no process holds, whatever their age or process ID:
// what a kill or a power cut left. A temporary file only ever holds an output not yet renamed
// into place, never the only copy of anything. Nothing else in the folder is touched. Returns how
// many were removed.
size_t RemoveStaleTemporaries(const std::string& path);

}  // namespace dustweave
