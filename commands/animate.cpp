// convert --animate. Divisions: the size; the values of a frame (velocities, trails); the layer,
// written attribute after attribute, each a walk over the frames; the run, its commit and summary.
#include "commands/animate.h"

#include <algorithm>
#include <array>
#include <cmath>
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

using Vector = std::array<double, 3>;

std::array<float, 3> Narrowed(const Vector& v) {
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

// (to - from) / samples apart, in units a second.
Vector Velocity(const Vector& from, const Vector& to, double samplesApart, double fps) {
  Vector v{};
  for (int axis = 0; axis < 3; ++axis) v[axis] = (to[axis] - from[axis]) / samplesApart * fps;
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

class AnimatedLayer {
 public:
  AnimatedLayer(const PfxFrameIndex& index, const CommandPlan& plan, const std::optional<double>& step, TimeSampledLayer& layer)
      : index_(index), plan_(plan), step_(step), layer_(layer) {}

  bool Write(const std::string& input, std::string* error);

 private:
  template <typename Put>
  void Samples(const char* type, const char* name, const char* interpolation, Put put);
  void WriteParticles();
  void WriteTrails();
  Vector At(const TrackPiece& piece, uint64_t sample);
  Vector ParticleVelocity(const TrackPiece& piece, uint64_t sample);
  Trail TrailOf(const TrackPiece& piece, int64_t frame) const;
  void PutTrailVelocities(const TrackPiece& piece, int64_t frame, const Trail& trail);

  const PfxFrameIndex& index_;
  const CommandPlan& plan_;
  std::optional<double> step_;  // the trails' thinning; none: every sample
  TimeSampledLayer& layer_;
  FrameReader reader_;
  RampOfTrails ramp_;
  std::optional<SampleOrigin> nonFinite_;  // the first NaN or infinite sample met
};

// A sample as doubles; a NaN or infinite one is noted (the layer is then refused).
Vector AnimatedLayer::At(const TrackPiece& piece, uint64_t sample) {
  float xyz[3] = {0, 0, 0};
  reader_.Sample(piece, sample, xyz);
  if (!nonFinite_ && !(std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]))) {
    auto frame = static_cast<int32_t>(piece.runFrame + static_cast<int64_t>(sample - piece.runFirst));
    nonFinite_ = SampleOrigin{piece.track, sample, frame};
  }
  return {xyz[0], xyz[1], xyz[2]};
}

// The central difference of the neighbours in the run; one-sided at its ends; 0 for a run of one.
Vector AnimatedLayer::ParticleVelocity(const TrackPiece& piece, uint64_t sample) {
  uint64_t before = sample > piece.runFirst ? sample - 1 : sample, after = sample < piece.runLast ? sample + 1 : sample;
  if (before == after) return {0, 0, 0};
  return Velocity(At(piece, before), At(piece, after), static_cast<double>(after - before), plan_.fps);
}

Trail AnimatedLayer::TrailOf(const TrackPiece& piece, int64_t frame) const {
  return TrailAt(piece, piece.SampleAt(frame), plan_.trailFrames, step_);
}

// Each vertex moves to where the same vertex of the next frame's trail lies, the head to the next
// head: a trail of its full length slides on, a growing one keeps its vertices and moves its head;
// a vertex the next trail no longer has before its head goes to that head. Nothing moves where the
// next frame does not show this run.
void AnimatedLayer::PutTrailVelocities(const TrackPiece& piece, int64_t frame, const Trail& trail) {
  bool goesOn = frame < piece.shownTo;
  Trail next = goesOn ? TrailOf(piece, frame + 1) : trail;
  for (uint64_t i = 0, count = trail.vertices(); i < count; ++i) {
    uint64_t from = trail.Vertex(i), to = i + 1 < count && i + 1 < next.vertices() ? next.Vertex(i) : next.head;
    Vector v = goesOn && to != from ? Velocity(At(piece, from), At(piece, to), 1, plan_.fps) : Vector{0, 0, 0};
    layer_.PutVector(Narrowed(v).data());
  }
}

template <typename Put>
void AnimatedLayer::Samples(const char* type, const char* name, const char* interpolation, Put put) {
  layer_.BeginSamples(type, name, interpolation);
  LivingWalk living(index_);
  for (int64_t frame = index_.firstFrame(); frame <= index_.lastFrame(); ++frame) {
    layer_.BeginFrame(frame);
    for (const TrackPiece* piece : living.At(frame)) put(*piece, frame);
    layer_.EndFrame();
  }
  layer_.EndSamples();
}

// ---- the layer ----------------------------------------------------------------------------------

void AnimatedLayer::WriteParticles() {
  layer_.BeginPrim("Points", "particles");
  Samples("point3f[]", "points", nullptr, [&](const TrackPiece& piece, int64_t frame) {
    layer_.PutVector(Narrowed(At(piece, piece.SampleAt(frame))).data());
  });
  Samples("int64[]", "ids", nullptr, [&](const TrackPiece& piece, int64_t) { layer_.PutInteger(static_cast<int64_t>(piece.track)); });
  Samples("vector3f[]", "velocities", nullptr, [&](const TrackPiece& piece, int64_t frame) {
    layer_.PutVector(Narrowed(ParticleVelocity(piece, piece.SampleAt(frame))).data());
  });
  layer_.ConstantFloat("widths", static_cast<float>(plan_.width), "constant");
  layer_.EndPrim();
}

void AnimatedLayer::WriteTrails() {
  // A trail of one sample draws nothing: it is left out of the curves.
  auto eachDrawn = [this](auto put) {
    return [this, put](const TrackPiece& piece, int64_t frame) {
      Trail trail = TrailOf(piece, frame);
      if (trail.vertices() >= 2) put(piece, frame, trail);
    };
  };
  layer_.BeginPrim("BasisCurves", "trails");
  layer_.UniformToken("type", "linear");
  layer_.UniformToken("wrap", "nonperiodic");
  Samples("int[]", "curveVertexCounts", nullptr, eachDrawn([&](const TrackPiece&, int64_t, const Trail& trail) {
    layer_.PutInteger(static_cast<int64_t>(trail.vertices()));
  }));
  Samples("point3f[]", "points", nullptr, eachDrawn([&](const TrackPiece& piece, int64_t, const Trail& trail) {
    for (uint64_t i = 0; i < trail.vertices(); ++i) layer_.PutVector(Narrowed(At(piece, trail.Vertex(i))).data());
  }));
  Samples("vector3f[]", "velocities", nullptr, eachDrawn([&](const TrackPiece& piece, int64_t frame, const Trail& trail) {
    PutTrailVelocities(piece, frame, trail);
  }));
  layer_.ConstantFloat("widths", static_cast<float>(plan_.width), "constant");
  Samples("color3f[]", "primvars:displayColor", "vertex", eachDrawn([&](const TrackPiece&, int64_t, const Trail& trail) {
    for (uint64_t i = 0; i < trail.vertices(); ++i) layer_.PutVector(ramp_.At(trail.Vertex(i) - trail.start, trail.head - trail.start).data());
  }));
  layer_.EndPrim();
}

bool AnimatedLayer::Write(const std::string& input, std::string* error) {
  if (!reader_.Open(input, index_.tracks(), error)) return false;
  AnimatedStage stage{plan_.metersPerUnit, plan_.fps, index_.firstFrame(), index_.lastFrame()};
  layer_.BeginLayer(stage);
  if (!index_.empty()) WriteParticles();
  if (index_.TrailPoints(plan_.trailFrames, step_) > 0) WriteTrails();
  if (reader_.failure() != 0) {
    *error = "cannot read " + input + ": " + SystemReason(reader_.failure());
  } else if (nonFinite_) {
    *error = CannotWrite(plan_.outputs.front().path, SampleName(*nonFinite_) +
                                                           " has a NaN or infinite position, which no USD reader takes; "
                                                           "without --animate, --bad-samples drop leaves such samples out");
  } else {
    return layer_.Complete(error);
  }
  layer_.file().Abandon();
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
int NothingAnimated(const ConvertArgs& a) {
  PfxInspection look;
  std::string error, why;
  why = InspectPfx(a.input, &look, &error) ? WhyNoPoint(look) : error;
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
  if (!index.Build(a.input, &error)) return NotDone(error);
  if (Verdict refusal = CheckHeader(a, plan, index)) return Refuse(*refusal, "");
  if (index.empty()) return NothingAnimated(a);
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
  if (!a.quiet) std::cout << SummaryOf(a, plan, index, step, chosen) << "\n";
  return index.endsEarly() ? EXIT_CUT_SHORT : 0;
}

}  // namespace dustweave
