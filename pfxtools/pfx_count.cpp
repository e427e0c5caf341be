// Telling a pfx file's samples from its size: the header gives the particle count, so the track
// heads' share of the file is known, and what is left is 12 bytes a sample; then the share of
// them a step keeps.
#include "pfxtools/pfx_count.h"

#include <cmath>

#include "pfx/format.h"

namespace dustweave {

std::optional<uint64_t> SamplesBySize(std::string_view start, uint64_t size) {
  if (start.size() < PFX_HEADER_SIZE) return std::nullopt;
  int32_t particles = static_cast<int32_t>(PfxWordAt(reinterpret_cast<const unsigned char*>(start.data()) + 4));
  uint64_t heads = PFX_HEADER_SIZE + PFX_TRACK_HEAD_SIZE * static_cast<uint64_t>(particles > 0 ? particles : 0);
  if (size < heads) return std::nullopt;
  return (size - heads) / PFX_SAMPLE_SIZE;
}

uint64_t PointsToExpect(uint64_t samples, const std::optional<double>& step) {
  if (!step || !(*step > 0 && *step < 1)) return samples;
  double every = std::trunc(1 / *step);
  return every >= 1 ? static_cast<uint64_t>(static_cast<double>(samples) / every) : samples;
}

}  // namespace dustweave
