// Deciding each point's chain one point late (once the polygons that may join it have come),
// and writing a closed chain's values point by point into the three streams' blocks.
#include "tools/lib/chain_attributes.h"

#include <bit>
#include <cstring>

#include "tools/lib/ramp.h"

namespace dustweave {

static_assert(std::endian::native == std::endian::little, "the streams hold little-endian float32");

ChainAttributes::ChainAttributes(BlockSink sink, size_t blockPoints)
    : sink_(std::move(sink)),
      blockPoints_(blockPoints > 0 ? blockPoints : 1),
      blocks_(new char[3 * CHAIN_STREAM_BYTES * blockPoints_]) {}

ChainAttributes::~ChainAttributes() = default;

void ChainAttributes::AddPoint(uint64_t number, const double*) {
  if (undecided_) Decide();
  undecided_ = true;
  beforeNewest_ = newest_;
  newest_ = number;
  joined_ = false;
  ++points_;
}

void ChainAttributes::AddPolygon(const char*, int count, const int64_t* points) {
  if (count != 2 || joined_ || points_ < 2 || points[0] < 0 || points[1] < 0 || points[0] == points[1]) return;
  auto a = static_cast<uint64_t>(points[0]), b = static_cast<uint64_t>(points[1]);
  joined_ = (a == beforeNewest_ && b == newest_) || (a == newest_ && b == beforeNewest_);
}

// The newest point's polygons have all come: it continues the open chain or starts the next.
void ChainAttributes::Decide() {
  if (!joined_) {
    CloseChain();
    ++chains_;
  }
  ++chainLength_;
}

void ChainAttributes::CloseChain() {
  uint64_t length = chainLength_;
  chainLength_ = 0;
  if (length == 0 || tooManyChains()) return;
  const float chain = static_cast<float>(chains_ - 1);
  const double last = static_cast<double>(length - 1);
  char* colours = blocks_.get();
  char* chains = colours + CHAIN_STREAM_BYTES * blockPoints_;
  char* places = chains + CHAIN_STREAM_BYTES * blockPoints_;
  for (uint64_t i = 0; i < length; ++i) {
    if (filled_ == blockPoints_) Flush();
    float place = length == 1 ? 0.0f : static_cast<float>(static_cast<double>(i) / last);
    Rgb8 colour = LinearRampColour(place);
    const unsigned char rgba[4] = {colour.r, colour.g, colour.b, 255};
    size_t at = CHAIN_STREAM_BYTES * filled_++;
    std::memcpy(colours + at, rgba, sizeof rgba);
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

void ChainAttributes::Finish() {
  if (undecided_) Decide();
  undecided_ = false;
  CloseChain();
  if (tooManyChains()) filled_ = 0;
  Flush();
}

}  // namespace dustweave
