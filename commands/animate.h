// dustweave convert --animate: a simulation over time as an animated USD layer (.usda, .usdc), read through
// the index of its tracks (pfxtools/pfx_track_index.h) frame after frame, without the module: the
// particles alive at each frame and the trails behind them, as time samples.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "commands/convert.h"
#include "commands/plan.h"

namespace dustweave {

// The values a layer may hold before it is refused: 4 GiB, as a .glb. A .usda is parsed whole
// before anything shows, so a reader needs at least as much memory as its values take.
inline constexpr uint64_t ANIMATED_VALUE_LIMIT = uint64_t{1} << 32;

// The bytes of values the layer holds with trails of at most `trailFrames` samples (0: whole),
// thinned at `step` (none: every sample):
// each particle point's position, velocity and id, each trail point's position, velocity and
// colour, each trail's count, and a little for each frame of each attribute.
class PfxFrameIndex;
uint64_t AnimatedValueBytes(const PfxFrameIndex& index, uint64_t trailFrames, const std::optional<double>& step = std::nullopt);

// Writes the layer the plan names and commits it; the exit status, as convert's.
int ConvertAnimated(const ConvertArgs& a, const CommandPlan& plan);

}  // namespace dustweave
