// The chains of a whole mesh held in memory, for tests to compare streamed attributes with: a
// point continues the chain of the point made before it when a two-point polygon joins the two;
// and the frame of each point, from a whole pfx file's bytes by the sample rule written plainly.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "pfx/format.h"
#include "pfxtools/pfx_thinning.h"

struct ChainModel {
  std::vector<uint32_t> chain;  // each point's chain, counted from 0 in creation order
  std::vector<float> place;     // its place along the chain: 0 first, 1 last, 0 alone
  uint64_t chains = 0;

  // `points` made; `pairs` the two-point polygons, as the points they name (-1 never made).
  static ChainModel Of(size_t points, const std::vector<std::array<int64_t, 2>>& pairs) {
    std::vector<bool> joined(points, false);
    for (const auto& pair : pairs) {
      int64_t low = std::min(pair[0], pair[1]), high = std::max(pair[0], pair[1]);
      if (low >= 0 && high == low + 1 && static_cast<size_t>(high) < points) joined[high] = true;
    }
    ChainModel model;
    size_t first = 0;
    for (size_t p = 0; p < points; ++p) {
      if (p > 0 && joined[p]) continue;
      model.Close(first, p);
      first = p;
      ++model.chains;
    }
    model.Close(first, points);
    return model;
  }

 private:
  // Gives the points first..end-1 the open chain's number and their places along it.
  void Close(size_t first, size_t end) {
    for (size_t q = first; q < end; ++q) {
      size_t length = end - first;
      chain.push_back(static_cast<uint32_t>(chains - 1));
      place.push_back(length == 1 ? 0.0f : static_cast<float>(double(q - first) / double(length - 1)));
    }
  }
};

// The sample counter j of each pass the sample rule makes of a track: from 0 while j <= span
// (lastIndex - firstIndex, 32-bit), at most span + 1 passes, jumping to resumeIndex whenever j
// has passed the index limit; a pass at the last index there is ends the track.
inline std::vector<int32_t> SampleCounters(int32_t first, int32_t last, int32_t resume, int32_t limit) {
  std::vector<int32_t> counters;
  int64_t span = static_cast<int32_t>(static_cast<uint32_t>(last) - static_cast<uint32_t>(first));
  int64_t j = 0;
  for (int64_t pass = 0; pass <= span && j <= span; ++pass) {
    if (j > limit) j = resume;
    counters.push_back(static_cast<int32_t>(j));
    if (j == INT32_MAX) break;
    ++j;
  }
  return counters;
}

// The frame, firstIndex + j (32-bit), of every sample the module keeps of a pfx file's bytes with
// a step: a track's first pass, then the pass `interval` passes after the last kept one, and the
// pass at j = span; only whole samples, the tracks of a whole head.
inline std::vector<int32_t> KeptFramesOf(const std::vector<uint8_t>& bytes, std::optional<double> step) {
  auto word = [&bytes](size_t at) { return static_cast<int32_t>(PfxWordAt(bytes.data() + at)); };
  std::vector<int32_t> frames;
  if (bytes.size() < 12) return frames;
  size_t at = 12;
  for (int32_t track = 0; track < word(4) && at + 24 <= bytes.size(); ++track) {
    int32_t first = word(at), last = word(at + 4), resume = word(at + 8);
    at += 24;
    int32_t span = static_cast<int32_t>(static_cast<uint32_t>(last) - static_cast<uint32_t>(first));
    int32_t interval = dustweave::ThinningInterval(span, step.value_or(1.0)), since = interval;
    for (int32_t j : SampleCounters(first, last, resume, word(8))) {
      if (at + 12 > bytes.size()) return frames;
      at += 12;
      if (++since < interval && j != span) continue;
      frames.push_back(static_cast<int32_t>(static_cast<uint32_t>(first) + static_cast<uint32_t>(j)));
      since = 0;
    }
  }
  return frames;
}
