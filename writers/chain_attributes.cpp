// Taking each point into its chain once the polygons that may join it have come, and writing a
// closed chain's values into the three chain streams' blocks: copied from the pattern of its
// length when it fits a block, else worked out point by point; each point's frame as it comes.
#include "writers/chain_attributes.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "writers/ramp.h"

namespace dustweave {

static_assert(std::endian::native == std::endian::little, "the streams hold little-endian float32");

ChainAttributes::ChainAttributes(BlockSink sink, size_t blockPoints, PointFrames* frames, uint32_t ringsASegment)
    : sink_(std::move(sink)),
      blockPoints_(blockPoints > 0 ? blockPoints : 1),
      blocks_(new char[3 * CHAIN_STREAM_BYTES * blockPoints_]),
      rings_(ringsASegment > 0 ? ringsASegment : 1) {
  if (!frames) return;
  frames_ = std::make_unique<FrameFeed>(frames);
  frameBlock_.reset(new char[FRAME_STREAM_BYTES * blockPoints_]);
}

ChainAttributes::~ChainAttributes() = default;

void ChainAttributes::StartNextChain() {
  CloseChain();
  ++chains_;
}

// A chain of n points has (n - 1) × rings + 1 values, placed evenly along it.
void ChainAttributes::CloseChain() {
  uint64_t length = chainLength_ == 0 ? 0 : (chainLength_ - 1) * rings_ + 1;
  chainLength_ = 0;
  if (length == 0 || tooManyChains()) return;
  const float chain = static_cast<float>(chains_ - 1);
  if (length > blockPoints_) return PutEachPoint(chain, length);
  if (length != patternLength_) MakePattern(length);
  const char* colours = pattern_.get();
  PutPoints(chain, length, colours, colours + CHAIN_STREAM_BYTES * blockPoints_);
}

namespace {

// The place of the point `index` along a chain whose last point is `last`.
float PlaceAlong(uint64_t index, uint64_t last) {
  return last == 0 ? 0.0f : static_cast<float>(static_cast<double>(index) / static_cast<double>(last));
}

// The ramp's colour at `place` as the RGBA bytes of COLOR_0.
void PutColour(char* at, float place) {
  Rgb8 colour = LinearRampColour(place);
  const unsigned char rgba[4] = {colour.r, colour.g, colour.b, 255};
  std::memcpy(at, rgba, sizeof rgba);
}

}  // namespace

void ChainAttributes::MakePattern(uint64_t length) {
  if (!pattern_) pattern_.reset(new char[2 * CHAIN_STREAM_BYTES * blockPoints_]);
  char* places = pattern_.get() + CHAIN_STREAM_BYTES * blockPoints_;
  for (uint64_t i = 0; i < length; ++i) {
    float place = PlaceAlong(i, length - 1);
    PutColour(pattern_.get() + CHAIN_STREAM_BYTES * i, place);
    std::memcpy(places + CHAIN_STREAM_BYTES * i, &place, sizeof place);
  }
  patternLength_ = length;
}

// Copies a chain's colours and places into the blocks, a block's room at a time.
void ChainAttributes::PutPoints(float chain, uint64_t length, const char* colours, const char* places) {
  char* blockColours = blocks_.get();
  char* blockChains = blockColours + CHAIN_STREAM_BYTES * blockPoints_;
  char* blockPlaces = blockChains + CHAIN_STREAM_BYTES * blockPoints_;
  for (uint64_t done = 0; done < length;) {
    if (filled_ == blockPoints_) Flush();
    size_t run = static_cast<size_t>(std::min<uint64_t>(length - done, blockPoints_ - filled_));
    size_t at = CHAIN_STREAM_BYTES * filled_, from = CHAIN_STREAM_BYTES * done;
    std::memcpy(blockColours + at, colours + from, CHAIN_STREAM_BYTES * run);
    std::memcpy(blockPlaces + at, places + from, CHAIN_STREAM_BYTES * run);
    for (size_t i = 0; i < run; ++i) std::memcpy(blockChains + at + CHAIN_STREAM_BYTES * i, &chain, sizeof chain);
    filled_ += run;
    done += run;
  }
}

// A chain longer than a block, worked out point by point.
void ChainAttributes::PutEachPoint(float chain, uint64_t length) {
  char* colours = blocks_.get();
  char* chains = colours + CHAIN_STREAM_BYTES * blockPoints_;
  char* places = chains + CHAIN_STREAM_BYTES * blockPoints_;
  for (uint64_t i = 0; i < length; ++i) {
    if (filled_ == blockPoints_) Flush();
    float place = PlaceAlong(i, length - 1);
    size_t at = CHAIN_STREAM_BYTES * filled_++;
    PutColour(colours + at, place);
    std::memcpy(chains + at, &chain, sizeof chain);
    std::memcpy(places + at, &place, sizeof place);
  }
}

void ChainAttributes::Flush() {
  size_t size = CHAIN_STREAM_BYTES * filled_;
  filled_ = 0;
  if (size == 0) return;
  const char* block = blocks_.get();
  for (ChainStream stream : {ChainStream::Colour, ChainStream::Chain, ChainStream::Place}) {
    sink_(stream, block, size);
    block += CHAIN_STREAM_BYTES * blockPoints_;
  }
}

// The older point's frames, now that the newest's are known: the newest is `joined` to it.
void ChainAttributes::PassFrames(bool joined) {
  if (hasOlderFrame_) {
    uint32_t count = joined ? rings_ : 1;
    double from = olderFrame_, span = static_cast<double>(newestFrame_) - from;
    for (uint32_t step = 0; step < count; ++step) PutFrame(static_cast<float>(from + span * step / rings_));
  }
  olderFrame_ = newestFrame_;
  hasOlderFrame_ = true;
}

void ChainAttributes::Finish() {
  if (rule_.points() > 0) TakeNewest();
  if (frames_ && rings_ > 1 && hasOlderFrame_) PutFrame(static_cast<float>(olderFrame_));
  hasOlderFrame_ = false;
  CloseChain();
  if (tooManyChains()) filled_ = 0;
  Flush();
  if (frames_) FlushFrames();
}

void ChainAttributes::FlushFrames() {
  if (framesFilled_ > 0) sink_(ChainStream::Frame, frameBlock_.get(), FRAME_STREAM_BYTES * framesFilled_);
  framesFilled_ = 0;
}

void ChainAttributes::NoteFramePastFloats(int32_t frame) {
  if (!framePastFloats_) framePastFloats_ = {rule_.points() - 1, frame};
}

std::string ChainAttributes::framesRefused() const {
  if (!frames_) return "";
  if (!frames_->missing().empty()) return "the frames of its points: " + frames_->missing();
  if (!framePastFloats_) return "";
  return "point " + std::to_string(framePastFloats_->first) + " is at frame " + std::to_string(framePastFloats_->second) +
         ", past the " + std::to_string(MAX_FRAME) + " that _FRAME's 32-bit floats hold exactly; convert without "
         "--attributes, or to .usda or .usdc";
}

}  // namespace dustweave
