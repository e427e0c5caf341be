// dustweave convert. Divisions: the options; checks made before the module runs (names, the
// input, the module); the run through the stand-in host; what the run's boxes mean; the summary.
#include "commands/convert.h"

#include <algorithm>
#include <iostream>
#include <memory>

#include "commands/answers.h"
#include "commands/called_name.h"
#include "commands/commit_decision.h"
#include "commands/mesh_outputs.h"
#include "commands/module_path.h"
#include "commands/progress.h"
#include "commands/step_share.h"
#include "pfxtools/pfx_count.h"
#include "pfxtools/pfx_look.h"
#include "platform/file_handle.h"
#include "platform/path_text.h"
#include "standin/host.h"
#include "standin/loader.h"
#include "writers/number_text.h"

namespace dustweave {

namespace {

constexpr const char* NO_FILE_ANSWER = "none";  // the panel's initial value: no file chosen

// ---- checks made before the module runs --------------------------------------------------------

int Misuse(const std::string& reason) {
  std::cerr << "dustweave: " << reason << " (see " << CalledName() << " convert --help)\n";
  return EXIT_MISUSE;
}

int NotDone(const std::string& reason) {
  std::cerr << "dustweave: " << reason << "\n";
  return EXIT_NOT_DONE;
}

std::vector<OutputName> OutputNames(const ConvertArgs& a) {
  std::vector<OutputName> names = {{a.output, "OUTPUT", {".obj", ".glb"}}};
  if (!a.svg.empty()) names.push_back({a.svg, "--svg", {".svg"}});
  return names;
}

// What the input is, looked at before the module runs.
struct InputLook {
  uint64_t size = 0;      // 0 when unknown
  std::string notPfx;     // why it is no pfx file, after its name; empty when it may be one
};

// The input opened, its first bytes read and closed again, so that the module is only run on a
// file it can read, and an empty one is refused.
bool CheckInput(const std::string& path, InputLook* look, std::string* error) {
  PathStatus status;
  SystemError failure = StatusOf(path, &status);
  if (failure == 0 && status.kind == PathKind::Folder) {
    *error = "cannot open " + path + ": it is a folder";
    return false;
  }
  FileHandle file;
  if (failure == 0) failure = file.OpenToRead(path);
  if (failure != 0) {
    *error = "cannot open " + path + ": " + SystemReason(failure);
    return false;
  }
  std::string start(PFX_LOOK_BYTES, '\0');
  size_t got = 0;
  failure = file.ReadAt(0, start.data(), start.size(), &got);
  if (failure != 0) {
    *error = "cannot read " + path + ": " + SystemReason(failure);
    return false;
  }
  start.resize(got);
  look->size = status.size;
  if (start.empty()) {
    *error = path + " is empty: there is nothing to convert";
    return false;
  }
  look->notPfx = NotPfxReason(start, std::max<uint64_t>(look->size, start.size()));
  return true;
}

// ---- the run through the stand-in host ---------------------------------------------------------

standin::HostScript ScriptOf(const ConvertArgs& a, const std::optional<double>& step, standin::MeshSink* sink) {
  Answers answers;
  if (a.surface) answers.surfaces.emplace_back(*a.surface);
  // The panel's initial value must not swallow a file that is really called so.
  answers.file = a.input == NO_FILE_ANSWER ? "./" + a.input : a.input;
  answers.startPolygon = a.startPolygon;
  answers.step = step;
  answers.ok = a.yes;
  return ScriptOf(answers, sink);
}

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

// ---- the summary -------------------------------------------------------------------------------

void SayStaleRemoved(MeshOutputs& outputs, const ConvertArgs& a) {
  size_t removed = outputs.TakeStaleRemoved();
  if (removed > 0 && !a.quiet) std::cerr << "dustweave: " << StaleRemovedLine(removed, a.output) << "\n";
}

std::string SummaryOf(const ConvertArgs& a, const standin::Host& host, const CommitDecision& decision) {
  std::string line = "wrote " + a.output + ": " + Counted(host.mesh.pointCount, "point", "points") + ", " +
                     Counted(host.mesh.polygonCount, "polygon", "polygons");
  if (!a.svg.empty()) line += "; preview " + a.svg;
  if (decision.cutShort) line += " (the input ended early)";
  return line;
}

}  // namespace

// ---- the options -------------------------------------------------------------------------------

CLI::App* AddConvert(CLI::App& app, ConvertArgs& a) {
  CLI::App* convert = app.add_subcommand("convert", "Convert a pfx file to OBJ or glTF binary (.glb) through the module");
  convert->add_option("INPUT", a.input, "the pfx file")->required();
  convert->add_option("OUTPUT", a.output, "the file to write: .obj or .glb")->required();
  convert->add_option("--step", a.step,
                      "the share of each track's samples kept: a fraction (0.25) or a percent\n"
                      "(25%), as the panel's step percent; left out, every sample");
  convert->add_flag("--start-poly", a.startPolygon, "begin each chain with a one-point polygon");
  convert->add_option("--surface", a.surface, "the surface of the polygons (Default when left out)");
  convert->add_flag("--yes", a.yes, "answer OK when the file's header makes the plug-in ask");
  convert->add_option("--svg", a.svg, "also write a preview picture (.svg)");
  convert->add_flag("--attributes", a.attributes,
                    "give each point of a .glb COLOR_0 (the preview's colours along its\n"
                    "chain, shown unlit), _CHAIN (its chain's number, from 0) and _U (its place\n"
                    "along the chain, 0 to 1): 12 bytes more a point, a file about 60 % larger");
  convert->add_option("--module", a.module, "the module to run (default: the one installed beside dustweave)");
  convert->add_flag("--quiet,-q", a.quiet, "no progress and no summary line; errors are still shown");
  convert->footer(
      "Nothing is ever left half-written: each file is written beside its name and renamed when whole.\n"
      "Exit status: 0 the whole file converted; 1 the file ended early (the chains of its whole\n"
      "samples are written); 2 the file's header made the plug-in ask and --yes was not given\n"
      "(nothing written); 10 the input cannot be opened, the module cannot be loaded or run, or an\n"
      "output cannot be written (nothing written); 64 on misuse.\n\n"
      "Example:\n  " + CalledName() + " convert sim.pfx chains.glb --step 25% --svg chains.svg\n");
  return convert;
}

// ---- the run -----------------------------------------------------------------------------------

int Convert(const ConvertArgs& a) {
  if (a.surface && a.surface->empty()) return Misuse("--surface needs a name");
  std::optional<double> step;
  std::string error;
  if (a.step && !(step = StepFraction(*a.step, &error))) return Misuse(error);
  NameCheck names = CheckOutputNames(a.input, OutputNames(a));
  if (names.status == EXIT_MISUSE) return Misuse(names.reason);
  if (a.attributes && MeshFormatOf(a.output) != MeshFormat::Glb) {
    return Misuse("--attributes needs a .glb OUTPUT; OBJ has no per-point attributes: " + a.output);
  }
  if (names.status != 0) return NotDone(names.reason);
  InputLook input;
  if (!CheckInput(a.input, &input, &error)) return NotDone(error);
  std::string modulePath = a.module;
  if (modulePath.empty() && !FindDefaultModule(&modulePath, &error)) return NotDone(error);
  std::unique_ptr<standin::LoadedModule> module = standin::LoadedModule::Load(modulePath, &error);
  if (!module) return NotDone(error);

  MeshOutputs outputs;
  std::optional<uint64_t> samples = SamplesBySize(a.input);
  ProgressMeter progress(!a.quiet && StandardErrorIsTerminal(), input.size, PointsToExpect(samples.value_or(0), step));
  progress.MeasureOutput([&outputs] { return outputs.bytesMade(); });
  if (progress.enabled()) outputs.AddWatcher(&progress);
  if (!outputs.OpenMesh(*MeshFormatOf(a.output), a.output, &error, a.attributes)) return NotDone(error);
  if (!a.svg.empty() && !outputs.OpenPreview(a.svg, &error, a.input, AnswersCaption(step, a.startPolygon))) {
    return NotDone(error);
  }
  SayStaleRemoved(outputs, a);
  if (KeepsEverySample(step) && samples) outputs.ExpectPoints(*samples);

  standin::Host host(ScriptOf(a, step, outputs.sink()));
  bool asked = false;
  host.onBox = [&](const standin::Box& box) {
    std::string notPfx = asked ? "" : input.notPfx;
    asked = asked || box.kind == "okCancel";
    if (!(a.quiet && IsAnsweredOk(box))) progress.PrintLine(BoxMessage(box, a.input, notPfx));
  };
  std::optional<int> ran = standin::RunLoadedOnce(*module, host, COMMAND_INTERFACE_VERSION, &error);
  progress.End();
  if (!ran) return NotDone(error);

  CommitDecision decision = DecideCommit(host, *ran, a.input);
  switch (decision.holdback) {
    case Holdback::None: break;
    case Holdback::Declined: return EXIT_DECLINED;  // its box said so, and that nothing is written
    case Holdback::ErrorBox: return EXIT_NOT_DONE;  // its box said why
    case Holdback::Refused:
    case Holdback::NotAFile:
    case Holdback::EditUnfinished: return NotDone(decision.reason + "; nothing written");
  }
  bool written = outputs.Finish(&error);
  SayStaleRemoved(outputs, a);
  if (!written) return NotDone(error);
  if (!a.quiet) std::cout << SummaryOf(a, host, decision) << "\n";
  return decision.cutShort ? EXIT_CUT_SHORT : 0;
}

}  // namespace dustweave
