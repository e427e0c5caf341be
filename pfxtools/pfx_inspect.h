// Reading a pfx file as the plug-in would, without any module: what it holds (header, whole
// tracks, samples, bounding box, trailing bytes) and, for a file that ends early, where; what
// `dustweave inspect` reports.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pfx/format.h"
#include "pfxtools/pfx_thinning.h"

namespace dustweave {

struct PfxInspection {
  uint64_t fileBytes = 0;
  int headerFields = 0;             // header fields present: 3 when the header is whole
  PfxHeader header{0, 0, 0};        // the fields present; the others 0
  uint64_t tracksToRead = 0;        // the particle count, or 0 when it is below 1
  uint64_t wholeTracks = 0;
  uint64_t samples = 0;             // whole samples
  uint64_t cappedTracks = 0;        // tracks the sample rule alone never ends (read capped)
  uint64_t nonFiniteSamples = 0;    // samples with a NaN or infinite coordinate
  // The first of them: its track's number in the file and its sample counted from the track's
  // first in the file (both from 0), and its frame.
  uint64_t firstNonFiniteParticle = 0, firstNonFiniteSample = 0;
  int32_t firstNonFiniteFrame = 0;
  uint64_t finiteTracks = 0;        // tracks with a sample of finite coordinates: the particles drawn
  bool anyFinite = false;
  std::array<float, 3> low{0, 0, 0}, high{0, 0, 0};  // bounding box of the finite samples
  bool endsEarly = false;
  uint64_t endTrack = 0;            // the track being read where the file ends, counted from 1
  uint64_t endSample = 0;           // the sample being read there (from 1), or 0 for the head
  uint64_t endTrackSamples = 0;     // samples that track should carry
  uint64_t bytesRead = 0;           // bytes the plug-in reads
  uint64_t trailingBytes = 0;       // bytes after the last track, never read
  TrackShapes shapes;               // what each step share keeps of the tracks read
};

// The samples the sample rule reads of `track`, worked out from its indices rather than by
// walking them, so that a span of 2^31 - 1 costs no more than a span of 1.
uint64_t TrackSampleCount(const PfxTrack& track, int32_t indexLimit);

// false, with a one-line reason, when the file cannot be opened or read; the time it takes is
// proportional to the file's size, whatever its tracks' spans.
bool InspectPfx(const std::string& path, PfxInspection* inspection, std::string* error);

// Whether the plug-in will read the whole file without asking: version 3, particles, no early end.
bool ReadsCleanly(const PfxInspection& inspection);

// Why the plug-in makes no point of the file ("every track's last index is before its first");
// empty when it makes one.
std::string WhyNoPoint(const PfxInspection& inspection);

}  // namespace dustweave
