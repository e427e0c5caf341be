// Progress for the converter: the line's formatting, the process's read byte count, and the
// meter that draws it. Divisions: formatting; what the system says; the meter.
#include "commands/progress.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <vector>

#include "commands/interrupt_line.h"
#include "writers/number_text.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace dustweave {

namespace {

constexpr double MB = 1e6;
constexpr double GB = 1e9;
// From one second into the run, every 200 ms; at every look (a test seam), so that a test sees
// the line move whatever the machine's speed.
double gShowAfterSeconds = 1.0;
double gRedrawSeconds = 0.2;
constexpr uint64_t CALLS_PER_CLOCK_LOOK = 1024;
constexpr double LARGEST_GUESS = 0.99;  // of the input, for a share told by points

// ---- formatting ---------------------------------------------------------------------------

std::string Printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Megabytes(uint64_t bytes) { return Printed("%.1f", static_cast<double>(bytes) / MB); }

// Megabytes for the line: whole ones from 100 on, so that it keeps within 80 columns.
std::string ShortMegabytes(uint64_t bytes, bool whole) {
  return Printed(whole ? "%.0f" : "%.1f", static_cast<double>(bytes) / MB);
}


double Rate(const ProgressState& state) {
  return state.seconds > 0 ? static_cast<double>(state.bytesRead) / MB / state.seconds : 0;
}

// "0:07", "12:30", "1:02:03"
std::string ClockText(double seconds) {
  uint64_t whole = static_cast<uint64_t>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02u:%02u", whole / 3600, static_cast<unsigned>(whole / 60 % 60),
                  static_cast<unsigned>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(whole / 60), static_cast<unsigned>(whole % 60));
  }
  return text;
}

}  // namespace

std::string SizeText(uint64_t bytes) {
  if (static_cast<double>(bytes) >= GB) return Printed("%.2f", static_cast<double>(bytes) / GB) + " GB";
  return ShortMegabytes(bytes, static_cast<double>(bytes) >= 100 * MB) + " MB";
}

namespace {

// A field of the line, and how much it is worth keeping when the terminal is narrow: the
// share first, then the time left, the points, the rate, the megabytes and the output's size.
struct Field {
  std::string text;
  int rank;  // 0 is kept longest
};

std::vector<Field> LineFields(const ProgressState& state) {
  std::vector<Field> fields;
  bool sized = state.inputBytes > 0;
  uint64_t read = sized ? std::min(state.bytesRead, state.inputBytes) : state.bytesRead;
  if (sized) {
    bool whole = static_cast<double>(state.inputBytes) >= 100 * MB;
    fields.push_back({Printed("%3.0f%%", 100.0 * static_cast<double>(read) / static_cast<double>(state.inputBytes)), 0});
    fields.push_back({ShortMegabytes(read, whole) + " of " + ShortMegabytes(state.inputBytes, whole) + " MB", 4});
  } else {
    fields.push_back({SizeText(read), 0});
  }
  double rate = Rate(state);
  fields.push_back({Printed("%.1f", rate) + " MB/s", 3});
  fields.push_back({Counted(state.points, "point", "points"), 2});
  if (state.outputBytes) fields.push_back({"out " + SizeText(*state.outputBytes), 5});
  if (sized && rate > 0) {
    fields.push_back({ClockText(static_cast<double>(state.inputBytes - read) / MB / rate) + " left", 1});
  }
  return fields;
}

std::string Joined(const std::vector<Field>& fields, int mostRank, const char* between) {
  std::string line;
  for (const Field& field : fields) {
    if (field.rank > mostRank) continue;
    line += (line.empty() ? "" : between) + field.text;
  }
  return line;
}

// The fields that fit in `columns` but the last (a line that fills it leaves the cursor waiting
// to wrap), the least worth keeping left out first; the first alone is cut when it does not fit.
std::string Fitted(const std::vector<Field>& fields, const char* between, size_t columns) {
  size_t room = columns > 1 ? columns - 1 : 1;
  int mostRank = 0;
  for (const Field& field : fields) mostRank = std::max(mostRank, field.rank);
  std::string line = Joined(fields, mostRank, between);
  while (line.size() > room && mostRank > 0) line = Joined(fields, --mostRank, between);
  return line.substr(0, room);
}

}  // namespace

std::string ProgressLine(const ProgressState& state, size_t columns) {
  return Fitted(LineFields(state), "  ", columns);
}

std::string ProgressSummary(const ProgressState& state, size_t columns) {
  std::vector<Field> fields = {{Megabytes(state.bytesRead) + " MB in " + Printed("%.1f", state.seconds) + " s", 0},
                               {Printed("%.1f", Rate(state)) + " MB/s", 3},
                               {Counted(state.points, "point", "points"), 1}};
  if (state.outputBytes) fields.push_back({SizeText(*state.outputBytes) + " written", 2});
  return Fitted(fields, ", ", columns);
}

// ---- what the system says -----------------------------------------------------------------

uint64_t ProcessBytesRead() {
#if defined(_WIN32)
  IO_COUNTERS counters{};
  if (!GetProcessIoCounters(GetCurrentProcess(), &counters)) return 0;
  return counters.ReadTransferCount;
#else
  std::FILE* io = std::fopen("/proc/self/io", "r");
  if (io == nullptr) return 0;
  unsigned long long value = 0;
  bool found = std::fscanf(io, "rchar: %llu", &value) == 1;
  std::fclose(io);
  return found ? value : 0;
#endif
}

size_t TerminalColumns() {
#if defined(_WIN32)
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return DEFAULT_COLUMNS;
  int columns = info.srWindow.Right - info.srWindow.Left + 1;
#else
  winsize size{};
  if (ioctl(fileno(stderr), TIOCGWINSZ, &size) != 0) return DEFAULT_COLUMNS;
  int columns = size.ws_col;
#endif
  return columns > 0 ? static_cast<size_t>(columns) : DEFAULT_COLUMNS;
}

bool StandardErrorIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

// ---- the meter ----------------------------------------------------------------------------

void DrawProgressAtEveryLook() {
  gShowAfterSeconds = 0;
  gRedrawSeconds = 0;
}

ProgressMeter::ProgressMeter(bool enabled, uint64_t inputBytes, uint64_t pointsToExpect)
    : enabled_(enabled),
      inputBytes_(inputBytes),
      pointsToExpect_(pointsToExpect),
      bytesAtStart_(enabled ? ProcessBytesRead() : 0),
      start_(Clock::now()),
      lastDraw_(start_) {}

void ProgressMeter::AddPoint(uint64_t, const double*) {
  ++points_;
  if (enabled_ && ++calls_ % CALLS_PER_CLOCK_LOOK == 0) Tick();
}

void ProgressMeter::AddPolygon(const char*, int, const int64_t*) {
  if (enabled_ && ++calls_ % CALLS_PER_CLOCK_LOOK == 0) Tick();
}

// At the end of the run the module has read the whole file, which the points only guessed at.
ProgressState ProgressMeter::Now(bool ended) const {
  ProgressState state;
  uint64_t read = ProcessBytesRead();
  state.bytesRead = read > bytesAtStart_ ? read - bytesAtStart_ : 0;
  if (state.bytesRead == 0 && pointsToExpect_ > 0) state.bytesRead = ended ? inputBytes_ : BytesByPoints();
  if (inputBytes_ > 0) state.bytesRead = std::min(state.bytesRead, inputBytes_);
  if (outputBytes_) state.outputBytes = outputBytes_();
  state.inputBytes = inputBytes_;
  state.points = points_;
  state.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  return state;
}

// The share of the input that the points so far stand for, short of the whole until the end.
uint64_t ProgressMeter::BytesByPoints() const {
  double share = std::min(static_cast<double>(points_) / static_cast<double>(pointsToExpect_), LARGEST_GUESS);
  return static_cast<uint64_t>(share * static_cast<double>(inputBytes_));
}

void ProgressMeter::Tick() {
  Clock::time_point now = Clock::now();
  if (std::chrono::duration<double>(now - start_).count() < gShowAfterSeconds) return;
  if (shown_ && std::chrono::duration<double>(now - lastDraw_).count() < gRedrawSeconds) return;
  lastDraw_ = now;
  shown_ = true;
  Draw(ProgressLine(Now(), TerminalColumns()), false);
}

// Writes `text` over the line on screen, padding out what the last one left.
void ProgressMeter::Draw(const std::string& text, bool endLine) {
  std::string out = "\r" + text;
  if (text.size() < drawnWidth_) out.append(drawnWidth_ - text.size(), ' ');
  out += endLine ? "\n" : "";
  std::cerr << out << std::flush;  // through std::cerr, which a Windows console shows as typed
  drawnWidth_ = endLine ? 0 : text.size();
  NoteOpenScreenLine(drawnWidth_);
}

void ProgressMeter::PrintLine(const std::string& line) {
  if (drawnWidth_ > 0) {
    Draw(line, true);
  } else {
    std::cerr << line << "\n" << std::flush;
  }
}

void ProgressMeter::End() {
  if (!shown_) return;
  Draw(ProgressSummary(Now(true), TerminalColumns()), true);
  shown_ = false;
}

}  // namespace dustweave
