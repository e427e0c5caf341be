// Walking a pfx file's tracks for the frames of the samples the plug-in keeps: each head read
// through a window of the file, the samples passed over by their count; runs of consecutive
// frames made in one step, every other pass as the plug-in takes it; where a point comes from.
#include "pfxtools/pfx_frames.h"

#include <algorithm>
#include <iterator>

#include "pfxtools/pfx_thinning.h"
#include "platform/path_queries.h"

namespace dustweave {

namespace {

constexpr size_t WINDOW_BYTES = 1 << 16;
constexpr size_t HEAD_WORDS = PFX_TRACK_HEAD_SIZE / 4;  // three indices and three ignored reals

}  // namespace

bool KeptFrames::Open(const std::string& path, const std::optional<double>& step, std::string* error) {
  path_ = path;
  step_ = step.value_or(1.0);
  PathStatus status;
  SystemError failure = StatusOf(path, &status);
  if (failure == 0) failure = file_.OpenToRead(path);
  if (failure != 0) {
    *error = "cannot open " + path + ": " + SystemReason(failure);
    return false;
  }
  size_ = status.size;
  window_.resize(WINDOW_BYTES);
  uint32_t words[3];
  ended_ = !ReadWords(0, words, 3);
  header_ = {static_cast<int32_t>(words[0]), static_cast<int32_t>(words[1]), static_cast<int32_t>(words[2])};
  tracksLeft_ = ended_ ? 0 : std::max<int64_t>(header_.particleCount, 0);
  return true;
}

// `count` big-endian words at `offset`, from the window or a new window read there; false where
// the file ends before them or the read fails.
bool KeptFrames::ReadWords(uint64_t offset, uint32_t* words, size_t count) {
  uint64_t bytes = 4 * count;
  if (offset + bytes > size_) return false;
  if (offset < windowAt_ || offset + bytes > windowAt_ + windowBytes_) {
    windowAt_ = offset;
    windowBytes_ = 0;
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(WINDOW_BYTES, size_ - offset));
    while (windowBytes_ < wanted) {
      size_t got = 0;
      SystemError failure = file_.ReadAt(offset + windowBytes_, window_.data() + windowBytes_, wanted - windowBytes_, &got);
      if (failure != 0 || got == 0) {
        error_ = "cannot read " + path_ + ": " + (failure != 0 ? SystemReason(failure) : "it became shorter");
        return false;
      }
      windowBytes_ += got;
    }
  }
  for (size_t i = 0; i < count; ++i) words[i] = PfxWordAt(window_.data() + (offset - windowAt_) + 4 * i);
  return true;
}

// The next track's head, when the plug-in reads one: the walk then stands at its first sample.
bool KeptFrames::BeginTrack() {
  uint32_t head[HEAD_WORDS];
  if (tracksLeft_ == 0 || !ReadWords(nextHead_, head, HEAD_WORDS)) {
    ended_ = true;
    return false;
  }
  --tracksLeft_;
  ++tracksBegun_;
  PfxTrack track{static_cast<int32_t>(head[0]), static_cast<int32_t>(head[1]), static_cast<int32_t>(head[2]), {}};
  firstIndex_ = track.firstIndex;
  walk_ = BeginSampleWalk(track, header_.indexLimit);
  interval_ = ThinningInterval(walk_.span, step_);
  pass_ = 0;
  nextHead_ += PFX_TRACK_HEAD_SIZE;
  samplesLeft_ = (size_ - nextHead_) / PFX_SAMPLE_SIZE;
  inTrack_ = true;
  return true;
}

// A run of passes with every sample kept and no jump: the counter goes up by one a pass, as
// NextSample takes it. Returns the frames made, 0 where the next pass is not such.
size_t KeptFrames::TakeRun(int32_t* frames, size_t count) {
  if (interval_ != 0 || walk_.remaining == 0 || walk_.next > walk_.span || walk_.next > walk_.indexLimit) return 0;
  int64_t next = walk_.next;
  uint64_t run = std::min<uint64_t>({count, walk_.remaining, samplesLeft_, static_cast<uint64_t>(walk_.span - next + 1),
                                     static_cast<uint64_t>(walk_.indexLimit - next + 1)});
  for (uint64_t i = 0; i < run; ++i) frames[i] = SampleFrame(firstIndex_, static_cast<int32_t>(next + static_cast<int64_t>(i)));
  if (run == 0) return 0;
  int64_t last = next + static_cast<int64_t>(run) - 1;
  walk_.remaining -= static_cast<uint32_t>(run);
  if (last == INT32_MAX) {
    walk_.remaining = 0;
  } else {
    walk_.next = static_cast<int32_t>(last + 1);
  }
  samplesLeft_ -= run;
  nextHead_ += PFX_SAMPLE_SIZE * run;
  pass_ += run;
  return static_cast<size_t>(run);
}

// Passes as the plug-in makes them, up to the next kept sample: false at the track's end (or the
// file's, which ends the walk).
bool KeptFrames::TakeOne(int32_t* frame) {
  int32_t j = 0;
  while (NextSample(walk_, &j)) {
    if (samplesLeft_ == 0) {  // the plug-in's read of this sample fails: its run ends here
      ended_ = true;
      return false;
    }
    --samplesLeft_;
    nextHead_ += PFX_SAMPLE_SIZE;
    if (!ThinningKeeps(pass_++, interval_, j == walk_.span)) continue;
    *frame = SampleFrame(firstIndex_, j);
    return true;
  }
  inTrack_ = false;
  return false;
}

size_t KeptFrames::Take(int32_t* frames, size_t count) {
  size_t taken = 0;
  while (taken < count && !ended_) {
    if (!inTrack_ && !BeginTrack()) break;
    size_t run = TakeRun(frames + taken, count - taken);
    if (run == 0 && TakeOne(frames + taken)) run = 1;
    taken += run;
  }
  return taken;
}

std::optional<SampleOrigin> PointOrigins::Of(uint64_t number) {
  int32_t frames[1024];
  if (number + 1 < taken_) return std::nullopt;
  while (taken_ < number + 1) {
    size_t got = walk_.Take(frames, static_cast<size_t>(std::min<uint64_t>(number + 1 - taken_, std::size(frames))));
    if (got == 0) return std::nullopt;
    taken_ += got;
    frame_ = frames[got - 1];
  }
  return SampleOrigin{walk_.particle(), walk_.sample(), frame_};
}

}  // namespace dustweave
