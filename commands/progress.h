// The converter's progress on a terminal: one line rewritten in place with the share of the input
// read, MB/s, points so far, the output's size so far and time left, then a summary line. It is
// drawn from what the program sees without touching the module (the bytes the process has read,
// the points the host passed) on the run's own thread, between points; where the system gives no
// byte count (wine), the share comes from the points made against those the file's samples give.
// Nothing is drawn unless standard error is a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "standin/mesh_sink.h"

namespace dustweave {

// A size in megabytes, whole ones from 100 on, or gigabytes: "0.3 MB", "512 MB", "2.95 GB".
std::string SizeText(uint64_t bytes);

struct ProgressState {
  uint64_t bytesRead = 0;   // of the input, so far
  uint64_t inputBytes = 0;  // the input's size; 0 when unknown
  uint64_t points = 0;
  double seconds = 0;       // since the run began
  std::optional<uint64_t> outputBytes;  // the output's size so far, when there is one
};

// Columns a terminal is taken to have when the system does not say.
constexpr size_t DEFAULT_COLUMNS = 80;

// " 42%  101 of 240 MB  50.4 MB/s  8,400,000 points  out 512 MB  0:03 left" (no "\r"), narrower
// than a terminal of `columns`: its fields are left out one by one where they do not fit (the
// output's size first, the share last).
std::string ProgressLine(const ProgressState& state, size_t columns = DEFAULT_COLUMNS);
// "240.0 MB in 4.8 s, 50.0 MB/s, 20,000,000 points, 1.25 GB written", as narrow as the line.
std::string ProgressSummary(const ProgressState& state, size_t columns = DEFAULT_COLUMNS);

// What the process has read from files so far (Linux: rchar of /proc/self/io; Windows:
// ReadTransferCount); 0 when the system does not say.
uint64_t ProcessBytesRead();
bool StandardErrorIsTerminal();
// The width of the terminal standard error shows on; DEFAULT_COLUMNS when it does not say.
size_t TerminalColumns();

// A test seam: the line is drawn from the start and at every look at the clock (every 1024 of
// the host's calls) rather than every 200 ms from one second on.
void DrawProgressAtEveryLook();

// Counts the points as they stream past and redraws the line at most every 200 ms, from one
// second into the run. Lines printed through PrintLine go above it. `pointsToExpect` (0 when
// unknown) gives the share where the system counts no bytes read.
class ProgressMeter : public standin::MeshSink {
 public:
  ProgressMeter(bool enabled, uint64_t inputBytes, uint64_t pointsToExpect = 0);
  // Where the output's size so far is read from.
  void MeasureOutput(std::function<uint64_t()> measure) { outputBytes_ = std::move(measure); }
  void AddPoint(uint64_t number, const double position[3]) override;
  void AddPolygon(const char* surface, int count, const int64_t* points) override;
  // Whether it draws anything; a meter that does not need not watch the mesh at all.
  bool enabled() const { return enabled_; }

  // A whole line on standard error, kept clear of the progress line.
  void PrintLine(const std::string& line);
  // Replaces the progress line, if one was drawn, by the summary line.
  void End();

 private:
  using Clock = std::chrono::steady_clock;
  void Tick();
  ProgressState Now(bool ended = false) const;
  uint64_t BytesByPoints() const;
  void Draw(const std::string& text, bool endLine);

  bool enabled_;
  uint64_t inputBytes_;
  uint64_t pointsToExpect_;
  std::function<uint64_t()> outputBytes_;
  uint64_t bytesAtStart_;
  uint64_t points_ = 0;
  uint64_t calls_ = 0;
  Clock::time_point start_, lastDraw_;
  size_t drawnWidth_ = 0;  // of the line on screen now; 0 when none
  bool shown_ = false;
};

}  // namespace dustweave
