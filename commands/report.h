// What `dustweave run` prints: the summary line, the JSON report and the line for each message
// box as it is shown.
#pragma once

#include <string>

#include "standin/host.h"

namespace dustweave {

// "5200 points, 5000 polygons, result 0", and when the files named were not written, why:
// "0 points, 0 polygons, result 0; nothing written: the module showed \"could not open file\""
std::string SummaryLine(const standin::Host& host, int result, const std::string& nothingWritten = "");

// {"result", "boxes", "panel", "edit", "points", "polygons"} on one line, and "nothingWritten"
// with the reason when the files named were not written.
std::string JsonReport(const standin::Host& host, int result, const std::string& nothingWritten = "");

// box okCancel "Error !": "wrong pfx file version (2)\n continue ?" -> ok
std::string BoxLine(const standin::Box& box);

}  // namespace dustweave
