// Paths as text: the folder and name parts and their joining, names counted and cut as the file
// system counts them.
#include "platform/path_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/utf8.h"

namespace dustweave {

// ---- folder and name ----------------------------------------------------------------------

namespace {

#if defined(_WIN32)
constexpr char PREFERRED_SEPARATOR = '\\';
#else
constexpr char PREFERRED_SEPARATOR = '/';
#endif

// The length of the part of `path` that names no file of its own: a drive and a root separator
// ("C:\", "C:", "\", "/").
size_t RootLength(const std::string& path) {
  size_t length = 0;
#if defined(_WIN32)
  if (path.size() >= 2 && path[1] == ':') length = 2;
#endif
  if (length < path.size() && IsPathSeparator(path[length])) ++length;
  return length;
}

}  // namespace

bool IsPathSeparator(char c) { return c == '/' || c == PREFERRED_SEPARATOR; }

size_t FileNameStart(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
  return start > 0 ? start : RootLength(path);
}

std::string FolderOf(const std::string& path) { return path.substr(0, FileNameStart(path)); }

std::string FileNameOf(const std::string& path) { return path.substr(FileNameStart(path)); }

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  bool ended = IsPathSeparator(folder.back()) || RootLength(folder) == folder.size();
  return ended ? folder + name : folder + PREFERRED_SEPARATOR + name;
}

// ---- names as counted -----------------------------------------------------------------------

namespace {

// The bytes of the character that begins at `at`: UTF-8's lead byte tells (a stray byte stands
// alone); on Windows in a code page of two-byte characters, the code page's lead bytes do.
size_t CharacterBytes(const std::string& text, size_t at) {
#if defined(_WIN32)
  unsigned char lead = static_cast<unsigned char>(text[at]);
  if (GetACP() != CP_UTF8) return IsDBCSLeadByte(lead) && at + 1 < text.size() ? 2 : 1;
#endif
  size_t bytes = Utf8CharacterAt(text, at);
  return bytes > 0 ? bytes : 1;
}

}  // namespace

#if defined(_WIN32)
size_t NameUnits(const std::string& name) {
  if (name.empty()) return 0;
  int units = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  return units > 0 ? static_cast<size_t>(units) : name.size();
}

const char* NameUnitWord() { return "UTF-16 units"; }
#else
size_t NameUnits(const std::string& name) { return name.size(); }

const char* NameUnitWord() { return "bytes"; }
#endif

std::string NameStart(const std::string& name, size_t bytes) {
  size_t end = 0;
  while (end < name.size()) {
    size_t next = end + CharacterBytes(name, end);
    if (next > bytes) break;
    end = next;
  }
  return name.substr(0, end);
}

}  // namespace dustweave
