// The one line an interrupt leaves behind a command that writes files: Ctrl-C (SIGINT, SIGTERM,
// SIGHUP, SIGQUIT; on Windows also Ctrl-Break and closing the console) says what is on the disk
// before the temporary files go and the program ends by the interrupt, instead of a bare "^C".
// Memory running out ends a command with the same line under its own cause.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace dustweave {

// Prepares the line for a command that writes `outputs` (as named on the command line), with
// those that hold a file now: "interrupted: nothing written; chains.glb is as it was", or, when
// the outputs were already committed, "interrupted after writing chains.glb".
void PrepareInterruptLine(const std::vector<std::string>& outputs);
// Writes the line prepared, if any: what the interrupt handler says first (see
// EndOnInterrupts in platform/temp_files.h). Safe in a signal handler.
void SayInterruptLine();
// Writes the line prepared with "out of memory" for its cause, or that alone when none is
// prepared: what operator new's handler says first (EndWhenMemoryRunsOut). Allocates nothing.
void SayOutOfMemoryLine();

// The width of a line left open on a terminal (the progress line), which the interrupt's line
// writes over; 0 when none is.
void NoteOpenScreenLine(size_t width);

// The two lines, as they are printed after "dustweave: " (for tests): `cause` is "interrupted" or
// "out of memory"; `existed` says which outputs had a file before.
std::string NothingWrittenLine(const std::string& cause, const std::vector<std::string>& outputs,
                               const std::vector<bool>& existed);
std::string WrittenLine(const std::string& cause, const std::vector<std::string>& outputs);

}  // namespace dustweave
