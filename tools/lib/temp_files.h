// Temporary files beside an output: their names, the process's list of those it has open (which
// an interrupt removes on its way out), and the sweep that removes what an earlier run left when
// it was killed or the machine stopped.
//
// Every temporary file of an output NAME is ".NAME.partial-PID-N" in NAME's folder; a name too
// long for that is cut at a character's end and marked with a hash of the whole name
// (".NAMESTART~1a2b3c4d.partial-PID-N"), so it stays within the folder's name limit.
#pragma once

#include <cstddef>
#include <string>

namespace dustweave {

// A new temporary name for an output at `path`: unique in this process, and between processes
// by the process ID.
std::string TemporaryNameFor(const std::string& path);

// What every temporary name of `path` begins with.
std::string TemporaryPrefixFor(const std::string& path);

// Kept in a table that an interrupt handler walks without locks or allocation. Register before
// the file exists, forget after it is renamed or removed: no moment is left uncovered.
void RegisterTemporary(const std::string& path);
void ForgetTemporary(const std::string& path);
// Removes every registered file (for a run that must end at once).
void RemoveRegisteredTemporaries();

// Installs what removes the registered files on an interrupt before the program ends by it:
// SIGINT, SIGTERM and SIGHUP on POSIX; Ctrl-C, Ctrl-Break and closing the console on Windows.
void RemoveTemporariesOnInterrupt();
// While one is alive, interrupts wait: outputs are renamed into place as one step.
bool InterruptsAreHeld();  // whether one is alive now, for a handler of another thread to wait on
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

// Removes the temporary files of `path` that no running program holds (left by a kill or a
// power cut); nothing else in the folder is touched. Returns how many were removed.
size_t RemoveStaleTemporaries(const std::string& path);

}  // namespace dustweave
