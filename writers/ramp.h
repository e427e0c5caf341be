// The colour ramp that shows a point's place along its chain: deep violet at the chain's first
// point through ember and amber to pale sand at its last. One definition for the SVG preview's
// strokes and the .glb's vertex colours, so that both show the same colours.
#pragma once

#include <cstdint>

namespace dustweave {

struct Rgb8 {
  uint8_t r, g, b;
  bool operator==(const Rgb8&) const = default;
};

// The ramp at `place` (0 a chain's first point, 1 its last; clamped, NaN taken as 0) as a screen
// shows it: sRGB, 8 bits a channel.
Rgb8 RampColour(double place);

// The ramp's colour as glTF stores a vertex colour: linear light, 8 bits a channel. A viewer
// encodes linear colours for the screen, so it shows (to within rounding) RampColour's.
Rgb8 LinearRampColour(double place);

// An 8-bit sRGB channel as an 8-bit linear one, rounded to the nearest.
uint8_t LinearFromSrgb(uint8_t channel);

}  // namespace dustweave
