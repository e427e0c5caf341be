// dustweave convert. Divisions: the options; the plan (every check before the module runs); the
// run through the stand-in host, with what its boxes mean; the commit and the summary.
#include "commands/convert.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "commands/animate.h"
#include "commands/called_name.h"
#include "commands/commit_decision.h"
#include "commands/interrupt_line.h"
#include "commands/mesh_outputs.h"
#include "commands/module_path.h"
#include "commands/plan.h"
#include "commands/progress.h"
#include "commands/sizing.h"
#include "commands/step_share.h"
#include "pfxtools/pfx_count.h"
#include "pfxtools/pfx_inspect.h"
#include "writers/number_text.h"

namespace dustweave {

// ---- the options -------------------------------------------------------------------------------

CLI::App* AddConvert(CLI::App& app, ConvertArgs& a) {
  CLI::App* convert = app.add_subcommand("convert", "Convert a pfx file to OBJ, glTF binary (.glb) or USD (.usda, .usdc) through the module");
  convert->add_option("INPUT", a.input, "the pfx file")->required()->type_name("");
  convert->add_option("OUTPUT", a.output,
                      "the file to write: .obj or .glb (the chains as lines, or as tubes with\n"
                      "--tubes), or .usda or .usdc (USD: the chains as linear curves with widths\n"
                      "and colours, as text or binary)")
      ->required()
      ->type_name("");
  CLI::Option* step = convert->add_option("--step", a.step,
                      "the share of each track's samples kept: a fraction (0.25) or a percent\n"
                      "(25%), as the panel's step percent; left out, every sample")
      ->type_name("SHARE");
  convert->add_option("--max-points", a.maxPoints,
                      "keep the largest step share whose points are at most N, 1 or more (read\n"
                      "from the input first): a file sized for the tool that opens it")
      ->type_name("N")
      ->check(CLI::Range(uint64_t{1}, UINT64_MAX).description(""))
      ->excludes(step);
  convert->add_flag("--start-poly", a.startPolygon, "begin each chain with a one-point polygon");
  convert->add_option("--surface", a.surface, "the surface of the polygons (Default when left out)")->type_name("NAME");
  convert->add_flag("--yes", a.yes, "answer OK when the file's header makes the plug-in ask");
  convert->add_option("--svg", a.svg, "also write a preview picture (.svg)")->type_name("FILE.svg");
  convert->add_option("--html", a.html,
                      "also write a 3D preview page (.html): one file that opens in a browser\n"
                      "with no network; drag to turn, wheel to zoom, right-drag to pan")
      ->type_name("FILE.html");
  convert->add_flag("--attributes", a.attributes,
                    "give each point of a .glb COLOR_0 (the preview's colours along its\n"
                    "chain, shown unlit), _CHAIN (its chain's number, from 0), _U (its place\n"
                    "along the chain, 0 to 1) and its frame (the sample's index) as _FRAME and\n"
                    "TEXCOORD_0 (u): 20 bytes more a point, a file twice as large; USD's\n"
                    "points their frame as primvars:frame");
  convert->add_option_function<std::vector<std::string>>(
             "--tubes", [&a](const std::vector<std::string>& width) { a.tubes = width; },
                      "write each chain of a .glb or .obj as a tube of three sides that renders\n"
                      "as it is, WIDTH wide as --width gives it (left out, the default width);\n"
                      "USD's curves take a WIDTH given so too")
      ->expected(0, 1)
      ->type_name("[WIDTH]");
  convert->add_option("--width", a.width,
                      "the diameter of the tubes and of USD's curves (an animated\n"
                      "layer's too), in scene units; left out, a thirtieth of the space\n"
                      "between neighbouring particles, read from the input first: the\n"
                      "same for every --step and --max-points")
      ->type_name("WIDTH");
  convert->add_option("--bad-samples", a.badSamples,
                      "drop: leave out each sample whose position is no finite 32-bit\n"
                      "number (NaN, infinite), its chain broken there, and say how many;\n"
                      "left out, such a sample stops the run (exit 10), named by its\n"
                      "particle and sample in the file, each counted from 0")
      ->type_name("drop");
  convert->add_option_function<std::vector<std::string>>(
             "--taper", [&a](const std::vector<std::string>& how) { a.taper = how.empty() ? "" : how.front(); },
                      "narrow each chain (USD's curves, or the tubes) from full at its first\n"
                      "sample to nothing at its last; with comet, full at the particle (the\n"
                      "chain's last sample) to nothing at its oldest")
      ->expected(0, 1)
      ->type_name("[comet]");
  convert->add_option_function<std::vector<std::string>>(
             "--smooth", [&a](const std::vector<std::string>& steps) { a.smooth = steps.empty() ? "" : steps.front(); },
                      "draw each chain as the smooth curve through its samples (Catmull-Rom):\n"
                      "USD's curves cubic; tubes with N rings a segment, along the curve (default\n"
                      + std::to_string(DEFAULT_SMOOTH_STEPS) + ", at most " + std::to_string(MAX_SMOOTH_STEPS) +
                      "; a .glb about N times as large); not for lines")
      ->expected(0, 1)
      ->type_name("[N]");
  convert->add_option("--meters-per-unit", a.metersPerUnit,
                      "USD's stage unit: the metres of one unit of the positions (default 1,\n"
                      "the host's metres; 0.01 for a scene in centimetres)")
      ->type_name("METRES");
  convert->add_option("--fps", a.fps,
                      "USD's frames and time codes a second (default 24, or 23.976, 30, ...): a\n"
                      "layer's time codes are the samples' frames, its start and end the first\n"
                      "and last written")
      ->type_name("RATE");
  convert->add_flag("--animate", a.animate,
                    "write a .usda or .usdc over time: at each frame the particles alive (Points \"particles\",\n"
                    "with ids and velocities) and the trail behind each (BasisCurves \"trails\"),\n"
                    "the time codes being the file's frames at --fps; read without the module. A\n"
                    "layer past 4 GiB of values is refused, naming a --trail-frames that fits");
  convert->add_option("--trail-frames", a.trailFrames,
                      "with --animate, each trail is only its particle's last N samples (N is 1\n"
                      "or more); --step or --max-points thin the trails (to the samples the\n"
                      "module keeps, and the particle's own), never the particles nor the frames")
      ->type_name("N")
      ->check(CLI::Range(uint64_t{1}, UINT64_MAX).description(""));
  convert->add_option("--module", a.module, "the module to run (default: the one installed beside dustweave)")
      ->type_name("PATH");
  convert->add_flag("--quiet,-q", a.quiet, "no progress and no summary line; errors are still shown");
  convert->footer(
      "Nothing is ever left half-written: each file is written beside its name and renamed when whole.\n"
      "Exit status: 0 the whole file converted; 1 the file ended early (the chains of its whole\n"
      "samples are written); 2 the file's header made the plug-in ask and --yes was not given\n"
      "(nothing written); 3 the run made no point (no track, every track empty, every sample\n"
      "left out), so no file is written or replaced; 10 the input cannot be opened, holds a\n"
      "sample no output holds (without --bad-samples drop), the module cannot be loaded or run,\n"
      "or an output cannot be written (nothing written); 64 on misuse.\n\n"
      "Example:\n  " + CalledName() + " convert sim.pfx chains.glb --step 25% --svg chains.svg\n");
  return convert;
}

namespace {

// ---- the plan ----------------------------------------------------------------------------------

constexpr const char* NO_FILE_ANSWER = "none";  // the panel's initial value: no file chosen

std::vector<OutputName> OutputNames(const ConvertArgs& a) {
  std::vector<OutputName> names = {{a.output, "OUTPUT", {OutputFormat::Obj, OutputFormat::Glb, OutputFormat::Usda, OutputFormat::Usdc}}};
  if (!a.svg.empty()) names.push_back({a.svg, "--svg", {OutputFormat::Svg}});
  if (!a.html.empty()) names.push_back({a.html, "--html", {OutputFormat::Html}});
  return names;
}

// How convert answers the panel and the plug-in's questions.
standin::HostScript AnswersOf(const ConvertArgs& a, const std::optional<double>& step) {
  standin::HostScript script;
  // The panel's initial value must not swallow a file that is really called so.
  script.file = a.input == NO_FILE_ANSWER ? "./" + a.input : a.input;
  script.startPolygon = a.startPolygon;
  script.step = step;
  if (a.surface) script.surfaces.emplace_back(*a.surface);
  script.answerOk = a.yes;
  return script;
}

// A WIDTH given with `option`, checked. The width is written as a 32-bit float (a curve's width,
// a ring's size), so it must be one of the positive normal ones: a width that would be written as
// infinity or as 0 is refused.
Verdict CheckedWidth(const std::string& text, const std::string& option, double* width) {
  char* end = nullptr;
  *width = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(*width > 0) || !std::isfinite(*width)) {
    return Refusal{EXIT_MISUSE, option + " WIDTH must be a positive number of scene units: " + text};
  }
  if (*width < FLT_MIN || *width > FLT_MAX) {
    return Refusal{EXIT_MISUSE, option + " WIDTH must lie between " + ShortestText(FLT_MIN) + " and " +
                                    ShortestText(FLT_MAX) + ", the widths a 32-bit float holds: " + text};
  }
  return {};
}

// The width given with --width or --tubes WIDTH (the same one when both are), and the option that
// gave it; 0 when none is given.
Verdict GivenWidth(const ConvertArgs& a, double* width, std::string* option) {
  *width = 0;
  double tubes = 0;
  bool tubesWidth = a.tubes && !a.tubes->empty() && !a.tubes->front().empty();
  if (tubesWidth) {
    if (Verdict misuse = CheckedWidth(a.tubes->front(), "--tubes", &tubes)) return misuse;
    *width = tubes, *option = "--tubes";
  }
  if (!a.width) return {};
  if (Verdict misuse = CheckedWidth(*a.width, "--width", width)) return misuse;
  if (tubesWidth && *width != tubes) {
    return Refusal{EXIT_MISUSE, "--tubes " + a.tubes->front() + " and --width " + *a.width + " give two widths; give one"};
  }
  *option = "--width";
  return {};
}

// The widths drawn: tubes' and USD's curves'. Lines have none, and --tubes alone says nothing to
// USD, whose curves are always drawn at a width.
Verdict CheckWidthOptions(const ConvertArgs& a) {
  bool usd = FormatNamed(a.output, {OutputFormat::Usda, OutputFormat::Usdc}).has_value();
  if (a.width && !usd && !a.tubes) {
    return Refusal{EXIT_MISUSE, "--width needs --tubes for a .glb or .obj OUTPUT, whose lines have no width: " + a.output};
  }
  if (usd && a.tubes && (a.tubes->empty() || a.tubes->front().empty())) {
    return Refusal{EXIT_MISUSE, "--tubes draws the chains of a .glb or .obj; USD's curves are drawn at a width already "
                                "(give it with --width WIDTH): " + a.output};
  }
  return {};
}

// How --taper and --smooth shape the chains: a taper named, or the rings a segment, checked.
Verdict GivenShape(const ConvertArgs& a, ChainShape* shape) {
  if (a.taper && !a.taper->empty() && *a.taper != "comet") {
    return Refusal{EXIT_MISUSE, "--taper takes comet (full at the particle) or no value (full at each chain's start): " + *a.taper};
  }
  if (a.taper) shape->taper = a.taper->empty() ? Taper::Start : Taper::Comet;
  if (!a.smooth) return {};
  shape->smooth = DEFAULT_SMOOTH_STEPS;
  if (a.smooth->empty()) return {};
  const std::string& text = *a.smooth;
  char* end = nullptr;
  unsigned long steps = std::strtoul(text.c_str(), &end, 10);
  if (!std::isdigit(static_cast<unsigned char>(text[0])) || *end != '\0' || steps < 1 || steps > MAX_SMOOTH_STEPS) {
    return Refusal{EXIT_MISUSE, "--smooth N must be a whole number of rings a segment from 1 to " +
                                    std::to_string(MAX_SMOOTH_STEPS) + ": " + text};
  }
  shape->smooth = static_cast<uint32_t>(steps);
  return {};
}

// A positive finite number given with `option` (USD's --meters-per-unit, --fps), left as it was
// when the option is not given; misuse otherwise, naming what it counts.
Verdict GivenPositive(const std::optional<std::string>& given, const char* option, const char* counts, double* value) {
  if (!given) return {};
  char* end = nullptr;
  *value = std::strtod(given->c_str(), &end);
  if (given->empty() || *end != '\0' || !(*value > 0) || !std::isfinite(*value)) {
    return Refusal{EXIT_MISUSE, std::string(option) + " must be a positive number of " + counts + ": " + *given};
  }
  return {};
}

// What an animated layer is written with: USD alone, the file's own samples, no module run.
Verdict CheckAnimateOptions(const ConvertArgs& a) {
  if (!a.animate) {
    return a.trailFrames ? Verdict{Refusal{EXIT_MISUSE, "--trail-frames needs --animate"}} : Verdict{};
  }
  if (FormatNamed(a.output, {OutputFormat::Obj, OutputFormat::Glb})) {
    return Refusal{EXIT_MISUSE, "--animate needs a .usda or .usdc OUTPUT: " + a.output};
  }
  const std::pair<bool, const char*> unfit[] = {
      {a.taper.has_value(), "--taper"}, {a.smooth.has_value(), "--smooth"},
      {a.startPolygon, "--start-poly"}, {a.surface.has_value(), "--surface"}, {!a.svg.empty(), "--svg"},
      {!a.html.empty(), "--html"}, {a.attributes, "--attributes"}};
  for (const auto& [given, name] : unfit) {
    if (given) {
      return Refusal{EXIT_MISUSE, std::string(name) + " does not go with --animate, whose layer holds the file's samples "
                                                      "at their frames, read without the module"};
    }
  }
  return {};
}

// The options that fit only some outputs.
Verdict CheckOutputOptions(const ConvertArgs& a) {
  std::optional<OutputFormat> format = FormatNamed(a.output, {OutputFormat::Obj, OutputFormat::Glb});
  if (a.attributes && format == OutputFormat::Obj) {
    return Refusal{EXIT_MISUSE, "--attributes needs a .glb, .usda or .usdc OUTPUT; OBJ has no per-point attributes: " + a.output};
  }
  if (a.fps && format) {
    return Refusal{EXIT_MISUSE, format == OutputFormat::Obj
                                    ? "--fps needs a .usda or .usdc OUTPUT; OBJ holds no frames: " + a.output
                                    : "--fps needs a .usda or .usdc OUTPUT; a .glb's frames are frame numbers, with no rate: " + a.output};
  }
  for (const auto& [given, name] : {std::pair{a.taper.has_value(), "--taper"}, std::pair{a.smooth.has_value(), "--smooth"}}) {
    if (given && format && !a.tubes) {
      return Refusal{EXIT_MISUSE, std::string(name) + " needs --tubes with a .glb or .obj OUTPUT, or a .usda or .usdc OUTPUT; " +
                                      "lines are the module's chains as they are: " + a.output};
    }
  }
  if (a.metersPerUnit && format) return Refusal{EXIT_MISUSE, "--meters-per-unit needs a .usda or .usdc OUTPUT: " + a.output};
  if (a.badSamples && *a.badSamples != "drop") {
    return Refusal{EXIT_MISUSE, "--bad-samples takes drop, which leaves out each sample no output holds: " + *a.badSamples};
  }
  if (Verdict misuse = CheckWidthOptions(a)) return misuse;
  return CheckAnimateOptions(a);
}

// The options' own checks, then the outputs', the input's and the module's, in that order.
Verdict PlanConvert(const ConvertArgs& a, CommandPlan* plan) {
  Verdict refusal = CheckPathLengths({{a.input, false}, {a.output, true}, {a.svg, true}, {a.html, true},
                                     {a.module, false}});
  if (refusal) return refusal;
  if (a.surface && a.surface->empty()) return Refusal{EXIT_MISUSE, "--surface needs a name"};
  std::optional<double> step;
  std::string error;
  if (a.step && !(step = StepFraction(*a.step, &error))) return Refusal{EXIT_MISUSE, error};
  refusal = PlanOutputs(a.input, OutputNames(a), plan);
  if (refusal && refusal->status == EXIT_MISUSE) return refusal;
  if (Verdict misuse = CheckOutputOptions(a)) return misuse;
  if (Verdict misuse = GivenWidth(a, &plan->width, &plan->widthOption)) return misuse;
  if (Verdict misuse = GivenShape(a, &plan->shape)) return misuse;
  if (Verdict misuse = GivenPositive(a.metersPerUnit, "--meters-per-unit", "metres", &plan->metersPerUnit)) return misuse;
  if (Verdict misuse = GivenPositive(a.fps, "--fps", "frames a second", &plan->fps)) return misuse;
  if (refusal || (refusal = PlanInput(a.input, plan))) return refusal;
  bool usda = FormatNamed(a.output, {OutputFormat::Usda, OutputFormat::Usdc}).has_value();
  std::string module = a.module;
  if (!a.animate && module.empty() && !FindDefaultModule(&module, &error)) return Refusal{EXIT_NOT_DONE, error};
  if (!a.animate && (refusal = PlanModule(module, plan))) return refusal;
  // The default width comes from every sample of the input: the same whatever the step share.
  // It is read first, as tubes and tapered widths are made as the points come, unless it is USD's
  // one width, written at the end: that is read on a second thread during the run, unless the
  // input is read first anyway (--max-points).
  bool widthRead = plan->width == 0 && (a.tubes || usda);
  plan->widthAtEnd = widthRead && usda && !a.animate && plan->shape.taper == Taper::None && !a.maxPoints;
  widthRead = widthRead && !plan->widthAtEnd;
  bool tubes = a.tubes && !usda;
  // An animated layer's --max-points counts its frames' points: it is settled from their index.
  SizingAsk ask{a.input, a.output, widthRead, a.animate ? std::nullopt : a.maxPoints, step,
                 FormatNamed(a.output, {OutputFormat::Glb}).has_value(), a.tubes.has_value(), a.attributes,
                 a.startPolygon, plan->samples, tubes ? plan->shape.ringsASegment() : 1};
  Sizing sizing;
  if ((refusal = SizeOutput(ask, &sizing))) return refusal;
  if (ask.defaultWidth) plan->width = sizing.width;
  plan->widthChosen = ask.defaultWidth || plan->widthAtEnd;
  step = sizing.step;
  plan->stepChosen = sizing.stepChosen;
  plan->chainAttributes = a.attributes;
  plan->frames = usda || a.attributes;
  plan->tubes = tubes;
  plan->dropBadSamples = a.badSamples.has_value();
  plan->animate = a.animate;
  plan->trailFrames = a.trailFrames.value_or(0);
  plan->captionInput = a.input;
  plan->captionSettings = AnswersCaption(step, a.startPolygon);
  plan->script = AnswersOf(a, step);
  return {};
}

// ---- the run through the stand-in host ---------------------------------------------------------

// A question that --yes answered: no error, so --quiet does not show it.
bool IsAnsweredOk(const standin::Box& box) { return box.kind == "okCancel" && box.answer && *box.answer != 0; }

// `notPfx` stands for the first question's text when the input is no pfx file at all.
std::string BoxMessage(const standin::Box& box, const std::string& input, const std::string& notPfx) {
  std::string line = "dustweave: " + input + ": " + Flattened(box.text);
  if (box.kind != "okCancel") return line;
  if (!notPfx.empty()) line = "dustweave: " + input + " " + notPfx + ", continue ?";
  if (IsAnsweredOk(box)) return line + " -> OK (--yes)";
  return line + " -> Cancel, nothing written (--yes answers OK)";
}

// Each box as a line above the progress line.
std::function<void(const standin::Box&)> ShowBoxes(const ConvertArgs& a, const CommandPlan& plan,
                                                   ProgressMeter& progress) {
  return [&a, &plan, &progress, asked = false](const standin::Box& box) mutable {
    std::string notPfx = asked ? "" : plan.notPfx;
    asked = asked || box.kind == "okCancel";
    if (!(a.quiet && IsAnsweredOk(box))) progress.PrintLine(BoxMessage(box, a.input, notPfx));
  };
}

void SayStaleRemoved(MeshOutputs& outputs, const ConvertArgs& a) {
  for (const std::string& line : outputs.TakeSweepLines()) {
    if (!a.quiet) Say(line);
  }
}

// ---- the commit and the summary ----------------------------------------------------------------

// What the file holds, and what convert chose for it: the width and the step share.
std::string SummaryOf(const ConvertArgs& a, const CommandPlan& plan, const MeshOutputs& outputs,
                      const CommitDecision& decision) {
  std::string holds = outputs.MeshHolds();
  if (holds.empty()) {
    holds = Counted(outputs.pointsGiven(), "point", "points") + ", " + Counted(outputs.polygonsGiven(), "polygon", "polygons");
  }
  std::string line = "wrote " + a.output + ": " + holds;
  if (plan.widthChosen) {
    line += std::string("; ") + (plan.tubes ? "tubes " : "curves ") + ShortestText(static_cast<float>(plan.width)) +
            " wide, from the particles' spacing";
  }
  FrameRange frames = outputs.MeshFrames();
  if (frames.any()) {
    line += "; frames " + std::to_string(frames.first) + " to " + std::to_string(frames.last);
    if (FormatNamed(a.output, {OutputFormat::Usda, OutputFormat::Usdc})) line += " at " + ShortestText(plan.fps) + " fps";
  }
  if (!plan.stepChosen.empty()) {
    line += "; step " + plan.stepChosen + " % chosen for at most " + GroupedDigits(*a.maxPoints) + " points";
  }
  if (!a.svg.empty()) line += "; preview " + a.svg;
  if (!a.html.empty()) line += "; 3D preview " + a.html;
  if (decision.cutShort) line += " (the input ended early)";
  return line;
}

// A run that made no point writes nothing, so that no file is replaced by an empty one: why.
int NothingMade(const ConvertArgs& a, const MeshOutputs& outputs) {
  std::string why;
  if (!outputs.DroppedSamples().empty()) {
    if (!a.quiet) Say(outputs.DroppedSamples());
    why = "every sample the plug-in kept was left out by --bad-samples drop";
  } else {
    PfxInspection look;
    std::string error;
    why = InspectPfx(a.input, &look, &error) ? WhyNoPoint(look) : error;
  }
  Say(a.input + ": no point to write (" + (why.empty() ? "the run made none" : why) + "); nothing written");
  return EXIT_NOTHING_MADE;
}

// The outputs committed when the run did what they stand for; the exit status.
int Commit(const ConvertArgs& a, CommandPlan& plan, const standin::Host& host, int result, MeshOutputs& outputs,
           WidthAtEnd& widthAtEnd) {
  CommitDecision decision = DecideCommit(host, result, a.input);
  if (decision.boxSaid) return decision.status;  // a question's box also said that nothing is written
  if (!decision.commit()) return NotDone(decision.reason + "; nothing written");
  if (outputs.pointsGiven() == 0) return NothingMade(a, outputs);
  std::string error;
  if (decision.cutShort) outputs.NoteEndsEarly(a.input);
  if (plan.widthAtEnd && !widthAtEnd.Take(&plan.width, &error)) return NotDone(error);
  if (plan.widthAtEnd) outputs.SetWidth(plan.width);
  if (!outputs.Finish(&error)) return NotDone(error);
  if (!a.quiet && !outputs.DroppedSamples().empty()) Say(outputs.DroppedSamples());
  if (!a.quiet) std::cout << SummaryOf(a, plan, outputs, decision) << "\n";
  return decision.cutShort ? EXIT_CUT_SHORT : 0;
}

}  // namespace

int Convert(const ConvertArgs& a) {
  CommandPlan plan;
  if (Verdict refusal = PlanConvert(a, &plan)) return Refuse(*refusal, "convert");
  if (plan.animate) return ConvertAnimated(a, plan);
  PrepareInterruptLine(PathsOf(plan.outputs));
  ProgressMeter progress(!a.quiet && StandardErrorIsTerminal(), plan.inputBytes,
                         PointsToExpect(plan.samples.value_or(0), plan.script.step));
  MeshOutputs outputs;
  progress.MeasureOutput([&outputs] { return outputs.bytesMade(); });
  if (progress.enabled()) outputs.AddWatcher(&progress);
  std::string error;
  if (!outputs.Open(plan, &error)) return NotDone(error);
  SayStaleRemoved(outputs, a);
  if (KeepsEverySample(plan.script.step) && plan.samples) outputs.ExpectPoints(*plan.samples);
  WidthAtEnd widthAtEnd;
  if (plan.widthAtEnd) widthAtEnd.Start(a.input);
  plan.script.sink = outputs.sink();
  standin::Host host(plan.script);
  host.onBox = ShowBoxes(a, plan, progress);
  std::optional<int> ran = standin::RunLoadedOnce(*plan.module, host, COMMAND_INTERFACE_VERSION, &error);
  progress.End();
  if (!ran) return NotDone(error);
  return Commit(a, plan, host, *ran, outputs, widthAtEnd);
}

}  // namespace dustweave
