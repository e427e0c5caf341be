// What `dustweave run` prints: the summary line, the JSON report and the line for each message
// box as it is shown.
#pragma once

#include <string>

#include "standin/host.h"

namespace dustweave {

// "5200 points, 5000 polygons, result 0"
std::string SummaryLine(const standin::Host& host, int result);

// {"result", "boxes", "panel", "edit", "points", "polygons"} on one line.
std::string JsonReport(const standin::Host& host, int result);

// box okCancel "Error !": "wrong pfx file version (2)\n continue ?" -> ok
std::string BoxLine(const standin::Box& box);

}  // namespace dustweave
