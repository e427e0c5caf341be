// Taking the preview's sample as the mesh streams by. Divisions: chains and their marks; pieces
// and the budget.
#include "previews/preview_sample.h"

#include <algorithm>
#include <cmath>

namespace dustweave {

namespace {

bool Finite(const double p[3]) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// splitmix64's finalizer over the number moved by its increment: neighbouring numbers give
// unrelated bits, so no stride lines up with the pieces of a chain.
uint64_t Mixed(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

constexpr uint64_t LAST_STRIDE = uint64_t{1} << 63;

}  // namespace

void PreviewSample::Box3::Add(const double p[3]) {
  for (int i = 0; i < 3; ++i) {
    low[i] = std::min(low[i], p[i]);
    high[i] = std::max(high[i], p[i]);
  }
}

PreviewSample::PreviewSample(size_t budget)
    : budget_(std::max<size_t>(budget, MIN_BUDGET)), pieceLimit_(std::min<uint64_t>(PIECE_SEGMENTS, budget_ / 8)) {}

PreviewSample::Counts PreviewSample::counts() const {
  return {rule_.points(), polygons_, segmentsSeen_, segments_.size(), dotsSeen_, dots_.size()};
}

// ---- chains and their marks -------------------------------------------------------------------

void PreviewSample::AddPoint(uint64_t number, const double position[3]) {
  rule_.AddPoint(number);
  previousAt_ = newestAt_;
  std::copy(position, position + 3, newestAt_.begin());
}

void PreviewSample::AddPolygon(const char*, int count, const int64_t* points) {
  ++polygons_;
  if (rule_.Joins(count, points)) {
    AddJoin(points);
  } else if (count == 1 && IsChainStart(points[0])) {
    AddStartDot();
  }
}

// The position of the newest point or of the one before it: those a join names.
const double* PreviewSample::PositionOf(int64_t number) const {
  return static_cast<uint64_t>(number) == rule_.newest() ? newestAt_.data() : previousAt_.data();
}

// The newest point, not joined to the one before it, and no chain has begun on it yet.
bool PreviewSample::IsChainStart(int64_t point) const {
  bool begun = chains_ > 0 && chainFirstPoint_ == rule_.newest();
  return rule_.points() > 0 && static_cast<uint64_t>(point) == rule_.newest() && !rule_.newestJoined() && !begun;
}

// A segment of a chain: the first of a chain whose first point has no dot begins it.
void PreviewSample::AddJoin(const int64_t* points) {
  bool begun = chains_ > 0 && chainFirstPoint_ == rule_.previous();
  if (!rule_.previousJoined() && !begun) StartChain(rule_.previous());
  if (pieceSegments_ == pieceLimit_) StartPiece();
  const double* from = PositionOf(points[0]);
  const double* to = PositionOf(points[1]);
  bool drawable = Finite(from) && Finite(to);
  if (drawable) {
    box_.Add(from);
    box_.Add(to);
  }
  AddSegment(from, to, drawable);
}

void PreviewSample::AddStartDot() {
  StartChain(rule_.newest());
  if (!Finite(newestAt_.data())) return;
  box_.Add(newestAt_.data());
  ++dotsSeen_;
  Piece* piece = KeptPieceForMark();
  if (piece == nullptr) return;
  piece->hasDot = true;
  dots_.push_back(newestAt_);
  KeepWithinBudget();
}

void PreviewSample::StartChain(uint64_t firstPoint) {
  EndChain();
  ++chains_;
  chainFirstPoint_ = firstPoint;
  chainSegments_ = 0;
  StartPiece();
}

// Gives the kept pieces of the chain being built its length, which places their segments.
void PreviewSample::EndChain() {
  for (size_t i = kept_.size(); i > 0 && kept_[i - 1].chain + 1 == chains_; --i) {
    kept_[i - 1].chainSegments = chainSegments_;
  }
}

void PreviewSample::AddSegment(const double* from, const double* to, bool drawable) {
  uint64_t index = chainSegments_++;
  ++pieceSegments_;
  if (!drawable) return;
  ++segmentsSeen_;
  if (KeptPieceForMark() == nullptr) return;
  if (segments_.empty()) segments_.reserve(budget_ + 1);
  segments_.push_back({{from[0], from[1], from[2]}, {to[0], to[1], to[2]}, index});
  KeepWithinBudget();
}

// ---- pieces and the budget --------------------------------------------------------------------

bool PreviewSample::KeptAtStride(uint64_t number, uint64_t stride) { return (Mixed(number) & (stride - 1)) == 0; }

void PreviewSample::StartPiece() {
  ++pieces_;
  pieceSegments_ = 0;
}

// The piece being built, once kept; null when the sample passes it by.
PreviewSample::Piece* PreviewSample::KeptPieceForMark() {
  if (!pieceKept()) return nullptr;
  if (kept_.empty() || kept_.back().number + 1 != pieces_) {
    if (kept_.empty()) kept_.reserve(budget_ + 1);
    kept_.push_back({pieces_ - 1, chains_ - 1, segments_.size(), false, 0});
  }
  return &kept_.back();
}

void PreviewSample::KeepWithinBudget() {
  // Each doubling keeps about half the pieces, and no piece outgrows the budget, so this ends
  // long before the stride runs out of bits.
  while (segments_.size() + dots_.size() > budget_ && stride_ < LAST_STRIDE) DoubleStride();
}

// Keeps the kept pieces that the doubled stride keeps (about half), the same set whenever the
// doubling happens.
void PreviewSample::DoubleStride() {
  stride_ *= 2;
  size_t piecesLeft = 0, segmentsLeft = 0, dotsLeft = 0, dot = 0;
  for (size_t i = 0; i < kept_.size(); ++i) {
    Piece piece = kept_[i];
    size_t end = i + 1 < kept_.size() ? kept_[i + 1].firstSegment : segments_.size();
    size_t pieceDot = piece.hasDot ? dot++ : dot;
    if (!KeptAtStride(piece.number, stride_)) continue;
    std::move(segments_.begin() + static_cast<std::ptrdiff_t>(piece.firstSegment),
              segments_.begin() + static_cast<std::ptrdiff_t>(end),
              segments_.begin() + static_cast<std::ptrdiff_t>(segmentsLeft));
    if (piece.hasDot) dots_[dotsLeft++] = dots_[pieceDot];
    piece.firstSegment = segmentsLeft;
    segmentsLeft += end - kept_[i].firstSegment;
    kept_[piecesLeft++] = piece;
  }
  kept_.resize(piecesLeft);
  segments_.resize(segmentsLeft);
  dots_.resize(dotsLeft);
}

}  // namespace dustweave
