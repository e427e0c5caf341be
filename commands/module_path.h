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

// The places looked at, in order, for a module file `name` and a program at `programPath`.
std::vector<std::string> ModuleCandidates(const std::string& programPath,
                                          const std::string& name = DefaultModuleName());

// The first candidate that is a file; false, with a one-line reason naming where it looked and
// that --module names one, when there is none.
bool FindDefaultModule(std::string* module, std::string* error);

// A module named to `run`: a path stays as it is, and so does a name that is a file in the
// current folder; any other bare name is looked for where the default module is, beside the
// program, and is the first candidate found there (else itself, for the loader to refuse).
std::string ModuleNamed(const std::string& given);

}  // namespace dustweave
