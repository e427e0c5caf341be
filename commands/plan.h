// The checks of a command, made in one step before anything runs or is written: they yield
// everything the run needs (the outputs with their formats, the input with its size, the module,
// the host's answers), or the one reason the command cannot start, with its exit status. Each
// command makes its plan from its options with the checks here; its run follows from the plan.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standin/host.h"
#include "standin/loader.h"
#include "writers/chain_shape.h"

namespace dustweave {

enum class OutputFormat { Obj, Glb, Usda, Usdc, Svg, Html, Pfx };

// The format a path's extension names among `formats` (.obj, .glb, .usda, .usdc, .svg, .html or .htm,
// .pfx, in any case); nullopt when it names none of them.
std::optional<OutputFormat> FormatNamed(const std::string& path, const std::vector<OutputFormat>& formats);

// An output a command is given: its path, how the command line names it ("OUTPUT", "--svg", "--html"), and
// the formats it may be in.
struct OutputName {
  std::string path;
  std::string option;
  std::vector<OutputFormat> formats;
};

// An output as the checks found it.
struct PlannedOutput {
  std::string path;
  std::string option;
  OutputFormat format;
};

// Why a command cannot start: misuse (EXIT_MISUSE: a wrong extension, the input or another output
// under an output's name, an option out of its range), or what cannot be done (EXIT_NOT_DONE: an
// input, a module or a place to write that fails). A check that lets the command go on gives none.
struct Refusal {
  int status;
  std::string reason;
};
using Verdict = std::optional<Refusal>;  // none: nothing refused

// Everything a command's run needs.
struct CommandPlan {
  std::vector<PlannedOutput> outputs;  // opened and committed in this order
  bool chainAttributes = false;        // a .glb's points carry their chain attributes
  bool tubes = false;                  // a .glb or .obj holds the chains as tubes
  double width = 0;                    // the tubes' or USD's curves' width (diameter)
  bool widthChosen = false;            // the width is chosen from the particles' spacing, not given
  bool widthAtEnd = false;             // chosen, read from the input during the run (USD's one width)
  std::string widthOption;             // the option that gave it ("--width", "--tubes"); empty when chosen
  bool dropBadSamples = false;         // a sample no output holds is left out, not refused
  std::string stepChosen;              // the percent --max-points chose ("2.5"); empty when none
  ChainShape shape;                    // tapered widths and smoothed chains: USD's curves, the tubes
  double metersPerUnit = 1;            // USD's stage unit
  // The mesh file gives its points their frames, read from the input beside the run (a USD
  // layer's start and end; with `chainAttributes`, each point's), at `fps` (USD's).
  bool frames = false;
  double fps = 24;                     // USD's frames and time codes a second
  bool animate = false;                // the simulation over time, as an animated USD layer
  uint64_t trailFrames = 0;            // an animated layer's trails: their last N samples; 0 whole
  // What the preview's caption names: the input (no line when empty) and how it was read.
  std::string captionInput, captionSettings;
  std::string input;                   // the pfx file, as given; empty when none
  uint64_t inputBytes = 0;             // its size; 0 when unknown
  std::string notPfx;                  // why it is no pfx file at all; empty when it may be one
  std::optional<uint64_t> samples;     // the samples its size tells
  std::unique_ptr<standin::LoadedModule> module;
  standin::HostScript script;          // the host's answers (the run gives it its sink)
};

// A path given on the command line, and whether it is written (with a temporary name beside it).
struct GivenPath {
  const std::string& path;
  bool output;
};
// The first of `paths` too long for this system's file functions; none when none is.
Verdict CheckPathLengths(std::initializer_list<GivenPath> paths);

// Each output's name: its extension names its format, it is neither the input nor another
// output, and a file can be put under it. Fills plan->outputs.
Verdict PlanOutputs(const std::string& input, const std::vector<OutputName>& names, CommandPlan* plan);

// A device or a pipe given as the pfx file (none of them is one, and reading it might never end,
// or never begin) refused.
Verdict RefuseDevice(const std::string& path);

// The input opened, its first bytes read and closed again, so that the module is only run on a
// file it can read: a folder, a device or a pipe, and an empty file are refused. Fills the plan's
// input, its size, whether it may be a pfx file and the samples its size tells.
Verdict PlanInput(const std::string& path, CommandPlan* plan);

// The module at `path`, loaded and its descriptor checked.
Verdict PlanModule(const std::string& path, CommandPlan* plan);

// The paths of the planned outputs, in order.
std::vector<std::string> PathsOf(const std::vector<PlannedOutput>& outputs);

// "dustweave: LINE" on standard error.
void Say(const std::string& line);
// Says a refusal, pointing a misuse to the command's --help; gives its status.
int Refuse(const Refusal& refusal, const std::string& command);
// Says why a command that started did not do its work; gives EXIT_NOT_DONE.
int NotDone(const std::string& reason);

}  // namespace dustweave
