// Naming a bad sample by where it lies in the file, and leaving bad samples out of the mesh.
#include "commands/bad_samples.h"

#include <cfloat>
#include <cmath>

#include "writers/number_text.h"

namespace dustweave {

std::string SampleName(const SampleOrigin& origin) {
  return "particle " + GroupedDigits(origin.particle) + ", sample " + GroupedDigits(origin.sample) + " (frame " +
         std::to_string(origin.frame) + ")";
}

std::string NamePoint(const std::string& input, const std::optional<double>& step, uint64_t number) {
  PointOrigins origins;
  std::string error;
  std::optional<SampleOrigin> origin;
  if (!input.empty() && origins.Open(input, step, &error)) origin = origins.Of(number);
  return origin ? SampleName(*origin) : "point " + GroupedDigits(number + 1);
}

// The frames of the points kept: each asked for as its point is handed on, those of the points
// left out before it passed over.
class BadSampleDrop::FramesKept : public PointFrames {
 public:
  explicit FramesKept(PointFrames* source) : feed_(source) {}
  void PassOver() { ++owed_; }
  size_t Take(int32_t* frames, size_t count) override {
    for (; owed_ > 0; --owed_) feed_.Next();
    if (count == 0) return 0;
    frames[0] = feed_.Next();
    return feed_.missing().empty() ? 1 : 0;
  }
  std::string failure() const override { return feed_.missing(); }

 private:
  FrameFeed feed_;
  uint64_t owed_ = 0;
};

BadSampleDrop::BadSampleDrop(PointFrames* frames, bool startPolygons, const std::string& input, const std::optional<double>& step)
    : frames_(frames ? std::make_unique<FramesKept>(frames) : nullptr), startPolygons_(startPolygons), input_(input), step_(step) {}

BadSampleDrop::~BadSampleDrop() = default;

PointFrames* BadSampleDrop::keptFrames() { return frames_.get(); }

// Finite and within the largest float: what a float32 coordinate can be.
bool BadSampleDrop::Holds(const double position[3]) {
  return std::abs(position[0]) <= FLT_MAX && std::abs(position[1]) <= FLT_MAX && std::abs(position[2]) <= FLT_MAX;
}

void BadSampleDrop::AddPoint(uint64_t number, const double position[3]) {
  PayStart();
  ++made_;
  previousDropped_ = newestDropped_;
  newestDropped_ = !Holds(position);
  if (newestDropped_) return NoteDropped(number);
  startOwed_ = startPolygons_ && previousDropped_;
  next_->AddPoint(number - dropped_, position);
}

// The number a point the module made has among those kept: -1 for one left out, and for one
// made before the last left out other than the newest two, which no polygon of the module names.
int64_t BadSampleDrop::KeptNumber(int64_t made) const {
  if (made < 0 || dropped_ == 0) return made;
  auto number = static_cast<uint64_t>(made);
  if (number > lastDropped_) return static_cast<int64_t>(number - dropped_);
  bool previousBeforeDropped = newestDropped_ && !previousDropped_ && made_ >= 2 && number == made_ - 2;
  return previousBeforeDropped ? static_cast<int64_t>(number - (dropped_ - 1)) : -1;
}

void BadSampleDrop::AddPolygon(const char* surface, int count, const int64_t* points) {
  if (surface_ != surface) surface_ = surface;
  if (dropped_ == 0) return next_->AddPolygon(surface, count, points);
  int64_t pair[2];
  std::vector<int64_t> more(count > 2 ? static_cast<size_t>(count) : 0);
  int64_t* kept = count > 2 ? more.data() : pair;
  for (int i = 0; i < count; ++i) {
    kept[i] = KeptNumber(points[i]);
    if (kept[i] < 0 && points[i] >= 0) return;  // it names a point left out
  }
  if (count == 1 && !newestDropped_ && kept[0] == static_cast<int64_t>(made_ - 1 - dropped_)) startOwed_ = false;
  next_->AddPolygon(surface, count, kept);
}

void BadSampleDrop::Finish() { PayStart(); }

void BadSampleDrop::PayStart() {
  if (!startOwed_ || surface_.empty()) return;
  startOwed_ = false;
  int64_t newest = static_cast<int64_t>(made_ - 1 - dropped_);
  next_->AddPolygon(surface_.c_str(), 1, &newest);
}

void BadSampleDrop::NoteDropped(uint64_t number) {
  ++dropped_;
  lastDropped_ = number;
  if (frames_) frames_->PassOver();
  if (!origins_) {
    std::string error;
    origins_.emplace();
    if (input_.empty() || !origins_->Open(input_, step_, &error)) input_.clear();
  }
  std::optional<SampleOrigin> origin = input_.empty() ? std::nullopt : origins_->Of(number);
  if (!origin) return;
  if (lastParticle_ != origin->particle) ++particles_;
  lastParticle_ = origin->particle;
  if (first_.size() < FIRST_NAMED) first_.push_back(*origin);
}

std::string BadSampleDrop::Summary() const { return LeftOutSummary(dropped_, particles_, first_); }

std::string LeftOutSummary(uint64_t samples, uint64_t particles, const std::vector<SampleOrigin>& first) {
  if (samples == 0) return "";
  std::string line = "left out " + Counted(samples, "sample", "samples");
  if (particles > 0) line += " of " + Counted(particles, "particle", "particles");
  line += " whose position is no finite 32-bit number (--bad-samples drop)";
  for (size_t i = 0; i < first.size(); ++i) line += (i == 0 ? ": " : "; ") + SampleName(first[i]);
  return line + (samples > first.size() ? "; ..." : "");
}

}  // namespace dustweave
