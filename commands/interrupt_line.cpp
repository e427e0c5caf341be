// The interrupt's line: worked out in full before the run, so that a signal handler only has to
// look at the outputs (stat) and write one of two prepared texts. Divisions: the texts; the
// outputs' identities; the line as the handler writes it.
#include "commands/interrupt_line.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dustweave {

// ---- the texts --------------------------------------------------------------------------------

namespace {

std::string Listed(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return list;
}

}  // namespace

std::string NothingWrittenLine(const std::vector<std::string>& outputs, const std::vector<bool>& existed) {
  std::vector<std::string> kept;
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (existed[i]) kept.push_back(outputs[i]);
  }
  std::string line = "interrupted: nothing written";
  if (kept.empty()) return line;
  return line + "; " + Listed(kept) + (kept.size() == 1 ? " is as it was" : " are as they were");
}

std::string WrittenLine(const std::vector<std::string>& outputs) {
  return "interrupted after writing " + Listed(outputs);
}

// ---- the outputs' identities ------------------------------------------------------------------

namespace {

constexpr size_t MAX_OUTPUTS = 4;
constexpr size_t LINE_ROOM = 4096;

struct Identity {
  bool exists = false;
  unsigned long long volume = 0, file = 0;
  bool operator==(const Identity&) const = default;
};

// Prepared before the run, read by the handler: plain arrays, no allocation there.
struct Prepared {
  size_t outputs = 0;
  char paths[MAX_OUTPUTS][LINE_ROOM] = {};
  Identity before[MAX_OUTPUTS];
  char nothingWritten[LINE_ROOM] = {}, written[LINE_ROOM] = {};
};
Prepared gPrepared;
std::atomic<bool> gReady{false};  // gPrepared is whole
bool gTerminal = false;  // standard error is one: the line starts over the one the cursor is on
std::atomic<size_t> gOpenLineWidth{0};

#ifdef _WIN32
Identity IdentityOf(const char* path) {
  Identity identity;
  HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return identity;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info)) {
    identity.exists = true;
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  CloseHandle(handle);
  return identity;
}
#else
Identity IdentityOf(const char* path) {  // stat is safe in a signal handler
  Identity identity;
  struct stat info;
  if (stat(path, &info) != 0) return identity;
  identity.exists = true;
  identity.volume = static_cast<unsigned long long>(info.st_dev);
  identity.file = static_cast<unsigned long long>(info.st_ino);
  return identity;
}
#endif

// Whether any output's name now holds another file than before the run: the outputs are
// committed together, so then all are.
bool Committed() {
  for (size_t i = 0; i < gPrepared.outputs; ++i) {
    if (!(IdentityOf(gPrepared.paths[i]) == gPrepared.before[i])) return true;
  }
  return false;
}

void CopyText(char* to, const std::string& text) {
  size_t size = std::min(text.size(), LINE_ROOM - 1);
  std::memcpy(to, text.data(), size);
  to[size] = '\0';
}

bool StandardErrorIsATerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

// ---- the line as the handler writes it ---------------------------------------------------------

// On a terminal the line is written over the one the cursor is on: the progress line, and the
// "^C" the terminal echoed after it, are padded out.
size_t LineToPrint(char* out, size_t room) {
  constexpr size_t ECHOED = 2;  // "^C"
  const char* text = Committed() ? gPrepared.written : gPrepared.nothingWritten;
  size_t at = 0, columns = 0;
  auto put = [&](const char* part) {
    for (const char* c = part; *c != '\0' && at + 2 < room; ++c, ++columns) out[at++] = *c;
  };
  if (gTerminal) out[at++] = '\r';
  put("dustweave: ");
  put(text);
  if (gTerminal) {
    for (size_t wide = gOpenLineWidth.load() + ECHOED; columns < wide && at + 2 < room; ++columns) out[at++] = ' ';
  }
  out[at++] = '\n';
  return at;
}

#ifdef _WIN32
void WriteLine(const char* text, size_t size) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0, written = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  if (!GetConsoleMode(handle, &mode)) {
    WriteFile(handle, text, static_cast<DWORD>(size), &written, nullptr);
    return;
  }
  wchar_t wide[2 * LINE_ROOM];
  int units = MultiByteToWideChar(GetACP(), 0, text, static_cast<int>(size), wide, static_cast<int>(2 * LINE_ROOM));
  if (units > 0) WriteConsoleW(handle, wide, static_cast<DWORD>(units), &written, nullptr);
}
#else
void WriteLine(const char* text, size_t size) {  // a closed standard error only loses the line
  for (size_t done = 0; done < size;) {
    ssize_t written = write(STDERR_FILENO, text + done, size - done);
    if (written <= 0) break;
    done += static_cast<size_t>(written);
  }
}
#endif

}  // namespace

void PrepareInterruptLine(const std::vector<std::string>& outputs) {
  gReady = false;
  std::vector<std::string> named;
  for (const std::string& output : outputs) {
    if (!output.empty() && named.size() < MAX_OUTPUTS && output.size() < LINE_ROOM) named.push_back(output);
  }
  std::vector<bool> existed;
  gPrepared.outputs = named.size();
  for (size_t i = 0; i < named.size(); ++i) {
    CopyText(gPrepared.paths[i], named[i]);
    gPrepared.before[i] = IdentityOf(gPrepared.paths[i]);
    existed.push_back(gPrepared.before[i].exists);
  }
  CopyText(gPrepared.nothingWritten, NothingWrittenLine(named, existed));
  CopyText(gPrepared.written, WrittenLine(named));
  gTerminal = StandardErrorIsATerminal();
  gReady = true;
}

// The interrupt's handler runs this once renames into place are over (platform/temp_files.h).
void SayInterruptLine() {
  if (!gReady) return;
  char line[2 * LINE_ROOM];
  WriteLine(line, LineToPrint(line, sizeof line));
}

void NoteOpenScreenLine(size_t width) { gOpenLineWidth = width; }

}  // namespace dustweave
