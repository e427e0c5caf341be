// The ramp's stops, mixed linearly between neighbours in sRGB and rounded to 8 bits; the linear
// form goes through a table of the 256 sRGB channel values.
#include "writers/ramp.h"

#include <array>
#include <cmath>

namespace dustweave {

namespace {

struct Stop {
  double at;
  double r, g, b;
};

constexpr Stop STOPS[] = {
    {0.00, 0x5b, 0x2a, 0x86}, {0.35, 0xd9, 0x48, 0x3b}, {0.70, 0xf4, 0xa2, 0x3a}, {1.00, 0xff, 0xf1, 0xc9}};
constexpr int LAST_SPAN = static_cast<int>(std::size(STOPS)) - 2;  // the span that ends at 1

double Linear(double srgb) { return srgb <= 0.04045 ? srgb / 12.92 : std::pow((srgb + 0.055) / 1.055, 2.4); }

std::array<uint8_t, 256> LinearTable() {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<uint8_t>(std::lround(Linear(c / 255.0) * 255.0));
  return table;
}

}  // namespace

Rgb8 RampColour(double place) {
  double t = place > 0 ? (place < 1 ? place : 1) : 0;
  int s = 0;
  while (s < LAST_SPAN && t > STOPS[s + 1].at) ++s;
  const Stop& from = STOPS[s];
  const Stop& to = STOPS[s + 1];
  double u = (t - from.at) / (to.at - from.at);
  auto mix = [u](double a, double b) { return static_cast<uint8_t>(a + (b - a) * u + 0.5); };
  return {mix(from.r, to.r), mix(from.g, to.g), mix(from.b, to.b)};
}

uint8_t LinearFromSrgb(uint8_t channel) {
  static const std::array<uint8_t, 256> table = LinearTable();
  return table[channel];
}

Rgb8 LinearRampColour(double place) {
  Rgb8 srgb = RampColour(place);
  return {LinearFromSrgb(srgb.r), LinearFromSrgb(srgb.g), LinearFromSrgb(srgb.b)};
}

}  // namespace dustweave
