// A pfx file over time: the runs of each track told from its indices (never by walking its
// samples), the pieces shown, the index built from the track heads, the counts a layer's size is
// told from, and the buffered positioned reads of the frame walk.
#include "pfxtools/pfx_track_index.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "pfxtools/pfx_inspect.h"
#include "pfxtools/pfx_thinning.h"
#include "platform/path_queries.h"

namespace dustweave {

// ---- the runs of a track ------------------------------------------------------------------------

namespace {

// Where the jump lands on the very frame after the first run (the resume index is the limit + 1),
// the sample after the jump goes on with the first run; a loop of it alone drops out.
void JoinContinuation(std::vector<TrackRun>& runs, uint64_t before, int64_t resume) {
  if (before == 0 || runs.size() < 2 || resume != static_cast<int64_t>(before)) return;
  runs[0].last = before;
  if (runs[1].first <= before) runs.erase(runs.begin() + 1);
}

}  // namespace

// The counter runs 0, 1, ... up to the index limit or the span; past the limit it jumps to the
// resume index R and climbs again to the limit, so after the jump the samples loop over R..limit
// (over R alone when R lies past the limit) until the cap, every loop beginning at frame first + R.
// A jump to INT32_MAX or past the span is the track's last sample.
std::vector<TrackRun> RunsOf(const PfxTrack& track, int32_t indexLimit, uint64_t present) {
  std::vector<TrackRun> runs;
  int64_t span = TrackSpan(track);
  if (span < 0 || present == 0) return runs;
  int64_t first = track.firstIndex, limit = indexLimit, resume = track.resumeIndex;
  uint64_t before = limit >= span ? static_cast<uint64_t>(span) + 1 : limit >= 0 ? static_cast<uint64_t>(limit) + 1 : 0;
  before = std::min(before, present);
  if (before > 0) runs.push_back({0, before - 1, first});
  uint64_t after = present - before;
  if (after == 0) return runs;
  int64_t frame = first + resume;
  if (resume == INT32_MAX || resume + 1 > span) {
    runs.push_back({before, before, frame});
  } else {
    uint64_t loop = resume > limit ? 1 : static_cast<uint64_t>(limit - resume) + 1;
    uint64_t whole = after / loop, rest = after % loop;
    if (whole > 0) runs.push_back({before + (whole - 1) * loop, before + whole * loop - 1, frame});
    if (rest > 0) runs.push_back({before + whole * loop, before + whole * loop + rest - 1, frame});
  }
  JoinContinuation(runs, before, resume);
  return runs;
}

// Every run after the first begins at the same frame, so the frames later runs claim are one range.
void AddPieces(const std::vector<TrackRun>& runs, uint64_t track, uint64_t samplesAt, std::vector<TrackPiece>* pieces) {
  size_t begin = pieces->size();
  int64_t claimedFrom = 1, claimedTo = 0;  // none yet
  for (size_t i = runs.size(); i-- > 0;) {
    const TrackRun& run = runs[i];
    int64_t from = run.frame, to = run.frame + static_cast<int64_t>(run.last - run.first);
    TrackPiece piece{track, samplesAt, run.first, run.last, run.frame, from, to};
    if (claimedFrom > claimedTo || to < claimedFrom || from > claimedTo) {
      pieces->push_back(piece);
    } else {
      if (from < claimedFrom) pieces->push_back({track, samplesAt, run.first, run.last, run.frame, from, claimedFrom - 1});
      if (to > claimedTo) pieces->push_back({track, samplesAt, run.first, run.last, run.frame, claimedTo + 1, to});
    }
    bool none = claimedFrom > claimedTo;
    claimedFrom = none ? from : std::min(claimedFrom, from);
    claimedTo = none ? to : std::max(claimedTo, to);
  }
  std::sort(pieces->begin() + static_cast<std::ptrdiff_t>(begin), pieces->end(),
            [](const TrackPiece& a, const TrackPiece& b) { return a.shownFrom < b.shownFrom; });
}

void PiecesWithout(std::vector<TrackPiece>* pieces, size_t begin, const std::vector<uint64_t>& left,
                   std::vector<std::pair<uint64_t, int64_t>>* removed) {
  std::vector<TrackPiece> kept;
  for (size_t i = begin; i < pieces->size(); ++i) {
    TrackPiece rest = (*pieces)[i];
    bool any = true;
    for (auto at = std::lower_bound(left.begin(), left.end(), rest.runFirst); any && at != left.end() && *at <= rest.runLast; ++at) {
      int64_t frame = rest.runFrame + static_cast<int64_t>(*at - rest.runFirst);
      removed->push_back({*at, frame});
      TrackPiece before = rest;
      before.runLast = *at - 1, before.shownTo = std::min(rest.shownTo, frame - 1);
      if (*at > rest.runFirst && before.shownFrom <= before.shownTo) kept.push_back(before);
      any = *at < rest.runLast;
      rest.runFirst = *at + 1, rest.runFrame = frame + 1, rest.shownFrom = std::max(rest.shownFrom, frame + 1);
    }
    if (any && rest.shownFrom <= rest.shownTo) kept.push_back(rest);
  }
  pieces->resize(begin);
  std::sort(kept.begin(), kept.end(), [](const TrackPiece& a, const TrackPiece& b) { return a.shownFrom < b.shownFrom; });
  pieces->insert(pieces->end(), kept.begin(), kept.end());
  std::sort(removed->begin(), removed->end());  // a run shown in two pieces tells its samples twice
  removed->erase(std::unique(removed->begin(), removed->end()), removed->end());
}

// ---- the index ----------------------------------------------------------------------------------

namespace {

// The samples of a track (`count` of them from `at`) whose position is no finite float, read a
// block at a time.
SystemError NonFiniteSamples(FileHandle& file, uint64_t at, uint64_t count, std::vector<uint64_t>* found) {
  found->clear();
  constexpr uint64_t BLOCK = 1 << 16;  // samples a read
  std::vector<unsigned char> bytes(static_cast<size_t>(std::min(count, BLOCK) * PFX_SAMPLE_SIZE));
  for (uint64_t first = 0; first < count; first += BLOCK) {
    size_t samples = static_cast<size_t>(std::min(BLOCK, count - first)), got = 0;
    if (SystemError failure = file.ReadAt(at + first * PFX_SAMPLE_SIZE, bytes.data(), samples * PFX_SAMPLE_SIZE, &got)) return failure;
    if (got < samples * PFX_SAMPLE_SIZE) return SYSTEM_IO_ERROR;  // the file shrank since its size was taken
    for (size_t i = 0; i < samples; ++i) {
      for (int axis = 0; axis < 3; ++axis) {
        uint32_t word = PfxWordAt(bytes.data() + i * PFX_SAMPLE_SIZE + 4 * axis);
        if ((word & 0x7f800000u) == 0x7f800000u) {  // all exponent bits: an infinity or a NaN
          found->push_back(first + i);
          break;
        }
      }
    }
  }
  return 0;
}

// The track's pieces from `begin` on, less its samples whose position is no finite float.
SystemError PiecesLeftOut(FileHandle& file, uint64_t track, uint64_t at, uint64_t present, std::vector<TrackPiece>* pieces,
                          size_t begin, SamplesLeftOut* leftOut) {
  std::vector<uint64_t> bad;
  if (SystemError failure = NonFiniteSamples(file, at, present, &bad)) return failure;
  if (bad.empty()) return 0;
  std::vector<std::pair<uint64_t, int64_t>> removed;
  PiecesWithout(pieces, begin, bad, &removed);
  leftOut->samples += removed.size();
  leftOut->particles += removed.empty() ? 0 : 1;
  for (const auto& [sample, frame] : removed) {
    if (leftOut->first.size() < SamplesLeftOut::FIRST_NAMED) leftOut->first.push_back({track, sample, static_cast<int32_t>(frame)});
  }
  return 0;
}

bool ReadWords(FileHandle& file, uint64_t offset, uint32_t* words, size_t count, bool* whole, SystemError* failure) {
  unsigned char bytes[4 * 6];
  size_t got = 0;
  *failure = file.ReadAt(offset, bytes, 4 * count, &got);
  *whole = *failure == 0 && got == 4 * count;
  for (size_t i = 0; i < count && *whole; ++i) words[i] = PfxWordAt(bytes + 4 * i);
  return *failure == 0;
}

}  // namespace

bool PfxFrameIndex::Build(const std::string& path, std::string* error, SamplesLeftOut* leftOut) {
  *this = PfxFrameIndex{};
  PathStatus status;
  FileHandle file;
  SystemError failure = StatusOf(path, &status);
  if (failure == 0) failure = file.OpenToRead(path);
  if (failure != 0) {
    *error = "cannot open " + path + ": " + SystemReason(failure);
    return false;
  }
  uint32_t words[6];
  bool whole = false;
  if (!ReadWords(file, 0, words, 3, &whole, &failure)) {
    *error = "cannot read " + path + ": " + SystemReason(failure);
    return false;
  }
  endsEarly_ = !whole;
  if (!whole) return true;
  header_ = {static_cast<int32_t>(words[0]), static_cast<int32_t>(words[1]), static_cast<int32_t>(words[2])};
  uint64_t at = PFX_HEADER_SIZE, count = header_.particleCount > 0 ? static_cast<uint64_t>(header_.particleCount) : 0;
  for (; tracks_ < count; ++tracks_) {
    if (!ReadWords(file, at, words, 6, &whole, &failure)) {
      *error = "cannot read " + path + ": " + SystemReason(failure);
      return false;
    }
    if (!whole) break;
    PfxTrack track{static_cast<int32_t>(words[0]), static_cast<int32_t>(words[1]), static_cast<int32_t>(words[2]), {0, 0, 0}};
    at += PFX_TRACK_HEAD_SIZE;
    uint64_t samples = TrackSampleCount(track, header_.indexLimit);
    uint64_t present = std::min(samples, status.size > at ? (status.size - at) / PFX_SAMPLE_SIZE : 0);
    size_t added = pieces_.size();
    AddPieces(RunsOf(track, header_.indexLimit, present), tracks_, at, &pieces_);
    if (leftOut && (failure = PiecesLeftOut(file, tracks_, at, present, &pieces_, added, leftOut)) != 0) {
      *error = "cannot read " + path + ": " + SystemReason(failure);
      return false;
    }
    for (size_t i = added; i < pieces_.size(); ++i) pieces_[i].span = TrackSpan(track);
    at += present * PFX_SAMPLE_SIZE;
    if (present < samples) {
      endsEarly_ = true;
      ++tracks_;
      break;
    }
  }
  endsEarly_ = endsEarly_ || tracks_ < count;
  for (const TrackPiece& piece : pieces_) {
    firstFrame_ = &piece == &pieces_.front() ? piece.shownFrom : std::min(firstFrame_, piece.shownFrom);
    lastFrame_ = &piece == &pieces_.front() ? piece.shownTo : std::max(lastFrame_, piece.shownTo);
  }
  return true;
}

// ---- the counts ---------------------------------------------------------------------------------

namespace {

// The trail points of the frames whose trails would be 1..x samples long, with trails cut to
// `most` samples (0: not cut), a trail of one sample counting none.
long double TrailPointsUpTo(uint64_t x, uint64_t most) {
  long double longest = static_cast<long double>(most == 0 || x < most ? x : most);
  long double growing = longest >= 2 ? longest * (longest + 1) / 2 - 1 : 0;
  long double cut = most >= 2 && x > most ? static_cast<long double>(x - most) * most : 0;
  return growing + cut;
}

uint64_t Clamped(long double count) {
  return count >= 18446744073709551615.0L ? UINT64_MAX : static_cast<uint64_t>(count);
}

}  // namespace

uint64_t PfxFrameIndex::ParticlePoints() const {
  uint64_t points = 0;
  for (const TrackPiece& piece : pieces_) points += static_cast<uint64_t>(piece.shownTo - piece.shownFrom) + 1;
  return points;
}

Trail TrailAt(const TrackPiece& piece, uint64_t sample, uint64_t trailFrames, const std::optional<double>& step) {
  uint64_t start = trailFrames == 0 || sample - piece.runFirst + 1 <= trailFrames ? piece.runFirst : sample + 1 - trailFrames;
  int32_t interval = step ? ThinningInterval(piece.span, *step) : 0;
  uint64_t every = interval <= 1 ? 1 : static_cast<uint64_t>(interval);
  if (every == 1) return Trail{start, sample, start, 1, sample - start + 1};
  uint64_t kept = ThinningKeptBefore(sample, interval) - ThinningKeptBefore(start, interval);
  return Trail{start, sample, ThinningNextKept(start, interval), every, kept + 1};
}

namespace {

// The trail points of a thinned layer, each shape of piece (span, run's first, samples shown)
// walked once over its frames.
uint64_t ThinnedTrailPoints(const std::vector<TrackPiece>& pieces, uint64_t trailFrames, double step) {
  std::map<std::tuple<int32_t, uint64_t, uint64_t, uint64_t>, uint64_t> shapes;
  for (const TrackPiece& piece : pieces) ++shapes[{piece.span, piece.runFirst, piece.SampleAt(piece.shownFrom), piece.SampleAt(piece.shownTo)}];
  long double points = 0;
  for (const auto& [shape, count] : shapes) {
    const auto& [span, runFirst, from, to] = shape;
    TrackPiece piece;
    piece.runFirst = runFirst;
    piece.span = span;
    uint64_t perPiece = 0;
    for (uint64_t sample = from; sample <= to; ++sample) {
      uint64_t vertices = TrailAt(piece, sample, trailFrames, step).vertices();
      if (vertices >= 2) perPiece += vertices;
    }
    points += static_cast<long double>(perPiece) * count;
  }
  return Clamped(points);
}

}  // namespace

uint64_t PfxFrameIndex::TrailPoints(uint64_t trailFrames, const std::optional<double>& step) const {
  if (step && *step < 1) return ThinnedTrailPoints(pieces_, trailFrames, *step);
  long double points = 0;
  for (const TrackPiece& piece : pieces_) {
    uint64_t shortest = piece.SampleAt(piece.shownFrom) - piece.runFirst, longest = piece.SampleAt(piece.shownTo) - piece.runFirst + 1;
    points += TrailPointsUpTo(longest, trailFrames) - TrailPointsUpTo(shortest, trailFrames);
  }
  return Clamped(points);
}

// ---- the reads ----------------------------------------------------------------------------------

bool FrameReader::Open(const std::string& path, uint64_t tracks, std::string* error) {
  if (SystemError failure = file_.OpenToRead(path)) {
    *error = "cannot open " + path + ": " + SystemReason(failure);
    return false;
  }
  blockSamples_ = std::clamp<uint64_t>(CACHE_BYTES / PFX_SAMPLE_SIZE / std::max<uint64_t>(tracks, 1), 1, 256);
  blocks_.resize(static_cast<size_t>(std::max<uint64_t>(tracks, 1) * blockSamples_ * 3));
  read_.resize(static_cast<size_t>(blockSamples_ * PFX_SAMPLE_SIZE));
  blockFirst_.assign(static_cast<size_t>(std::max<uint64_t>(tracks, 1)), 0);
  blockCount_.assign(blockFirst_.size(), 0);
  return true;
}

// The track's block from a few samples before `index` (a frame's walk looks back a little).
bool FrameReader::Fill(const TrackPiece& piece, uint64_t index) {
  uint64_t first = index - std::min<uint64_t>(index, blockSamples_ / 8);
  size_t got = 0;
  if (failure_ == 0) failure_ = file_.ReadAt(piece.samplesAt + first * PFX_SAMPLE_SIZE, read_.data(), read_.size(), &got);
  blockFirst_[piece.track] = first;
  blockCount_[piece.track] = failure_ == 0 ? got / PFX_SAMPLE_SIZE : 0;
  float* block = blocks_.data() + static_cast<size_t>(piece.track * blockSamples_ * 3);
  for (size_t word = 0, words = static_cast<size_t>(blockCount_[piece.track] * 3); word < words; ++word) {
    uint32_t bits = PfxWordAt(read_.data() + 4 * word);
    std::memcpy(block + word, &bits, sizeof bits);
  }
  return failure_ == 0;
}

// A sample past the track's block: the block read afresh around it.
bool FrameReader::SampleRead(const TrackPiece& piece, uint64_t index, float xyz[3]) {
  if (piece.track >= blockFirst_.size()) {
    failure_ = failure_ != 0 ? failure_ : SYSTEM_IO_ERROR;  // a piece of no track indexed
    return false;
  }
  if (!Fill(piece, index)) return false;
  if (index < blockFirst_[piece.track] || index - blockFirst_[piece.track] >= blockCount_[piece.track]) {
    failure_ = failure_ != 0 ? failure_ : SYSTEM_IO_ERROR;  // the file shrank since it was indexed
    return false;
  }
  Copy(piece, index, xyz);
  return true;
}

const float* FrameReader::Samples(const TrackPiece& piece, uint64_t first, uint64_t last) {
  if (piece.track >= blockFirst_.size() || last < first || last - first >= blockSamples_) return nullptr;
  auto held = [&](uint64_t index) {
    return index >= blockFirst_[piece.track] && index - blockFirst_[piece.track] < blockCount_[piece.track];
  };
  if (!(held(first) && held(last)) && !(Fill(piece, first) && held(first) && held(last))) return nullptr;
  return blocks_.data() + static_cast<size_t>((piece.track * blockSamples_ + (first - blockFirst_[piece.track])) * 3);
}

// ---- the living pieces ---------------------------------------------------------------------------

LivingWalk::LivingWalk(const PfxFrameIndex& index) {
  for (const TrackPiece& piece : index.pieces()) byBirth_.push_back(&piece);
  std::stable_sort(byBirth_.begin(), byBirth_.end(),
                   [](const TrackPiece* a, const TrackPiece* b) { return a->shownFrom < b->shownFrom; });
}

const std::vector<const TrackPiece*>& LivingWalk::At(int64_t frame) {
  std::erase_if(living_, [frame](const TrackPiece* piece) { return piece->shownTo < frame; });
  size_t before = living_.size();
  for (; born_ < byBirth_.size() && byBirth_[born_]->shownFrom <= frame; ++born_) {
    if (byBirth_[born_]->shownTo >= frame) living_.push_back(byBirth_[born_]);
  }
  auto byTrack = [](const TrackPiece* a, const TrackPiece* b) { return a->track < b->track; };
  std::inplace_merge(living_.begin(), living_.begin() + static_cast<std::ptrdiff_t>(before), living_.end(), byTrack);
  return living_;
}

}  // namespace dustweave
