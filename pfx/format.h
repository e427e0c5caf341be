// The pfx file: a big-endian particle track file. Header (version, particle count, index limit),
// then per particle a 24-byte head and its 12-byte samples. Sizes and values are named here once.
#pragma once

#include <stdint.h>

inline constexpr int32_t PFX_VERSION = 3;
inline constexpr int PFX_HEADER_SIZE = 12;      // version, particleCount, indexLimit
inline constexpr int PFX_TRACK_HEAD_SIZE = 24;  // three indices, three ignored reals
inline constexpr int PFX_SAMPLE_SIZE = 12;      // x, y, z

struct PfxHeader {
  int32_t version;
  int32_t particleCount;  // number of track records that follow
  int32_t indexLimit;     // past it the sample counter jumps to the track's resumeIndex
};

struct PfxTrack {
  int32_t firstIndex;
  int32_t lastIndex;
  int32_t resumeIndex;
  float ignored[3];
};

// The big-endian 32-bit word at `bytes`, as the file stores every value.
inline uint32_t PfxWordAt(const unsigned char* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]};
}

// The track's span, lastIndex - firstIndex with two's-complement wrap-around.
inline int32_t TrackSpan(const PfxTrack& track) {
  return static_cast<int32_t>(static_cast<uint32_t>(track.lastIndex) -
                              static_cast<uint32_t>(track.firstIndex));
}

// The sample rule: which sample counter j each pass of a track reads. j counts from 0 while
// j <= span; past indexLimit it jumps to resumeIndex. A track is capped at span + 1 passes, and a
// pass with j = INT32_MAX is its last, so every track ends and the counter never overflows.
struct SampleWalk {
  int32_t span;
  int32_t indexLimit;
  int32_t resumeIndex;
  int32_t next;        // j before the coming pass's jump test
  uint32_t remaining;  // passes still allowed
};

inline SampleWalk BeginSampleWalk(const PfxTrack& track, int32_t indexLimit) {
  int32_t span = TrackSpan(track);
  uint32_t passes = span < 0 ? 0u : static_cast<uint32_t>(span) + 1u;
  return SampleWalk{span, indexLimit, track.resumeIndex, 0, passes};
}

// Starts the next pass: false when the track has no more samples, else *j is the pass's index.
inline bool NextSample(SampleWalk& walk, int32_t* j) {
  if (walk.remaining == 0 || walk.next > walk.span) return false;
  int32_t index = walk.next > walk.indexLimit ? walk.resumeIndex : walk.next;
  --walk.remaining;
  if (index == INT32_MAX) {
    walk.remaining = 0;
  } else {
    walk.next = index + 1;
  }
  *j = index;
  return true;
}
