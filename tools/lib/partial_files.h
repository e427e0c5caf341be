// Temporary output files that an interrupted program removes on its way out. Every OutputFile
// registers its temporary file while it is open; RemovePartialFilesOnInterrupt installs handlers
// for SIGINT, SIGTERM and SIGHUP that remove them, then end the program by the same signal.
#pragma once

#include <string>

namespace dustweave {

void RegisterPartialFile(const std::string& path);
void ForgetPartialFile(const std::string& path);

// POSIX systems only; elsewhere an interrupted run leaves its ".partial" files beside the outputs
// (never under an output's own name).
void RemovePartialFilesOnInterrupt();

}  // namespace dustweave
