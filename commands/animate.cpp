// convert --animate. Divisions: the size; the values of a frame (velocities, trails); the layer,
// its arrays in the order its writer takes them (the text attribute after attribute, the crate
// frame after frame); the run, its commit and summary.
#include "commands/animate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "commands/bad_samples.h"
#include "commands/called_name.h"
#include "commands/exit_status.h"
#include "commands/interrupt_line.h"
#include "commands/mesh_outputs.h"
#include "pfxtools/pfx_inspect.h"
#include "pfxtools/pfx_thinning.h"
#include "pfxtools/pfx_track_index.h"
#include "usd/time_samples_usda.h"
#include "usd/time_samples_usdc.h"
#include "writers/number_text.h"
#include "writers/ramp.h"

namespace dustweave {

// ---- the size -----------------------------------------------------------------------------------

uint64_t AnimatedValueBytes(const PfxFrameIndex& index, uint64_t trailFrames, const std::optional<double>& step) {
  long double bytes = static_cast<long double>(index.ParticlePoints()) * (12 + 12 + 8 + 4) +
                      static_cast<long double>(index.TrailPoints(trailFrames, step)) * (12 + 12 + 12) +
                      static_cast<long double>(index.frames()) * 7 * 16;
  return bytes >= 18446744073709551615.0L ? UINT64_MAX : static_cast<uint64_t>(bytes);
}

namespace {

// The longest trails that keep the layer within the limit; 0 when even trails of one sample do not.
uint64_t TrailFramesThatFit(const PfxFrameIndex& index, const std::optional<double>& step) {
  uint64_t low = 0, high = std::max<uint64_t>(index.frames(), 1);
  while (low < high) {
    uint64_t middle = low + (high - low + 1) / 2;
    if (AnimatedValueBytes(index, middle, step) <= ANIMATED_VALUE_LIMIT) low = middle;
    else high = middle - 1;
  }
  return low;
}

Verdict CheckSize(const PfxFrameIndex& index, uint64_t trailFrames, const std::optional<double>& step, const std::string& output) {
  if (AnimatedValueBytes(index, trailFrames, step) <= ANIMATED_VALUE_LIMIT) return {};
  std::string what = "its " + Counted(index.ParticlePoints(), "particle point", "particle points") + " and " +
                     Counted(index.TrailPoints(trailFrames, step), "trail point", "trail points") +
                     " over " + Counted(index.frames(), "frame", "frames") +
                     " would pass the 4 GiB of values a layer is held to";
  uint64_t fits = TrailFramesThatFit(index, step);
  if (fits == 0) return Refusal{EXIT_NOT_DONE, CannotWrite(output, what + ", whatever --trail-frames")};
  return Refusal{EXIT_NOT_DONE, CannotWrite(output, what + "; --trail-frames " + GroupedDigits(fits) + " fits (" +
                                                        Counted(index.TrailPoints(fits, step), "trail point", "trail points") + ")")};
}

// ---- the values of a frame ----------------------------------------------------------------------

using Point = std::array<float, 3>;
static_assert(sizeof(Point) == 3 * sizeof(float), "a run of points is a run of x, y, z floats");

// (to - from) / samples apart, in units a second, worked out in doubles. Neighbours are 1 or 2
// samples apart, whose inverses are exact: multiplying by them is dividing.
Point Velocity(const Point& from, const Point& to, uint64_t samplesApart, double fps) {
  double inverse = samplesApart == 2 ? 0.5 : 1.0;
  Point v{};
  for (int axis = 0; axis < 3; ++axis) {
    v[axis] = static_cast<float>((static_cast<double>(to[axis]) - static_cast<double>(from[axis])) * inverse * fps);
  }
  return v;
}

// The chain ramp's colour at place / length, as 0..1 floats; the colours of the last length
// asked (up to MAX_LENGTH) are kept, as most trails share their length.
class RampOfTrails {
 public:
  const std::array<float, 3>& At(uint64_t place, uint64_t length) {
    if (length > MAX_LENGTH) return one_ = Colour(place, length);
    if (length != length_) {
      length_ = length;
      colours_.clear();
      for (uint64_t k = 0; k <= length; ++k) colours_.push_back(Colour(k, length));
    }
    return colours_[static_cast<size_t>(place)];
  }

 private:
  static constexpr uint64_t MAX_LENGTH = 4096;
  static std::array<float, 3> Colour(uint64_t place, uint64_t length) {
    Rgb8 colour = LinearRampColour(static_cast<double>(place) / static_cast<double>(length));
    return {static_cast<float>(colour.r / 255.0), static_cast<float>(colour.g / 255.0), static_cast<float>(colour.b / 255.0)};
  }
  uint64_t length_ = 0;
  std::vector<std::array<float, 3>> colours_;
  std::array<float, 3> one_{};
};

// The time-sampled attributes of the layer, in the order they are declared.
enum Kind : size_t {
  PARTICLE_POINTS, PARTICLE_IDS, PARTICLE_VELOCITIES,
  TRAIL_COUNTS, TRAIL_POINTS, TRAIL_VELOCITIES, TRAIL_COLOURS, KINDS
};
struct Sampled {
  const char* type;
  const char* name;
  const char* interpolation;
};
constexpr Sampled SAMPLED[KINDS] = {{"point3f[]", "points", nullptr},
                                    {"int64[]", "ids", nullptr},
                                    {"vector3f[]", "velocities", nullptr},
                                    {"int[]", "curveVertexCounts", nullptr},
                                    {"point3f[]", "points", nullptr},
                                    {"vector3f[]", "velocities", nullptr},
                                    {"color3f[]", "primvars:displayColor", "vertex"}};
constexpr unsigned Bit(Kind kind) { return 1u << kind; }
constexpr unsigned PARTICLE_KINDS = Bit(PARTICLE_POINTS) | Bit(PARTICLE_IDS) | Bit(PARTICLE_VELOCITIES);
constexpr unsigned TRAIL_KINDS = Bit(TRAIL_COUNTS) | Bit(TRAIL_POINTS) | Bit(TRAIL_VELOCITIES) | Bit(TRAIL_COLOURS);

class AnimatedLayer {
 public:
  AnimatedLayer(const PfxFrameIndex& index, const CommandPlan& plan, const std::optional<double>& step, TimeSampledLayer& layer)
      : index_(index), plan_(plan), step_(step), layer_(layer) {}

  bool Write(const std::string& input, std::string* error);

 private:
  void Samples(Kind kind);
  void PutFrames();
  std::vector<uint64_t> CountsOf(int64_t frame, const std::vector<const TrackPiece*>& living) const;
  void WriteParticles();
  void WriteTrails();
  Point At(const TrackPiece& piece, uint64_t sample) {
    Point xyz;
    if (held_ && sample >= heldFirst_ && sample <= heldLast_) std::memcpy(xyz.data(), held_ + 3 * (sample - heldFirst_), sizeof xyz);
    else xyz = Read(piece, sample);
    if (!(std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]))) NoteNonFinite(piece, sample);
    return xyz;
  }
  Point Read(const TrackPiece& piece, uint64_t sample);
  void NoteNonFinite(const TrackPiece& piece, uint64_t sample);
  Point ParticleVelocity(const TrackPiece& piece, uint64_t sample);
  Trail TrailOf(const TrackPiece& piece, int64_t frame) const;
  void PutPiece(const TrackPiece& piece, int64_t frame);
  void PutParticle(const TrackPiece& piece, int64_t frame);
  void PutTrail(const TrackPiece& piece, int64_t frame, const Trail& trail);
  void PutTrailVelocities(const TrackPiece& piece, const Trail& trail, const Trail* next, uint64_t first, size_t values);
  bool Wants(unsigned kinds) const { return (wanted_ & kinds) != 0; }
  void PutVector(Kind kind, const Point& v) { layer_.PutVector(number_[kind], v.data()); }

  const PfxFrameIndex& index_;
  const CommandPlan& plan_;
  std::optional<double> step_;  // the trails' thinning; none: every sample
  TimeSampledLayer& layer_;
  std::vector<Kind> declared_;     // the kinds in the order the layer was told them
  size_t number_[KINDS] = {};      // each declared kind's number in the layer
  unsigned wanted_ = 0;            // the kinds whose arrays are being put
  FrameReader reader_;
  const float* held_ = nullptr;  // the open piece's samples heldFirst_ to heldLast_, when held
  uint64_t heldFirst_ = 0, heldLast_ = 0;
  RampOfTrails ramp_;
  static constexpr size_t CHUNK = 256;  // a trail's values are put this many at a time
  Point places_[CHUNK];   // a chunk of a trail's vertices
  float chunk_[3 * CHUNK];  // a chunk of a trail's other values
  std::optional<SampleOrigin> nonFinite_;  // the first NaN or infinite sample met
};

// A sample not held for the open piece.
Point AnimatedLayer::Read(const TrackPiece& piece, uint64_t sample) {
  Point xyz{};
  reader_.Sample(piece, sample, xyz.data());
  return xyz;
}

// A NaN or infinite sample: the layer is refused, naming the first such one.
void AnimatedLayer::NoteNonFinite(const TrackPiece& piece, uint64_t sample) {
  if (nonFinite_) return;
  auto frame = static_cast<int32_t>(piece.runFrame + static_cast<int64_t>(sample - piece.runFirst));
  nonFinite_ = SampleOrigin{piece.track, sample, frame};
}

// The central difference of the neighbours in the run; one-sided at its ends; 0 for a run of one.
Point AnimatedLayer::ParticleVelocity(const TrackPiece& piece, uint64_t sample) {
  uint64_t before = sample > piece.runFirst ? sample - 1 : sample, after = sample < piece.runLast ? sample + 1 : sample;
  if (before == after) return {0, 0, 0};
  return Velocity(At(piece, before), At(piece, after), after - before, plan_.fps);
}

Trail AnimatedLayer::TrailOf(const TrackPiece& piece, int64_t frame) const {
  return TrailAt(piece, piece.SampleAt(frame), plan_.trailFrames, step_);
}

void AnimatedLayer::PutParticle(const TrackPiece& piece, int64_t frame) {
  uint64_t sample = piece.SampleAt(frame);
  if (Wants(Bit(PARTICLE_POINTS))) PutVector(PARTICLE_POINTS, At(piece, sample));
  if (Wants(Bit(PARTICLE_IDS))) layer_.PutInteger(number_[PARTICLE_IDS], static_cast<int64_t>(piece.track));
  if (Wants(Bit(PARTICLE_VELOCITIES))) PutVector(PARTICLE_VELOCITIES, ParticleVelocity(piece, sample));
}

// Each trail vertex moves to where the same vertex of the next frame's trail lies, the head to
// the next head: a trail of its full length slides on, a growing one keeps its vertices and moves
// its head; a vertex the next trail no longer has before its head goes to that head. Nothing
// moves where the next frame does not show this run (no `next`). `places` holds the vertices
// from `first` on, read once: the sample a vertex moves to is mostly the next one's.
void AnimatedLayer::PutTrailVelocities(const TrackPiece& piece, const Trail& trail, const Trail* next, uint64_t first, size_t values) {
  for (size_t k = 0; k < values; ++k) {
    uint64_t vertex = first + k, from = trail.Vertex(vertex);
    Point v{0, 0, 0};
    if (next) {
      uint64_t to = vertex + 1 < trail.vertices() && vertex + 1 < next->vertices() ? next->Vertex(vertex) : next->head;
      bool placed = k + 1 < values && to == trail.Vertex(vertex + 1);
      if (to != from) v = Velocity(places_[k], placed ? places_[k + 1] : At(piece, to), 1, plan_.fps);
    }
    std::memcpy(chunk_ + 3 * k, v.data(), sizeof v);
  }
  layer_.PutVectors(number_[TRAIL_VELOCITIES], chunk_, values);
}

// A trail of one sample draws nothing: it is left out of the curves.
void AnimatedLayer::PutTrail(const TrackPiece& piece, int64_t frame, const Trail& trail) {
  uint64_t count = trail.vertices();
  if (count < 2) return;
  if (Wants(Bit(TRAIL_COUNTS))) layer_.PutInteger(number_[TRAIL_COUNTS], static_cast<int64_t>(count));
  bool goesOn = Wants(Bit(TRAIL_VELOCITIES)) && frame < piece.shownTo;
  Trail next = goesOn ? TrailOf(piece, frame + 1) : trail;
  for (uint64_t first = 0; first < count; first += CHUNK) {
    size_t values = static_cast<size_t>(std::min<uint64_t>(CHUNK, count - first));
    if (Wants(Bit(TRAIL_POINTS) | Bit(TRAIL_VELOCITIES))) {
      for (size_t k = 0; k < values; ++k) places_[k] = At(piece, trail.Vertex(first + k));
    }
    if (Wants(Bit(TRAIL_POINTS))) layer_.PutVectors(number_[TRAIL_POINTS], places_[0].data(), values);
    if (Wants(Bit(TRAIL_VELOCITIES))) PutTrailVelocities(piece, trail, goesOn ? &next : nullptr, first, values);
    if (Wants(Bit(TRAIL_COLOURS))) {
      for (size_t k = 0; k < values; ++k) {
        uint64_t from = trail.Vertex(first + k);
        std::memcpy(chunk_ + 3 * k, ramp_.At(from - trail.start, trail.head - trail.start).data(), sizeof(Point));
      }
      layer_.PutVectors(number_[TRAIL_COLOURS], chunk_, values);
    }
  }
}

// The samples the piece's values read at the frame are held together first (its trail's, its
// own and its neighbours'), so that each is read from the block without a search.
void AnimatedLayer::PutPiece(const TrackPiece& piece, int64_t frame) {
  uint64_t sample = piece.SampleAt(frame);
  Trail trail = Wants(TRAIL_KINDS) ? TrailOf(piece, frame) : Trail{};
  heldFirst_ = std::min(sample > piece.runFirst ? sample - 1 : sample, Wants(TRAIL_KINDS) ? trail.start : sample);
  heldLast_ = std::min(sample + 1, piece.runLast);
  constexpr unsigned PLACED = Bit(PARTICLE_POINTS) | Bit(PARTICLE_VELOCITIES) | Bit(TRAIL_POINTS) | Bit(TRAIL_VELOCITIES);
  held_ = Wants(PLACED) ? reader_.Samples(piece, heldFirst_, heldLast_) : nullptr;
  if (Wants(PARTICLE_KINDS)) PutParticle(piece, frame);
  if (Wants(TRAIL_KINDS)) PutTrail(piece, frame, trail);
  held_ = nullptr;
}

// ---- the layer ----------------------------------------------------------------------------------

// The attribute is told; a writer that takes it whole gets every frame's array with it.
void AnimatedLayer::Samples(Kind kind) {
  layer_.BeginSamples(SAMPLED[kind].type, SAMPLED[kind].name, SAMPLED[kind].interpolation);
  number_[kind] = declared_.size();
  declared_.push_back(kind);
  if (layer_.order() == TimeSampledLayer::Order::AttributeAfterAttribute) {
    wanted_ = Bit(kind);
    LivingWalk living(index_);
    for (int64_t frame = index_.firstFrame(); frame <= index_.lastFrame(); ++frame) {
      layer_.BeginFrame(frame, {});
      for (const TrackPiece* piece : living.At(frame)) PutPiece(*piece, frame);
      layer_.EndFrame();
    }
  }
  layer_.EndSamples();
}

// The elements of each declared attribute's array at a frame.
std::vector<uint64_t> AnimatedLayer::CountsOf(int64_t frame, const std::vector<const TrackPiece*>& living) const {
  uint64_t curves = 0, vertices = 0;
  for (const TrackPiece* piece : living) {
    uint64_t count = Wants(TRAIL_KINDS) ? TrailOf(*piece, frame).vertices() : 0;
    if (count >= 2) ++curves, vertices += count;
  }
  std::vector<uint64_t> counts;
  for (Kind kind : declared_) counts.push_back(Bit(kind) & PARTICLE_KINDS ? living.size() : kind == TRAIL_COUNTS ? curves : vertices);
  return counts;
}

// Every attribute's array of each frame, for a writer that takes them frame after frame: a
// piece's samples are read once a frame, for all its values.
void AnimatedLayer::PutFrames() {
  if (layer_.order() != TimeSampledLayer::Order::FrameAfterFrame) return;
  wanted_ = 0;
  for (Kind kind : declared_) wanted_ |= Bit(kind);
  LivingWalk living(index_);
  for (int64_t frame = index_.firstFrame(); frame <= index_.lastFrame(); ++frame) {
    const std::vector<const TrackPiece*>& pieces = living.At(frame);
    layer_.BeginFrame(frame, CountsOf(frame, pieces));
    for (const TrackPiece* piece : pieces) PutPiece(*piece, frame);
    layer_.EndFrame();
  }
}

void AnimatedLayer::WriteParticles() {
  layer_.BeginPrim("Points", "particles");
  Samples(PARTICLE_POINTS);
  Samples(PARTICLE_IDS);
  Samples(PARTICLE_VELOCITIES);
  layer_.ConstantFloat("widths", static_cast<float>(plan_.width), "constant");
  layer_.EndPrim();
}

void AnimatedLayer::WriteTrails() {
  layer_.BeginPrim("BasisCurves", "trails");
  layer_.UniformToken("type", "linear");
  layer_.UniformToken("wrap", "nonperiodic");
  Samples(TRAIL_COUNTS);
  Samples(TRAIL_POINTS);
  Samples(TRAIL_VELOCITIES);
  layer_.ConstantFloat("widths", static_cast<float>(plan_.width), "constant");
  Samples(TRAIL_COLOURS);
  layer_.EndPrim();
}

bool AnimatedLayer::Write(const std::string& input, std::string* error) {
  if (!reader_.Open(input, index_.tracks(), error)) return false;
  AnimatedStage stage{plan_.metersPerUnit, plan_.fps, index_.firstFrame(), index_.lastFrame()};
  layer_.BeginLayer(stage);
  if (!index_.empty()) WriteParticles();
  if (index_.TrailPoints(plan_.trailFrames, step_) > 0) WriteTrails();
  PutFrames();
  if (reader_.failure() != 0) {
    *error = "cannot read " + input + ": " + SystemReason(reader_.failure());
  } else if (nonFinite_) {
    *error = CannotWrite(plan_.outputs.front().path, SampleName(*nonFinite_) +
                                                           " has a NaN or infinite position, which no USD reader takes; "
                                                           "--bad-samples drop leaves such samples out");
  } else {
    return layer_.Complete(error);
  }
  layer_.Abandon();
  return false;
}

// ---- the run ------------------------------------------------------------------------------------

// A header the plug-in would ask about is read only with --yes.
Verdict CheckHeader(const ConvertArgs& a, const CommandPlan& plan, const PfxFrameIndex& index) {
  if (a.yes || (plan.notPfx.empty() && index.header().version == PFX_VERSION)) return {};
  std::string why = plan.notPfx.empty() ? "its version is " + std::to_string(index.header().version) + ", not 3" : plan.notPfx;
  return Refusal{EXIT_DECLINED, a.input + ": " + why + "; nothing written (--yes reads it anyway)"};
}

// The trails' step share: --step's, or the largest whose points of every frame (particles and
// trails) are at most --max-points; misuse when even the smallest keeps more.
Verdict ChooseStep(const ConvertArgs& a, const CommandPlan& plan, const PfxFrameIndex& index, std::optional<double>* step,
                   std::string* chosen) {
  *step = plan.script.step;
  if (!a.maxPoints) return {};
  auto points = [&](const std::optional<double>& share) { return index.ParticlePoints() + index.TrailPoints(plan.trailFrames, share); };
  std::optional<StepChoice> choice = LargestStepWithin(points, *a.maxPoints);
  if (!choice) {
    return Refusal{EXIT_MISUSE, "--max-points " + GroupedDigits(*a.maxPoints) + " is fewer than the smallest step share keeps (" +
                                    Counted(points(1e-6), "point", "points") + "): every particle at every frame is kept"};
  }
  if (choice->step < 1) *step = choice->step, *chosen = choice->percent;
  return {};
}

// A file of no sample makes no layer: no file is replaced by an empty one.
int NothingAnimated(const ConvertArgs& a, const SamplesLeftOut& leftOut) {
  PfxInspection look;
  std::string error, why = LeftOutSummary(leftOut.samples, leftOut.particles, leftOut.first);
  if (why.empty()) why = InspectPfx(a.input, &look, &error) ? WhyNoPoint(look) : error;
  Say(a.input + ": no particle to write (" + (why.empty() ? "the file holds no sample" : why) + "); nothing written");
  return EXIT_NOTHING_MADE;
}

std::string SummaryOf(const ConvertArgs& a, const CommandPlan& plan, const PfxFrameIndex& index, const std::optional<double>& step,
                      const std::string& chosen) {
  std::string line = "wrote " + a.output + ": " + Counted(index.frames(), "frame", "frames");
  if (!index.empty()) line += " (" + std::to_string(index.firstFrame()) + " to " + std::to_string(index.lastFrame()) + ")";
  line += " at " + ShortestText(plan.fps) + " fps, " + Counted(index.ParticlePoints(), "particle point", "particle points") +
          ", " + Counted(index.TrailPoints(plan.trailFrames, step), "trail point", "trail points");
  if (plan.widthChosen) line += "; width " + ShortestText(static_cast<float>(plan.width)) + ", from the particles' spacing";
  if (!chosen.empty()) line += "; step " + chosen + " % chosen for at most " + GroupedDigits(*a.maxPoints) + " points";
  if (index.endsEarly()) line += " (the input ended early)";
  return line;
}

}  // namespace

int ConvertAnimated(const ConvertArgs& a, const CommandPlan& plan) {
  PfxFrameIndex index;
  std::string error;
  SamplesLeftOut leftOut;
  if (!index.Build(a.input, &error, plan.dropBadSamples ? &leftOut : nullptr)) return NotDone(error);
  if (Verdict refusal = CheckHeader(a, plan, index)) return Refuse(*refusal, "");
  if (index.empty()) return NothingAnimated(a, leftOut);
  std::optional<double> step;
  std::string chosen;
  if (Verdict refusal = ChooseStep(a, plan, index, &step, &chosen)) return Refuse(*refusal, "convert");
  if (Verdict refusal = CheckSize(index, plan.trailFrames, step, a.output)) return Refuse(*refusal, "convert");
  PrepareInterruptLine(PathsOf(plan.outputs));
  for (const std::string& line : SweepBeside(a.output, {a.input})) {
    if (!a.quiet) Say(line);
  }
  std::unique_ptr<TimeSampledLayer> usd;
  if (plan.outputs.front().format == OutputFormat::Usdc) usd = std::make_unique<TimeSamplesUsdc>();
  else usd = std::make_unique<TimeSamplesUsda>();
  if (!usd->Open(a.output, &error)) return NotDone(error);
  AnimatedLayer layer(index, plan, step, *usd);
  if (!layer.Write(a.input, &error)) return NotDone(error);
  std::vector<OutputFile*> files = {&usd->file()};
  if (!CommitTogether(files, &error)) return NotDone(error);
  if (index.endsEarly()) Say(a.input + ": unexpected end of pfx file; the layer holds the whole samples before it");
  if (leftOut.samples > 0) Say(LeftOutSummary(leftOut.samples, leftOut.particles, leftOut.first));
  if (!a.quiet) std::cout << SummaryOf(a, plan, index, step, chosen) << "\n";
  return index.endsEarly() ? EXIT_CUT_SHORT : 0;
}

}  // namespace dustweave
