// Writes pfx files from a description: header, tracks with their heads and samples, and any
// trailing bytes or truncation. Used by the tests to build valid and damaged files and by
// dustweave to generate simulations. Not part of the module.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pfxwrite {

// ---- values as the file stores them: 32-bit words, big-endian --------------------------------

inline uint32_t WordOf(int32_t value) { return static_cast<uint32_t>(value); }
inline uint32_t WordOf(float value) {
  uint32_t word;
  std::memcpy(&word, &value, sizeof word);
  return word;
}

// Writes `word` at `at` as the file's four bytes, most significant first.
inline void PutWordAt(unsigned char* at, uint32_t word) {
  at[0] = static_cast<unsigned char>(word >> 24);
  at[1] = static_cast<unsigned char>(word >> 16);
  at[2] = static_cast<unsigned char>(word >> 8);
  at[3] = static_cast<unsigned char>(word);
}

// ---- files from their description --------------------------------------------------------------

struct Sample {
  float x = 0, y = 0, z = 0;
};

struct Track {
  int32_t firstIndex = 0;
  int32_t lastIndex = 0;
  int32_t resumeIndex = 0;
  float ignored[3] = {0, 0, 0};
  std::vector<Sample> samples;  // written as given: the sample rule decides how many are read
};

struct File {
  int32_t version = 3;
  int32_t particleCount = -1;  // -1: the number of tracks
  int32_t indexLimit = 0;
  std::vector<Track> tracks;
  std::vector<uint8_t> trailing;  // bytes after the last track
};

std::vector<uint8_t> Encode(const File& file);

// Appends a value as the file stores it.
void PutInt(std::vector<uint8_t>& out, int32_t value);
void PutFloat(std::vector<uint8_t>& out, float value);

// The number of samples the sample rule reads for a track (with the cap that ends every track).
uint64_t SamplesOf(int32_t firstIndex, int32_t lastIndex, int32_t resumeIndex, int32_t indexLimit);

// A track carrying exactly the samples the rule reads, sample k at (base + k, k, -k).
Track RuledTrack(int32_t firstIndex, int32_t lastIndex, int32_t resumeIndex, int32_t indexLimit,
                 float base = 0);

// Writes bytes to path; false (with a reason) when it cannot.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace pfxwrite
