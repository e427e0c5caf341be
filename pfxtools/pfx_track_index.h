// A pfx file over time: where each track's samples start and at which frames they lie (the frame
// of a sample is the track's first index plus its sample counter), built in one pass over the
// track heads, and the walk that reads, frame after frame, the samples the living particles need.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pfx/format.h"
#include "pfxtools/pfx_frames.h"
#include "platform/file_handle.h"

namespace dustweave {

// Part of a track shown over a range of frames. A run is a stretch of samples one frame apart;
// the sample counter's jump begins a new run. Where runs share a frame the file's later sample
// shows there, so a run is shown at the frames no later run of its track claims.
struct TrackPiece {
  uint64_t track = 0;        // the particle's number in the file, from 0
  uint64_t samplesAt = 0;    // the file offset of its track's first sample
  uint64_t runFirst = 0;     // the run's first and last samples, counted from the track's first
  uint64_t runLast = 0;
  int64_t runFrame = 0;      // the frame of runFirst
  int64_t shownFrom = 0;     // the frames shown, inclusive
  int64_t shownTo = 0;
  int32_t span = 0;          // its track's span, which sets its thinning

  uint64_t SampleAt(int64_t frame) const { return runFirst + static_cast<uint64_t>(frame - runFrame); }
};

// The runs of one track as (first sample, last sample, frame of the first), in file order: the
// samples before the counter's first jump, then the last whole loop after it and the part of a
// loop the cap leaves, whatever their number. `present` samples of the track are read (the cap
// of the sample rule, or fewer where the file ends).
struct TrackRun {
  uint64_t first, last;
  int64_t frame;
};
std::vector<TrackRun> RunsOf(const PfxTrack& track, int32_t indexLimit, uint64_t present);

// The pieces of a track, built from its runs: a run less the frames its later runs claim.
void AddPieces(const std::vector<TrackRun>& runs, uint64_t track, uint64_t samplesAt, std::vector<TrackPiece>* pieces);

// The pieces of one track from `begin` on, less its samples `left` (in increasing order): each run
// broken where one was, as after a jump, and the frame where it showed left empty. The samples
// left out that lay in a run go to `removed` with their frames, in order.
void PiecesWithout(std::vector<TrackPiece>* pieces, size_t begin, const std::vector<uint64_t>& left,
                   std::vector<std::pair<uint64_t, int64_t>>* removed);

// A piece's trail at one of its samples: the samples of its run from `start` (the run's first, or
// the last `trailFrames` samples' first) before the head that the plug-in's thinning at `interval`
// keeps (0: every one), then the head, the particle's own sample, so the trail always reaches it.
struct Trail {
  uint64_t start = 0, head = 0;
  uint64_t firstKept = 0, every = 1, count = 1;  // the kept samples before the head; vertices in all

  uint64_t vertices() const { return count; }
  // The sample of vertex `i` (i < vertices()).
  uint64_t Vertex(uint64_t i) const { return i + 1 < count ? firstKept + i * every : head; }
};
Trail TrailAt(const TrackPiece& piece, uint64_t sample, uint64_t trailFrames, const std::optional<double>& step);

// The samples an index leaves out, whose position is no finite 32-bit float: those a frame would
// show, the first few named.
struct SamplesLeftOut {
  uint64_t samples = 0, particles = 0;
  std::vector<SampleOrigin> first;
  static constexpr size_t FIRST_NAMED = 5;
};

class PfxFrameIndex {
 public:
  // Reads the header and each track head, seeking past the samples; false, with a one-line
  // reason, when the file cannot be read. A file that ends inside a track keeps the whole samples
  // read before it (endsEarly()). Given `leftOut`, every sample is read too, and those whose
  // position is no finite float are left out of the runs, each broken there.
  bool Build(const std::string& path, std::string* error, SamplesLeftOut* leftOut = nullptr);

  const PfxHeader& header() const { return header_; }
  const std::vector<TrackPiece>& pieces() const { return pieces_; }
  bool endsEarly() const { return endsEarly_; }
  bool empty() const { return pieces_.empty(); }
  int64_t firstFrame() const { return firstFrame_; }
  int64_t lastFrame() const { return lastFrame_; }
  uint64_t frames() const { return empty() ? 0 : static_cast<uint64_t>(lastFrame_ - firstFrame_) + 1; }
  uint64_t tracks() const { return tracks_; }

  // The particle points of every frame, and the trail points of every frame with trails of at
  // most `trailFrames` samples (0: each from its run's first sample); a trail of one sample
  // counts none, as it draws no curve. With a step share, trails hold what TrailAt() keeps.
  uint64_t ParticlePoints() const;
  uint64_t TrailPoints(uint64_t trailFrames, const std::optional<double>& step = std::nullopt) const;

 private:
  PfxHeader header_{0, 0, 0};
  std::vector<TrackPiece> pieces_;  // by track, then frame
  uint64_t tracks_ = 0;
  bool endsEarly_ = false;
  int64_t firstFrame_ = 0, lastFrame_ = -1;
};

// The samples of the living particles, read frame after frame with positioned reads: the file is
// never read whole. Each of `tracks` tracks keeps a block of its samples around the last one read
// (CACHE_BYTES in all), decoded as it is read, so that a frame's walk over the particles reads
// each track once a block of frames rather than once a frame, and a sample costs three loads.
class FrameReader {
 public:
  // Opens the file; false, with a one-line reason.
  bool Open(const std::string& path, uint64_t tracks, std::string* error);
  // The sample `index` of a piece's track as x, y, z; false once a read failed (failure()).
  bool Sample(const TrackPiece& piece, uint64_t index, float xyz[3]) {
    bool held = piece.track < blockFirst_.size() && index >= blockFirst_[piece.track] &&
                index - blockFirst_[piece.track] < blockCount_[piece.track];
    if (!held) return SampleRead(piece, index, xyz);
    Copy(piece, index, xyz);
    return true;
  }
  // The samples [first, last] of a piece's track, one x, y, z after another, held in its block
  // (read afresh when they are not); nullptr when they do not fit one block or a read failed.
  const float* Samples(const TrackPiece& piece, uint64_t first, uint64_t last);
  SystemError failure() const { return failure_; }

  static constexpr uint64_t CACHE_BYTES = uint64_t{8} << 20;

 private:
  bool Fill(const TrackPiece& piece, uint64_t index);
  bool SampleRead(const TrackPiece& piece, uint64_t index, float xyz[3]);
  void Copy(const TrackPiece& piece, uint64_t index, float xyz[3]) const {
    std::memcpy(xyz, blocks_.data() + static_cast<size_t>((piece.track * blockSamples_ + (index - blockFirst_[piece.track])) * 3),
                3 * sizeof(float));
  }

  FileHandle file_;
  uint64_t blockSamples_ = 1;
  std::vector<float> blocks_;             // a block a track, x, y, z a sample
  std::vector<unsigned char> read_;       // the bytes of the block being read
  std::vector<uint64_t> blockFirst_, blockCount_;  // the samples each block holds
  SystemError failure_ = 0;
};

// The pieces shown frame after frame, in track order, each particle at most once a frame: the
// pieces born are merged in and those ended dropped as the frames go by, so a walk over the frames
// costs the pieces shown, not every piece of the file at every frame.
class LivingWalk {
 public:
  explicit LivingWalk(const PfxFrameIndex& index);
  // The pieces shown at `frame`; frames are asked in increasing order.
  const std::vector<const TrackPiece*>& At(int64_t frame);

 private:
  std::vector<const TrackPiece*> byBirth_;  // by the first frame shown, then track
  size_t born_ = 0;                         // byBirth_'s pieces taken in so far
  std::vector<const TrackPiece*> living_;   // by track
};

}  // namespace dustweave
