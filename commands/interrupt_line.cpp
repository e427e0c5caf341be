// The interrupt's line: worked out in full before the run, so that a signal handler only has to
// write its cause and one of two prepared texts, as the outputs were committed or not.
// Divisions: the texts; the texts prepared; the line as the handler writes it.
#include "commands/interrupt_line.h"

#include <atomic>
#include <cstdio>

#include "commands/progress.h"
#include "platform/output_file.h"
#include "platform/path_queries.h"

#ifdef _WIN32
#include <windows.h>
#else
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

std::string NothingWrittenLine(const std::string& cause, const std::vector<std::string>& outputs,
                               const std::vector<bool>& existed) {
  std::vector<std::string> kept;
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (existed[i]) kept.push_back(outputs[i]);
  }
  std::string line = cause + ": nothing written";
  if (kept.empty()) return line;
  return line + "; " + Listed(kept) + (kept.size() == 1 ? " is as it was" : " are as they were");
}

std::string WrittenLine(const std::string& cause, const std::vector<std::string>& outputs) {
  return cause + " after writing " + Listed(outputs);
}

// ---- the texts prepared ----------------------------------------------------------------------

namespace {

constexpr size_t LINE_ROOM = 4096;

// Prepared before the run, read by the handler: plain arrays, no allocation there. Each is the
// line without its cause.
char gNothingWritten[LINE_ROOM], gWritten[LINE_ROOM];
std::atomic<bool> gReady{false};  // both texts are whole
bool gTerminal = false;  // standard error is one: the line starts over the one the cursor is on
std::atomic<size_t> gOpenLineWidth{0};

// ---- the line as the handler writes it ---------------------------------------------------------

// On a terminal the line is written over the one the cursor is on: the progress line, and the
// "^C" the terminal echoed after it, are padded out.
size_t LineToPrint(const char* cause, char* out, size_t room) {
  constexpr size_t ECHOED = 2;  // "^C"
  const char* text = !gReady ? "" : AnyOutputCommitted() ? gWritten : gNothingWritten;
  size_t at = 0, columns = 0;
  auto put = [&](const char* part) {
    for (const char* c = part; *c != '\0' && at + 2 < room; ++c, ++columns) out[at++] = *c;
  };
  if (gTerminal) out[at++] = '\r';
  put("dustweave: ");
  put(cause);
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
  std::vector<bool> existed;
  for (const std::string& output : outputs) {
    PathStatus status;
    existed.push_back(StatusOf(output, &status) == 0 && status.kind != PathKind::Missing);
  }
  std::snprintf(gNothingWritten, LINE_ROOM, "%s", NothingWrittenLine("", outputs, existed).c_str());
  std::snprintf(gWritten, LINE_ROOM, "%s", WrittenLine("", outputs).c_str());
  gTerminal = StandardErrorIsTerminal();
  gReady = true;
}

// The interrupt's handler runs this once renames into place are over (platform/temp_files.h).
void SayInterruptLine() {
  if (!gReady) return;
  char line[2 * LINE_ROOM];
  WriteLine(line, LineToPrint("interrupted", line, sizeof line));
}

void SayOutOfMemoryLine() {
  char line[2 * LINE_ROOM];
  WriteLine(line, LineToPrint("out of memory", line, sizeof line));
}

void NoteOpenScreenLine(size_t width) { gOpenLineWidth = width; }

}  // namespace dustweave
