// Where dustweave looks for the plug-in module when none is named: beside the program itself,
// then in an installed layout's ../lib/dustweave/. The program's own path comes from the system
// (/proc/self/exe on Linux, GetModuleFileNameA on Windows), never from argv[0] or PATH.
#pragma once

#include <string>
#include <vector>

namespace dustweave {

// The module's file name for this build: mirod_dustweave.so, or mirod_dustweave64.p /
// mirod_dustweave32.p on Windows.
std::string DefaultModuleName();

// The places looked at, in order, for a program at `programPath`.
std::vector<std::string> ModuleCandidates(const std::string& programPath);

// The first candidate that is a file; false, with a one-line reason naming where it looked and
// that --module names one, when there is none.
bool FindDefaultModule(std::string* module, std::string* error);

}  // namespace dustweave
