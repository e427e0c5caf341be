// Telling a pfx file's samples from its size: the header gives the particle count, so the track
// heads' share of the file is known, and what is left is 12 bytes a sample; then the share of
// them a step keeps.
#include "pfxtools/pfx_count.h"

#include <cmath>
#include <cstdio>

#include "pfx/format.h"
#include "platform/path_text.h"

namespace dustweave {

std::optional<uint64_t> SamplesBySize(const std::string& path) {
  const std::optional<uint64_t> size = FileSizeOf(path);
  if (!size) return std::nullopt;
  const uint64_t fileBytes = *size;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  unsigned char header[PFX_HEADER_SIZE];
  bool read = std::fread(header, 1, sizeof header, file) == sizeof header;
  std::fclose(file);
  if (!read) return std::nullopt;
  int32_t particles = static_cast<int32_t>(PfxWordAt(header + 4));
  uint64_t heads = PFX_HEADER_SIZE + PFX_TRACK_HEAD_SIZE * static_cast<uint64_t>(particles > 0 ? particles : 0);
  if (fileBytes < heads) return std::nullopt;
  return (fileBytes - heads) / PFX_SAMPLE_SIZE;
}

uint64_t PointsToExpect(uint64_t samples, const std::optional<double>& step) {
  if (!step || !(*step > 0 && *step < 1)) return samples;
  double every = std::trunc(1 / *step);
  return every >= 1 ? static_cast<uint64_t>(static_cast<double>(samples) / every) : samples;
}

}  // namespace dustweave
