// The guard's limit and the line that says which position failed it.
#include "writers/number_check.h"

#include <cfloat>

#include "writers/number_text.h"

namespace dustweave {

// A double a little past FLT_MAX still rounds to it as a float (up to half its last step), so a
// ring or an extent computed to reach exactly FLT_MAX stays finite when stored.
NumberGuard::NumberGuard(standin::MeshSink* next, double width)
    : next_(next), reach_(width / 2), limit_(static_cast<double>(FLT_MAX) - width / 2) {}

namespace {

std::string PastFloats(double width, const char* around) {
  return ", and the width of " + ShortestText(static_cast<float>(width)) + " drawn around " + around + " passes the largest 32-bit number (" + ShortestText(FLT_MAX) + "); give a smaller --tubes WIDTH";
}

}  // namespace

std::string WidthPastFloats(double largest, double width) {
  if (largest <= static_cast<double>(FLT_MAX) - width / 2) return "";
  return "the chains reach the coordinate " + CoordinateText(largest) + PastFloats(width, "them");
}

void NumberGuard::Refuse(uint64_t number, const double position[3]) {
  int axis = 0;
  while (axis < 2 && Magnitude(position[axis]) <= limit_) ++axis;
  std::string line = "point " + GroupedDigits(number + 1) + " has the coordinate " + CoordinateText(position[axis]);
  if (Magnitude(position[axis]) <= FLT_MAX) {
    line += PastFloats(2 * reach_, "it");
  } else {
    line += ", and an output holds only finite 32-bit numbers (up to " + ShortestText(FLT_MAX) + ")";
  }
  refusal_ = line;
}

}  // namespace dustweave
