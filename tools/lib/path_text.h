// Paths as the bytes the program received them: split and joined as text, never converted to
// another encoding on their way to the system. '/' separates everywhere, '\' too on Windows.
#pragma once

#include <string>

namespace dustweave {

// Where the file name begins in `path` (after the last separator).
inline size_t FileNameStart(const std::string& path) {
#ifdef _WIN32
  size_t slash = path.find_last_of("/\\");
#else
  size_t slash = path.find_last_of('/');
#endif
  return slash == std::string::npos ? 0 : slash + 1;
}

// "dir/sub/" of "dir/sub/name" (with its separator), "" for a bare name.
inline std::string FolderOf(const std::string& path) { return path.substr(0, FileNameStart(path)); }
inline std::string FileNameOf(const std::string& path) { return path.substr(FileNameStart(path)); }

}  // namespace dustweave
