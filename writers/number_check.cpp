// The guard's limit and the line that says which position failed it.
#include "writers/number_check.h"

#include <cfloat>

#include "writers/number_text.h"

namespace dustweave {

// A double a little past FLT_MAX still rounds to it as a float (up to half its last step), so a
// ring or an extent computed to reach exactly FLT_MAX stays finite when stored.
NumberGuard::NumberGuard(standin::MeshSink* next, double width, bool widthChosen)
    : next_(next), reach_(width / 2), limit_(static_cast<double>(FLT_MAX) - width / 2), widthChosen_(widthChosen) {}

namespace {

// The width given with --tubes, or the one chosen from the scene's size when none was.
std::string PastFloats(double width, bool chosen, const char* around) {
  std::string line = ", and the width of " + ShortestText(static_cast<float>(width));
  line += chosen ? " chosen from the scene's size, drawn around " : " drawn around ";
  line += std::string(around) + (chosen ? "," : "") + " passes the largest 32-bit number (" + ShortestText(FLT_MAX) + ")";
  return line + (chosen ? "; give a smaller one with --tubes WIDTH" : "; give a smaller --tubes WIDTH");
}

}  // namespace

std::string WidthPastFloats(double largest, double width) {
  if (largest <= static_cast<double>(FLT_MAX) - width / 2) return "";
  return "the chains reach the coordinate " + CoordinateText(largest) + PastFloats(width, true, "them");
}

void NumberGuard::Refuse(uint64_t number, const double position[3]) {
  int axis = 0;
  while (axis < 2 && Magnitude(position[axis]) <= limit_) ++axis;
  std::string line = "point " + GroupedDigits(number + 1) + " has the coordinate " + CoordinateText(position[axis]);
  if (Magnitude(position[axis]) <= FLT_MAX) {
    line += PastFloats(2 * reach_, widthChosen_, "it");
  } else {
    line += ", and an output holds only finite 32-bit numbers (up to " + ShortestText(FLT_MAX) + ")";
  }
  refusal_ = line;
}

}  // namespace dustweave
