// A pfx file over time: where each track's samples start and at which frames they lie (the frame
// of a sample is the track's first index plus its sample counter), built in one pass over the
// track heads, and the walk that reads, frame after frame, the samples the living particles need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pfx/format.h"
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

class PfxFrameIndex {
 public:
  // Reads the header and each track head, seeking past the samples; false, with a one-line
  // reason, when the file cannot be read. A file that ends inside a track keeps the whole samples
  // read before it (endsEarly()).
  bool Build(const std::string& path, std::string* error);

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
  // counts none, as it draws no curve.
  uint64_t ParticlePoints() const;
  uint64_t TrailPoints(uint64_t trailFrames) const;

 private:
  PfxHeader header_{0, 0, 0};
  std::vector<TrackPiece> pieces_;  // by track, then frame
  uint64_t tracks_ = 0;
  bool endsEarly_ = false;
  int64_t firstFrame_ = 0, lastFrame_ = -1;
};

// The samples of the living particles, read frame after frame with positioned reads: the file
// is never read whole. A frame takes one sample of every living track, and the tracks lie one
// after another in the file, so each track reads ahead into a window of its own; the windows
// share a fixed budget (one sample each for a file of very many tracks), held in slots that
// tracks past the budget share.
class FrameReader {
 public:
  // Opens the file of `tracks` tracks; false, with a one-line reason.
  bool Open(const std::string& path, uint64_t tracks, std::string* error);
  // The sample `index` of a piece's track as x, y, z; false once a read failed (failure()).
  bool Sample(const TrackPiece& piece, uint64_t index, float xyz[3]);
  SystemError failure() const { return failure_; }

  static constexpr size_t BUDGET_BYTES = 8 << 20;  // every window's samples together
  static constexpr size_t MOST_AHEAD = 1024;       // samples a window reads at most

 private:
  struct Window {
    uint64_t track = UINT64_MAX, at = 0;  // the track whose bytes it holds, from file offset `at`
    size_t bytes = 0;
  };
  bool Fill(Window& window, size_t slot, uint64_t track, uint64_t offset);

  FileHandle file_;
  std::vector<Window> windows_;
  std::vector<unsigned char> buffer_;  // each window's room, one after another
  size_t room_ = 0;                    // bytes a window holds
  SystemError failure_ = 0;
};

// The pieces shown at `frame`, in track order: each particle at most once.
template <typename Visit>
void ForEachLiving(const PfxFrameIndex& index, int64_t frame, Visit&& visit) {
  for (const TrackPiece& piece : index.pieces()) {
    if (piece.shownFrom <= frame && frame <= piece.shownTo) visit(piece);
  }
}

}  // namespace dustweave
