// The reading before the run and what follows from it. Divisions: the width; the step share; the
// .glb's limit.
#include "commands/sizing.h"

#include "commands/exit_status.h"
#include "gltf/glb_file.h"
#include "pfxtools/pfx_inspect.h"
#include "platform/output_file.h"
#include "writers/number_text.h"
#include "writers/scene_width.h"

namespace dustweave {

namespace {

// ---- the width --------------------------------------------------------------------------------

// The width from the spacing of the input's particles in its box, taken over every sample the
// plug-in reads whatever the step share, so that it is the same for every --step and
// --max-points; a file with no finite position takes 1.
double InputWidth(const PfxInspection& look) {
  double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
  for (int axis = 0; axis < 3 && look.anyFinite; ++axis) low[axis] = look.low[axis], high[axis] = look.high[axis];
  return SpacingWidth(low, high, look.finiteTracks);
}

// ---- the step share ---------------------------------------------------------------------------

Verdict ChooseStep(const SizingAsk& ask, const TrackShapes& shapes, Sizing* sizing) {
  std::optional<StepChoice> choice = LargestStepWithin(shapes, *ask.maxPoints);
  if (!choice) {
    return Refusal{EXIT_MISUSE, "--max-points " + GroupedDigits(*ask.maxPoints) + " is fewer than the smallest step share keeps (" +
                                    Counted(shapes.PointsKept(1e-6), "point", "points") + "): each track keeps its first and last samples"};
  }
  if (choice->step < 1) {
    sizing->step = choice->step;
    sizing->stepChosen = choice->percent;
  }
  return {};
}

// ---- the .glb's limit -------------------------------------------------------------------------

// Whether the points of every sample could make a .glb past its limit, so that the input must be
// read to know.
bool GlbMayPassLimit(const SizingAsk& ask) {
  uint64_t samples = ask.samplesBySize.value_or(UINT64_MAX);
  return samples > GlbPointsWithin(0, ask.tubes, ask.attributes, ask.startPolygons, GLB_MAX_FILE_BYTES, ask.ringsASegment);
}

Verdict CheckGlbLimit(const SizingAsk& ask, const TrackShapes& shapes, const Sizing& sizing) {
  uint64_t within = GlbPointsWithin(shapes.tracksWithPoints(), ask.tubes, ask.attributes, ask.startPolygons, GLB_MAX_FILE_BYTES,
                                    ask.ringsASegment);
  uint64_t points = shapes.PointsKept(sizing.step);
  if (points <= within) return {};
  std::string what = (ask.tubes ? "the tubes of " : "the lines of ") + Counted(points, "point", "points") +
                     " would pass the 4 GiB that a .glb can hold";
  std::optional<StepChoice> fits = LargestStepWithin(shapes, within);
  if (!fits) return Refusal{EXIT_NOT_DONE, CannotWrite(ask.output, what + ", whatever share of the samples is kept")};
  return Refusal{EXIT_NOT_DONE, CannotWrite(ask.output, what + "; --step " + fits->percent + "% fits (" +
                                                            Counted(shapes.PointsKept(fits->step), "point", "points") +
                                                            "), as does --max-points " + GroupedDigits(within))};
}

}  // namespace

void WidthAtEnd::Start(const std::string& input) {
  input_ = input;
  started_ = worker_.Start([this] { read_ = InspectPfx(input_, &look_, &error_); });
}

bool WidthAtEnd::Take(double* width, std::string* error) {
  if (started_) worker_.Join();
  else read_ = InspectPfx(input_, &look_, &error_);  // no thread could be had: read now
  started_ = false;
  if (!read_) {
    *error = error_;
    return false;
  }
  *width = InputWidth(look_);
  return true;
}

Verdict SizeOutput(const SizingAsk& ask, Sizing* sizing) {
  sizing->step = ask.step;
  bool glbLimit = ask.glb && GlbMayPassLimit(ask);
  if (!ask.defaultWidth && !ask.maxPoints && !glbLimit) return {};
  PfxInspection look;
  std::string error;
  // A file that cannot be read stops the command, as it would stop the run: a width or a step
  // guessed instead would change the output.
  if (!InspectPfx(ask.input, &look, &error)) return Refusal{EXIT_NOT_DONE, error};
  if (ask.defaultWidth) sizing->width = InputWidth(look);
  if (ask.maxPoints) {
    if (Verdict refusal = ChooseStep(ask, look.shapes, sizing)) return refusal;
  }
  if (ask.glb) return CheckGlbLimit(ask, look.shapes, *sizing);
  return {};
}

}  // namespace dustweave
