// Encoding of pfx files from their description.
#include "pfxtools/pfx_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pfx/format.h"

namespace pfxwrite {

namespace {

void PutWord(std::vector<uint8_t>& out, uint32_t word) {
  out.resize(out.size() + 4);
  PutWordAt(out.data() + out.size() - 4, word);
}

}  // namespace

void PutInt(std::vector<uint8_t>& out, int32_t value) { PutWord(out, WordOf(value)); }

void PutFloat(std::vector<uint8_t>& out, float value) { PutWord(out, WordOf(value)); }

std::vector<uint8_t> Encode(const File& file) {
  std::vector<uint8_t> out;
  PutInt(out, file.version);
  PutInt(out, file.particleCount >= 0 ? file.particleCount : static_cast<int32_t>(file.tracks.size()));
  PutInt(out, file.indexLimit);
  for (const Track& track : file.tracks) {
    PutInt(out, track.firstIndex);
    PutInt(out, track.lastIndex);
    PutInt(out, track.resumeIndex);
    for (float value : track.ignored) PutFloat(out, value);
    for (const Sample& sample : track.samples) {
      PutFloat(out, sample.x);
      PutFloat(out, sample.y);
      PutFloat(out, sample.z);
    }
  }
  out.insert(out.end(), file.trailing.begin(), file.trailing.end());
  return out;
}

uint64_t SamplesOf(int32_t firstIndex, int32_t lastIndex, int32_t resumeIndex, int32_t indexLimit) {
  PfxTrack head{firstIndex, lastIndex, resumeIndex, {0, 0, 0}};
  SampleWalk walk = BeginSampleWalk(head, indexLimit);
  uint64_t count = 0;
  int32_t j;
  while (NextSample(walk, &j)) ++count;
  return count;
}

Track RuledTrack(int32_t firstIndex, int32_t lastIndex, int32_t resumeIndex, int32_t indexLimit,
                 float base) {
  Track track{firstIndex, lastIndex, resumeIndex, {0, 0, 0}, {}};
  uint64_t count = SamplesOf(firstIndex, lastIndex, resumeIndex, indexLimit);
  for (uint64_t k = 0; k < count; ++k) {
    float step = static_cast<float>(k);
    track.samples.push_back(Sample{base + step, step, -step});
  }
  return track;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, out) == 1;
  ok = std::fclose(out) == 0 && ok;
  if (!ok && error) *error = path + ": write failed";
  return ok;
}

}  // namespace pfxwrite
