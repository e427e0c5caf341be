// Reading a pfx file for inspection: a buffered big-endian source that counts bytes, read
// through the file layer, and the walk through header and tracks by the format's sample rule.
#include "pfxtools/pfx_inspect.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "pfxtools/pfx_frames.h"
#include "platform/file_handle.h"

namespace dustweave {

namespace {

// ---- the source -------------------------------------------------------------------------------

class Source {
 public:
  explicit Source(FileHandle& file) : file_(file), buffer_(BUFFER_SIZE) {}

  // The next n bytes; false at the end of the file, after taking what was there.
  bool Take(unsigned char* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (next_ == end_ && !Refill()) return false;
      out[i] = buffer_[next_++];
      ++consumed_;
    }
    return true;
  }
  // The next `count` (at most MAX_WORDS) big-endian words; false at the end of the file.
  static constexpr size_t MAX_WORDS = 6;
  bool TakeWords(uint32_t* words, size_t count) {
    size_t n = 4 * count;
    if (end_ - next_ < n) {
      unsigned char bytes[4 * MAX_WORDS];
      if (!Take(bytes, n)) return false;
      for (size_t i = 0; i < count; ++i) words[i] = PfxWordAt(bytes + 4 * i);
      return true;
    }
    for (size_t i = 0; i < count; ++i) words[i] = PfxWordAt(buffer_.data() + next_ + 4 * i);
    next_ += n;
    consumed_ += n;
    return true;
  }
  uint64_t SkipToEnd() {
    uint64_t skipped = end_ - next_;
    next_ = end_;
    while (Refill()) {
      skipped += end_;
      next_ = end_;
    }
    return skipped;
  }
  uint64_t consumed() const { return consumed_; }
  SystemError error() const { return error_; }

 private:
  static constexpr size_t BUFFER_SIZE = 1 << 20;
  // A failed read ends the file here, and is kept.
  bool Refill() {
    next_ = 0;
    end_ = 0;
    if (error_ == 0) error_ = file_.ReadAt(offset_, buffer_.data(), buffer_.size(), &end_);
    offset_ += end_;
    return end_ > 0;
  }

  FileHandle& file_;
  std::vector<unsigned char> buffer_;
  size_t next_ = 0, end_ = 0;
  uint64_t consumed_ = 0, offset_ = 0;
  SystemError error_ = 0;
};

float AsFloat(uint32_t word) {
  float value;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

// ---- the walk ---------------------------------------------------------------------------------

}  // namespace

// The counter runs 0, 1, ... up to the span or the index limit, whichever comes first. Past the
// limit it jumps to the resume index R: a jump past the span (or to the last index there is)
// ends the track after that one sample; any other jump lands at or below the span again, and
// from there the counter never passes the span, so the track runs to its cap of span + 1.
uint64_t TrackSampleCount(const PfxTrack& track, int32_t indexLimit) {
  int64_t span = TrackSpan(track);
  if (span < 0) return 0;
  uint64_t cap = static_cast<uint64_t>(span) + 1;
  if (indexLimit >= span) return cap;
  uint64_t beforeJump = indexLimit >= 0 ? static_cast<uint64_t>(indexLimit) + 1 : 0;
  int64_t resume = track.resumeIndex;
  if (resume == INT32_MAX || resume + 1 > span) return beforeJump + 1;
  return cap;
}

namespace {

void AddSample(PfxInspection* in, const uint32_t words[3]) {
  // + 0.0f: a bound of -0 reads as 0.
  float xyz[3] = {AsFloat(words[0]) + 0.0f, AsFloat(words[1]) + 0.0f, AsFloat(words[2]) + 0.0f};
  ++in->samples;
  if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
    ++in->nonFiniteSamples;
    return;
  }
  for (int i = 0; i < 3; ++i) {
    if (!in->anyFinite || xyz[i] < in->low[i]) in->low[i] = xyz[i];
    if (!in->anyFinite || xyz[i] > in->high[i]) in->high[i] = xyz[i];
  }
  in->anyFinite = true;
}

bool ReadHeader(Source& source, PfxInspection* in) {
  int32_t* fields[3] = {&in->header.version, &in->header.particleCount, &in->header.indexLimit};
  for (int32_t* field : fields) {
    uint32_t word;
    if (!source.TakeWords(&word, 1)) return false;
    *field = static_cast<int32_t>(word);
    ++in->headerFields;
  }
  return true;
}

// One track: false when the file ends inside it (and where is noted).
bool ReadTrack(Source& source, PfxInspection* in) {
  uint32_t head[6];
  if (!source.TakeWords(head, 6)) {
    in->endSample = 0;
    return false;
  }
  PfxTrack track{static_cast<int32_t>(head[0]), static_cast<int32_t>(head[1]),
                 static_cast<int32_t>(head[2]), {0, 0, 0}};
  SampleWalk walk = BeginSampleWalk(track, in->header.indexLimit);
  int32_t j = 0;
  uint64_t taken = 0, finiteBefore = in->samples - in->nonFiniteSamples;
  while (NextSample(walk, &j)) {
    uint32_t words[3];
    if (!source.TakeWords(words, 3)) {
      in->endSample = taken + 1;
      in->endTrackSamples = TrackSampleCount(track, in->header.indexLimit);
      in->shapes.Add(walk.span, taken, false);
      return false;
    }
    uint64_t nonFiniteBefore = in->nonFiniteSamples;
    AddSample(in, words);
    if (nonFiniteBefore == 0 && in->nonFiniteSamples == 1) {
      in->firstNonFiniteParticle = in->wholeTracks;
      in->firstNonFiniteSample = taken;
      in->firstNonFiniteFrame = SampleFrame(track.firstIndex, j);
    }
    ++taken;
  }
  if (in->samples - in->nonFiniteSamples > finiteBefore) ++in->finiteTracks;
  if (walk.span >= 0 && walk.next <= walk.span) ++in->cappedTracks;
  in->shapes.Add(walk.span, taken, j == walk.span);
  return true;
}

}  // namespace

bool InspectPfx(const std::string& path, PfxInspection* in, std::string* error) {
  *in = PfxInspection{};
  FileHandle file;
  if (SystemError failure = file.OpenToRead(path)) {
    *error = "cannot open " + path + ": " + SystemReason(failure);
    return false;
  }
  Source source(file);
  bool whole = ReadHeader(source, in);
  if (whole) {
    in->tracksToRead = in->header.particleCount > 0 ? static_cast<uint64_t>(in->header.particleCount) : 0;
    while (whole && in->wholeTracks < in->tracksToRead) {
      in->endTrack = in->wholeTracks + 1;
      whole = ReadTrack(source, in);
      if (whole) ++in->wholeTracks;
    }
  }
  in->endsEarly = !whole;
  in->bytesRead = source.consumed();
  in->trailingBytes = whole ? source.SkipToEnd() : 0;
  in->fileBytes = in->bytesRead + in->trailingBytes;
  if (source.error() != 0) {
    *error = "cannot read " + path + ": " + SystemReason(source.error());
    return false;
  }
  return true;
}

bool ReadsCleanly(const PfxInspection& in) {
  return !in.endsEarly && in.header.version == PFX_VERSION && in.header.particleCount >= 1;
}

std::string WhyNoPoint(const PfxInspection& in) {
  if (in.samples > 0) return "";
  if (in.headerFields < 3) return "the file ends inside its header";
  if (in.tracksToRead == 0) return "the file holds no track: its particle count is " + std::to_string(in.header.particleCount);
  if (in.wholeTracks == 0 && in.endsEarly) return "the file ends inside its first track's head";
  if (in.endsEarly) return "the file ends before its first sample";
  return in.wholeTracks == 1 ? "its one track's last index is before its first, so it holds no sample"
                             : "every track's last index is before its first, so the file holds no sample";
}

}  // namespace dustweave
