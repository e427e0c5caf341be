// Finding the module installed beside dustweave: the candidate folders of a build tree, an
// unpacked release and an installed layout, joined as text to the program's own path, so that a
// folder of any name leads to the file that is there.
#include "commands/module_path.h"

#include "platform/path_queries.h"

namespace dustweave {

std::string DefaultModuleName() {
#if defined(_WIN32)
  return sizeof(void*) == 8 ? "mirod_dustweave64.p" : "mirod_dustweave32.p";
#else
  return "mirod_dustweave.so";
#endif
}

#if !defined(_WIN32)
namespace {

// The folder that holds `folder`: "/usr/bin/" -> "/usr/".
std::string FolderAbove(std::string folder) {
  while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  return FolderOf(folder);
}

}  // namespace
#endif

std::vector<std::string> ModuleCandidates(const std::string& programPath, const std::string& name) {
  std::string folder = FolderOf(programPath);
  std::vector<std::string> candidates = {JoinPath(folder, name)};
#if !defined(_WIN32)
  candidates.push_back(JoinPath(JoinPath(JoinPath(FolderAbove(folder), "lib"), "dustweave"), name));
#endif
  return candidates;
}

bool FindDefaultModule(std::string* module, std::string* error) {
  std::string program = ProgramPath();
  if (program.empty()) {
    *error = "cannot tell where this program is, to find " + DefaultModuleName() + " beside it: --module names one";
    return false;
  }
  std::vector<std::string> candidates = ModuleCandidates(program);
  for (const std::string& candidate : candidates) {
    if (IsRegularFile(candidate)) {
      *module = candidate;
      return true;
    }
  }
  std::string tooLong = PathLengthRefusal(candidates.front());
  if (!tooLong.empty()) {
    *error = "cannot load the module beside this program, " + candidates.front() + ": " + tooLong;
    return false;
  }
  std::string looked;
  for (const std::string& candidate : candidates) looked += (looked.empty() ? "" : " and ") + candidate;
  *error = "no module found: looked for " + looked + "; --module names one";
  return false;
}

std::string ModuleNamed(const std::string& given) {
  if (given.empty() || FileNameStart(given) != 0 || IsRegularFile(given)) return given;
  std::string program = ProgramPath();
  if (program.empty()) return given;
  for (const std::string& candidate : ModuleCandidates(program, given)) {
    if (IsRegularFile(candidate)) return candidate;
  }
  return given;
}

}  // namespace dustweave
