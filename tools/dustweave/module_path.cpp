// Finding the module installed beside dustweave: the program's own path from the system, and
// the candidate folders of a build tree, an unpacked release and an installed layout.
#include "tools/dustweave/module_path.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace dustweave {

namespace fs = std::filesystem;

std::string DefaultModuleName() {
#if defined(_WIN32)
  return sizeof(void*) == 8 ? "mirod_dustweave64.p" : "mirod_dustweave32.p";
#else
  return "mirod_dustweave.so";
#endif
}

std::string ProgramPath() {
#if defined(_WIN32)
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return "";
  return std::string(path, length);
#else
  std::error_code error;
  fs::path path = fs::read_symlink("/proc/self/exe", error);
  return error ? "" : path.string();
#endif
}

std::vector<std::string> ModuleCandidates(const std::string& programPath) {
  fs::path folder = fs::path(programPath).parent_path();
  std::string name = DefaultModuleName();
  std::vector<std::string> candidates = {(folder / name).string()};
#if !defined(_WIN32)
  candidates.push_back((folder.parent_path() / "lib" / "dustweave" / name).string());
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
    std::error_code ignored;
    if (fs::is_regular_file(candidate, ignored)) {
      *module = candidate;
      return true;
    }
  }
  std::string looked;
  for (const std::string& candidate : candidates) looked += (looked.empty() ? "" : " and ") + candidate;
  *error = "no module found: looked for " + looked + "; --module names one";
  return false;
}

}  // namespace dustweave
