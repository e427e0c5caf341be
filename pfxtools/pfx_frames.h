// The frame of each point the plug-in makes of a pfx file, in the order it makes them: the index
// of the sample the point was made of, which the mesh does not carry. Read beside the plug-in's
// run from the track heads alone (the samples are passed over), by its sample rule and thinning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pfx/format.h"
#include "platform/file_handle.h"

namespace dustweave {

// A sample's frame: the track's firstIndex plus the sample counter j, with the file's 32-bit
// wrap-around (as its span is worked out), so a track's sample at j = span is at its lastIndex.
// After a jump the counter, and so the frame, goes back to resumeIndex.
inline int32_t SampleFrame(int32_t firstIndex, int32_t j) {
  return static_cast<int32_t>(static_cast<uint32_t>(firstIndex) + static_cast<uint32_t>(j));
}

// The plug-in's thinning countdown, in closed form: of a track thinned at `interval` (0 or 1:
// every sample), the pass (its sample, counted from the track's first) is kept when it is the
// first or an interval-th after it, or when its counter stands at the span's end (`atSpan`).
inline bool ThinningKeeps(uint64_t pass, int32_t interval, bool atSpan) {
  return interval <= 1 || atSpan || pass % static_cast<uint64_t>(interval) == 0;
}
// The passes kept before `pass`, leaving out the one at the span's end (always a track's last).
inline uint64_t ThinningKeptBefore(uint64_t pass, int32_t interval) {
  uint64_t n = interval <= 1 ? 1 : static_cast<uint64_t>(interval);
  return pass / n + (pass % n != 0 ? 1 : 0);
}
// The first pass at or after `pass` that the countdown keeps, the span's end left out.
inline uint64_t ThinningNextKept(uint64_t pass, int32_t interval) {
  uint64_t n = interval <= 1 ? 1 : static_cast<uint64_t>(interval);
  return ThinningKeptBefore(pass, interval) * n;
}

// The frames of the kept samples, in order, with the plug-in's "step percent" answer. A file cut
// short yields the frames of the whole samples before its end, as the plug-in makes points of
// those alone; trailing bytes after the last track are never read.
class KeptFrames {
 public:
  // Once a walker: false, with a one-line reason naming `path`, when the file cannot be opened.
  bool Open(const std::string& path, const std::optional<double>& step, std::string* error);
  // Up to `count` next frames into `frames`: how many there were. Fewer only at the end of the
  // samples the plug-in reads, or when a read failed (then error() says why).
  size_t Take(int32_t* frames, size_t count);
  const std::string& error() const { return error_; }
  // Where the last frame taken comes from: its track's number in the file and the sample's,
  // counted from the track's first in the file; both from 0.
  uint64_t particle() const { return tracksBegun_ - 1; }
  uint64_t sample() const { return pass_ - 1; }

 private:
  bool ReadWords(uint64_t offset, uint32_t* words, size_t count);
  bool BeginTrack();
  size_t TakeRun(int32_t* frames, size_t count);
  bool TakeOne(int32_t* frame);

  FileHandle file_;
  std::string path_, error_;
  uint64_t size_ = 0;
  double step_ = 1.0;
  // The window of the file last read, for the next track heads.
  std::vector<unsigned char> window_;
  uint64_t windowAt_ = 0;
  size_t windowBytes_ = 0;
  // The walk: the header, the track being walked and where its next sample lies.
  PfxHeader header_{0, 0, 0};
  int64_t tracksLeft_ = 0;
  uint64_t tracksBegun_ = 0;
  uint64_t nextHead_ = PFX_HEADER_SIZE;
  bool ended_ = true;
  bool inTrack_ = false;
  int32_t firstIndex_ = 0;
  SampleWalk walk_{};
  int32_t interval_ = 0;   // 0: every sample kept
  uint64_t pass_ = 0;      // the track's pass, for the countdown's closed form
  uint64_t samplesLeft_ = 0;  // whole samples the file holds from the track's next on
};

// Where a point the plug-in makes comes from.
struct SampleOrigin {
  uint64_t particle = 0;  // its track's number in the file, from 0
  uint64_t sample = 0;    // counted from the track's first sample in the file, from 0
  int32_t frame = 0;
};

// The origins of the points of a run, walked as KeptFrames walks them; points are asked in
// increasing order, so that a run's worth of them costs one walk over the track heads.
class PointOrigins {
 public:
  bool Open(const std::string& path, const std::optional<double>& step, std::string* error) { return walk_.Open(path, step, error); }
  // The origin of the point `number` (from 0); none for a number asked before, or past the
  // points the walk finds.
  std::optional<SampleOrigin> Of(uint64_t number);

 private:
  KeptFrames walk_;
  uint64_t taken_ = 0;
  int32_t frame_ = 0;  // the last frame taken
};

}  // namespace dustweave
