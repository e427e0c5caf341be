// The chains of a whole mesh held in memory, for tests to compare streamed attributes with: a
// point continues the chain of the point made before it when a two-point polygon joins the two.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

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
