// The samples a pfx file holds, told from its header and its size alone, and the points the
// plug-in makes of them with a "step percent" answer: what a converter needs before a run to
// lay out its output and to tell its progress, from the file's first 12 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace dustweave {

// The samples a whole pfx file of this size and particle count holds: every byte past the header
// and the track heads is a sample. Exact for a file that is whole and has nothing after its last
// track, which is also the number of points the plug-in makes when it keeps every sample; only a
// guess otherwise (a file cut short, bytes after the last track), so its users must cope with a
// wrong one. `start` holds the file's first bytes; nullopt when they are fewer than a header's
// or the size is too small for the particle count.
std::optional<uint64_t> SamplesBySize(std::string_view start, uint64_t size);

// Whether the plug-in makes a point of every sample with this "step percent" answer. It thins a
// track when its interval trunc(span / (span x step)) is 2 or more, which happens for every
// step in (0, 0.5] and none in (0.5, 1) but for steps so close above 0.5 that the rounded
// quotient reaches 2 for some spans: those count as thinning here (the answer is a layout hint).
inline bool KeepsEverySample(const std::optional<double>& step) {
  return !step || !(*step > 0.0 && *step < 1.0) || *step > 0.5 + 0x1p-40;
}

// About how many points the plug-in makes of a file of `samples` samples with this "step
// percent" answer: every sample, or one in n where the step thins each track to every n-th
// sample (n = trunc(1 / step)). Enough for a share of the run; 0 when `samples` is 0.
uint64_t PointsToExpect(uint64_t samples, const std::optional<double>& step);

}  // namespace dustweave
