// The guard's limit and the line that says which position failed it.
#include "writers/number_check.h"

#include <cfloat>

#include "writers/number_text.h"

namespace dustweave {

// A double a little past FLT_MAX still rounds to it as a float (up to half its last step), so a
// ring or an extent computed to reach exactly FLT_MAX stays finite when stored.
NumberGuard::NumberGuard(standin::MeshSink* next, double width, std::string widthOption)
    : next_(next), reach_(width / 2), limit_(static_cast<double>(FLT_MAX) - width / 2), widthOption_(std::move(widthOption)) {}

namespace {

// The width given with `option`, or the one chosen from the particles' spacing when none was.
std::string PastFloats(double width, const std::string& option) {
  std::string line = ", and the width of " + ShortestText(static_cast<float>(width));
  if (!option.empty()) {
    return line + " drawn around it passes the largest 32-bit number (" + ShortestText(FLT_MAX) + "); give a smaller " +
           option + " WIDTH";
  }
  return line + " chosen from the particles' spacing, drawn around it, passes the largest 32-bit number (" +
         ShortestText(FLT_MAX) + "); give a smaller one with --width WIDTH";
}

}  // namespace

void NumberGuard::NoteLargest(uint64_t number, const double position[3], double largest) {
  largest_ = largest;
  largestNumber_ = number;
  for (int axis = 0; axis < 3; ++axis) largestPosition_[axis] = position[axis];
}

void NumberGuard::WidthAtEnd(double width) {
  reach_ = width / 2;
  limit_ = static_cast<double>(FLT_MAX) - width / 2;
  if (!refusal_ && largest_ > limit_) Refuse(largestNumber_, largestPosition_);
}

void NumberGuard::Refuse(uint64_t number, const double position[3]) {
  // A coordinate that is no finite float is named before one the width alone takes past them.
  int axis = 0;
  while (axis < 2 && Magnitude(position[axis]) <= FLT_MAX) ++axis;
  if (Magnitude(position[axis]) <= FLT_MAX) {
    axis = 0;
    while (axis < 2 && Magnitude(position[axis]) <= limit_) ++axis;
  }
  std::string name = name_ ? name_(number) : "point " + GroupedDigits(number + 1);
  std::string line = name + " has the coordinate " + CoordinateText(position[axis]);
  nonFinite_ = !(Magnitude(position[axis]) <= FLT_MAX);
  if (!nonFinite_) {
    line += PastFloats(2 * reach_, widthOption_);
  } else {
    line += ", and an output holds only finite 32-bit numbers (up to " + ShortestText(FLT_MAX) + ")";
  }
  refusal_ = line;
}

}  // namespace dustweave
