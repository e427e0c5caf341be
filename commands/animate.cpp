// convert --animate. Divisions: the size; the values of a frame (velocities, trails); the layer,
// written attribute after attribute, each a walk over the frames; the run, its commit and summary.
#include "commands/animate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <memory>

#include "commands/called_name.h"
#include "commands/exit_status.h"
#include "commands/interrupt_line.h"
#include "commands/mesh_outputs.h"
#include "pfxtools/pfx_track_index.h"
#include "usd/time_samples_usda.h"
#include "usd/time_samples_usdc.h"
#include "writers/number_text.h"
#include "writers/ramp.h"

namespace dustweave {

// ---- the size -----------------------------------------------------------------------------------

uint64_t AnimatedValueBytes(const PfxFrameIndex& index, uint64_t trailFrames) {
  long double bytes = static_cast<long double>(index.ParticlePoints()) * (12 + 12 + 8 + 4) +
                      static_cast<long double>(index.TrailPoints(trailFrames)) * (12 + 12 + 12) +
                      static_cast<long double>(index.frames()) * 7 * 16;
  return bytes >= 18446744073709551615.0L ? UINT64_MAX : static_cast<uint64_t>(bytes);
}

namespace {

// The longest trails that keep the layer within the limit; 0 when even trails of one sample do not.
uint64_t TrailFramesThatFit(const PfxFrameIndex& index) {
  uint64_t low = 0, high = std::max<uint64_t>(index.frames(), 1);
  while (low < high) {
    uint64_t middle = low + (high - low + 1) / 2;
    if (AnimatedValueBytes(index, middle) <= ANIMATED_VALUE_LIMIT) low = middle;
    else high = middle - 1;
  }
  return low;
}

Verdict CheckSize(const PfxFrameIndex& index, uint64_t trailFrames, const std::string& output) {
  if (AnimatedValueBytes(index, trailFrames) <= ANIMATED_VALUE_LIMIT) return {};
  std::string what = "its " + Counted(index.ParticlePoints(), "particle point", "particle points") + " and " +
                     Counted(index.TrailPoints(trailFrames), "trail point", "trail points") +
                     " over " + Counted(index.frames(), "frame", "frames") +
                     " would pass the 4 GiB of values a layer is held to";
  uint64_t fits = TrailFramesThatFit(index);
  if (fits == 0) return Refusal{EXIT_NOT_DONE, CannotWrite(output, what + ", whatever --trail-frames")};
  return Refusal{EXIT_NOT_DONE, CannotWrite(output, what + "; --trail-frames " + GroupedDigits(fits) + " fits (" +
                                                        Counted(index.TrailPoints(fits), "trail point", "trail points") + ")")};
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

class AnimatedLayer {
 public:
  AnimatedLayer(const PfxFrameIndex& index, const CommandPlan& plan, TimeSampledLayer& usda)
      : index_(index), plan_(plan), usda_(usda) {}

  bool Write(const std::string& input, std::string* error);

 private:
  template <typename Put>
  void Samples(const char* type, const char* name, const char* interpolation, Put put);
  void WriteParticles();
  void WriteTrails();
  Vector At(const TrackPiece& piece, uint64_t sample);
  Vector ParticleVelocity(const TrackPiece& piece, uint64_t sample);
  uint64_t TrailStart(const TrackPiece& piece, uint64_t sample) const;
  void PutTrailVelocities(const TrackPiece& piece, int64_t frame);

  const PfxFrameIndex& index_;
  const CommandPlan& plan_;
  TimeSampledLayer& usda_;
  FrameReader reader_;
  bool nonFinite_ = false;
  uint64_t nonFiniteTrack_ = 0;
};

// A sample as doubles; a NaN or infinite one is noted (the layer is then refused).
Vector AnimatedLayer::At(const TrackPiece& piece, uint64_t sample) {
  float xyz[3] = {0, 0, 0};
  reader_.Sample(piece, sample, xyz);
  if (!nonFinite_ && !(std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]))) {
    nonFinite_ = true;
    nonFiniteTrack_ = piece.track;
  }
  return {xyz[0], xyz[1], xyz[2]};
}

// The central difference of the neighbours in the run; one-sided at its ends; 0 for a run of one.
Vector AnimatedLayer::ParticleVelocity(const TrackPiece& piece, uint64_t sample) {
  uint64_t before = sample > piece.runFirst ? sample - 1 : sample, after = sample < piece.runLast ? sample + 1 : sample;
  if (before == after) return {0, 0, 0};
  return Velocity(At(piece, before), At(piece, after), static_cast<double>(after - before), plan_.fps);
}

uint64_t AnimatedLayer::TrailStart(const TrackPiece& piece, uint64_t sample) const {
  uint64_t most = plan_.trailFrames;
  if (most == 0 || sample - piece.runFirst + 1 <= most) return piece.runFirst;
  return sample + 1 - most;
}

// Each vertex moves to where the same vertex of the next frame's trail lies: a trail of its full
// length slides on by a sample; a growing one keeps its vertices and moves its head. Nothing moves
// where the next frame does not show this run.
void AnimatedLayer::PutTrailVelocities(const TrackPiece& piece, int64_t frame) {
  uint64_t sample = piece.SampleAt(frame), start = TrailStart(piece, sample);
  bool goesOn = frame < piece.shownTo;
  bool slides = plan_.trailFrames != 0 && sample - start + 1 == plan_.trailFrames;
  for (uint64_t vertex = start; vertex <= sample; ++vertex) {
    Vector v{0, 0, 0};
    if (goesOn && (slides || vertex == sample)) v = Velocity(At(piece, vertex), At(piece, vertex + 1), 1, plan_.fps);
    usda_.PutVector(Narrowed(v).data());
  }
}

template <typename Put>
void AnimatedLayer::Samples(const char* type, const char* name, const char* interpolation, Put put) {
  usda_.BeginSamples(type, name, interpolation);
  for (int64_t frame = index_.firstFrame(); frame <= index_.lastFrame(); ++frame) {
    usda_.BeginFrame(frame);
    ForEachLiving(index_, frame, [&](const TrackPiece& piece) { put(piece, frame); });
    usda_.EndFrame();
  }
  usda_.EndSamples();
}

// ---- the layer ----------------------------------------------------------------------------------

void AnimatedLayer::WriteParticles() {
  usda_.BeginPrim("Points", "particles");
  Samples("point3f[]", "points", nullptr, [&](const TrackPiece& piece, int64_t frame) {
    usda_.PutVector(Narrowed(At(piece, piece.SampleAt(frame))).data());
  });
  Samples("int64[]", "ids", nullptr, [&](const TrackPiece& piece, int64_t) { usda_.PutInteger(static_cast<int64_t>(piece.track)); });
  Samples("vector3f[]", "velocities", nullptr, [&](const TrackPiece& piece, int64_t frame) {
    usda_.PutVector(Narrowed(ParticleVelocity(piece, piece.SampleAt(frame))).data());
  });
  usda_.ConstantFloat("widths", static_cast<float>(plan_.width), "constant");
  usda_.EndPrim();
}

void AnimatedLayer::WriteTrails() {
  // A trail of one sample draws nothing: it is left out of the curves.
  auto drawn = [this](const TrackPiece& piece, int64_t frame) {
    uint64_t sample = piece.SampleAt(frame);
    return sample > TrailStart(piece, sample);
  };
  usda_.BeginPrim("BasisCurves", "trails");
  usda_.UniformToken("type", "linear");
  usda_.UniformToken("wrap", "nonperiodic");
  Samples("int[]", "curveVertexCounts", nullptr, [&](const TrackPiece& piece, int64_t frame) {
    uint64_t sample = piece.SampleAt(frame);
    if (drawn(piece, frame)) usda_.PutInteger(static_cast<int64_t>(sample - TrailStart(piece, sample) + 1));
  });
  Samples("point3f[]", "points", nullptr, [&](const TrackPiece& piece, int64_t frame) {
    uint64_t sample = piece.SampleAt(frame);
    if (!drawn(piece, frame)) return;
    for (uint64_t vertex = TrailStart(piece, sample); vertex <= sample; ++vertex) usda_.PutVector(Narrowed(At(piece, vertex)).data());
  });
  Samples("vector3f[]", "velocities", nullptr, [&](const TrackPiece& piece, int64_t frame) {
    if (drawn(piece, frame)) PutTrailVelocities(piece, frame);
  });
  usda_.ConstantFloat("widths", static_cast<float>(plan_.width), "constant");
  Samples("color3f[]", "primvars:displayColor", "vertex", [&](const TrackPiece& piece, int64_t frame) {
    uint64_t sample = piece.SampleAt(frame), start = TrailStart(piece, sample);
    if (!drawn(piece, frame)) return;
    for (uint64_t vertex = start; vertex <= sample; ++vertex) {
      Rgb8 colour = LinearRampColour(static_cast<double>(vertex - start) / static_cast<double>(sample - start));
      float rgb[3] = {static_cast<float>(colour.r / 255.0), static_cast<float>(colour.g / 255.0), static_cast<float>(colour.b / 255.0)};
      usda_.PutVector(rgb);
    }
  });
  usda_.EndPrim();
}

bool AnimatedLayer::Write(const std::string& input, std::string* error) {
  if (!reader_.Open(input, index_.tracks(), error)) return false;
  AnimatedStage stage{plan_.metersPerUnit, plan_.fps, index_.firstFrame(), index_.lastFrame()};
  usda_.BeginLayer(stage);
  if (!index_.empty()) WriteParticles();
  if (index_.TrailPoints(plan_.trailFrames) > 0) WriteTrails();
  if (reader_.failure() != 0) {
    *error = "cannot read " + input + ": " + SystemReason(reader_.failure());
  } else if (nonFinite_) {
    *error = CannotWrite(plan_.outputs.front().path, "particle " + GroupedDigits(nonFiniteTrack_) +
                                                           " has a NaN or infinite position, which no USD reader takes");
  } else {
    return usda_.Complete(error);
  }
  usda_.file().Abandon();
  return false;
}

// ---- the run ------------------------------------------------------------------------------------

// A header the plug-in would ask about is read only with --yes.
Verdict CheckHeader(const ConvertArgs& a, const CommandPlan& plan, const PfxFrameIndex& index) {
  if (a.yes || (plan.notPfx.empty() && index.header().version == PFX_VERSION)) return {};
  std::string why = plan.notPfx.empty() ? "its version is " + std::to_string(index.header().version) + ", not 3" : plan.notPfx;
  return Refusal{EXIT_DECLINED, a.input + ": " + why + "; nothing written (--yes reads it anyway)"};
}

std::string SummaryOf(const ConvertArgs& a, const CommandPlan& plan, const PfxFrameIndex& index) {
  std::string line = "wrote " + a.output + ": " + Counted(index.frames(), "frame", "frames");
  if (!index.empty()) line += " (" + std::to_string(index.firstFrame()) + " to " + std::to_string(index.lastFrame()) + ")";
  line += " at " + ShortestText(plan.fps) + " fps, " + Counted(index.ParticlePoints(), "particle point", "particle points") +
          ", " + Counted(index.TrailPoints(plan.trailFrames), "trail point", "trail points");
  if (plan.widthChosen) line += "; width " + ShortestText(static_cast<float>(plan.width)) + ", from the scene's size";
  if (index.endsEarly()) line += " (the input ended early)";
  return line;
}

}  // namespace

int ConvertAnimated(const ConvertArgs& a, const CommandPlan& plan) {
  PfxFrameIndex index;
  std::string error;
  if (!index.Build(a.input, &error)) return NotDone(error);
  if (Verdict refusal = CheckHeader(a, plan, index)) return Refuse(*refusal, "");
  if (Verdict refusal = CheckSize(index, plan.trailFrames, a.output)) return Refuse(*refusal, "convert");
  PrepareInterruptLine(PathsOf(plan.outputs));
  for (const std::string& line : SweepBeside(a.output, {a.input})) {
    if (!a.quiet) Say(line);
  }
  std::unique_ptr<TimeSampledLayer> usd;
  if (plan.outputs.front().format == OutputFormat::Usdc) usd = std::make_unique<TimeSamplesUsdc>();
  else usd = std::make_unique<TimeSamplesUsda>();
  if (!usd->Open(a.output, &error)) return NotDone(error);
  AnimatedLayer layer(index, plan, *usd);
  if (!layer.Write(a.input, &error)) return NotDone(error);
  std::vector<OutputFile*> files = {&usd->file()};
  if (!CommitTogether(files, &error)) return NotDone(error);
  if (index.endsEarly()) Say(a.input + ": unexpected end of pfx file; the layer holds the whole samples before it");
  if (!a.quiet) std::cout << SummaryOf(a, plan, index) << "\n";
  return index.endsEarly() ? EXIT_CUT_SHORT : 0;
}

}  // namespace dustweave
