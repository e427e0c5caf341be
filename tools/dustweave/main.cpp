// dustweave: a stand-in host on the command line. `convert` turns a pfx file into OBJ or glTF
// through the module installed beside the program; `run` loads a command module by path and runs
// it once, answering its panel and questions from the options; `inspect` checks a pfx file
// without any module; `generate` writes a plausible one. Divisions: the options of each
// subcommand; running them; parsing and exit statuses.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "platform/atomic_file.h"
#include "platform/file_seam.h"
#include "platform/path_text.h"
#include "platform/temp_files.h"
#include "standin/host.h"
#include "standin/loader.h"
#include "tools/dustweave/answers.h"
#include "tools/dustweave/called_name.h"
#include "tools/dustweave/command_word.h"
#include "tools/dustweave/commit_decision.h"
#include "tools/dustweave/console_text.h"
#include "tools/dustweave/convert.h"
#include "tools/dustweave/exit_status.h"
#include "tools/dustweave/interrupt_line.h"
#include "tools/dustweave/mesh_outputs.h"
#include "tools/dustweave/module_path.h"
#include "tools/dustweave/progress.h"
#include "tools/dustweave/report.h"
#include "tools/dustweave/step_share.h"
#include "tools/lib/number_text.h"
#include "tools/lib/pfx_generate.h"
#include "tools/lib/pfx_inspect.h"
#include "tools/lib/version.h"

namespace {

using dustweave::EXIT_FINDINGS;
using dustweave::EXIT_MISUSE;
using dustweave::EXIT_NOT_DONE;

// ---- the options of each subcommand -----------------------------------------------------------

struct RunArgs {
  std::string module;
  std::optional<std::string> file;
  bool startPolygon = false;
  std::optional<double> step;
  int pick = 0;
  bool cancelPanel = false;
  std::optional<std::string> surfaces;
  std::string answer = "ok";
  bool declineEdit = false;
  int interfaceVersion = COMMAND_INTERFACE_VERSION;
  std::vector<std::string> without;
  bool json = false;
  std::string obj, svg;
  bool discard = false;
};

CLI::App* AddRun(CLI::App& app, RunArgs& a) {
  CLI::App* run = app.add_subcommand("run", "Load a command module and run it once, as the host does");
  run->add_option("MODULE", a.module, "the module: a path, or the name of one beside this program")->required();
  run->add_option("--file", a.file, "the \"pfx file\" answer (left out: the panel's initial \"none\")");
  run->add_flag("--start-poly", a.startPolygon, "tick \"poly at start\"");
  run->add_option("--step", a.step, "the \"step percent\" answer as a fraction, 1.0 = 100 % (nan, inf allowed)");
  run->add_option("--pick", a.pick, "the surface popup entry chosen, from 0")->capture_default_str();
  run->add_flag("--cancel-panel", a.cancelPanel, "press Cancel on the panel");
  run->add_option("--surfaces", a.surfaces, "the host's surfaces, in order: A,B,C (none when left out)");
  run->add_option("--answer", a.answer, "the answer to every OK/Cancel question")
      ->check(CLI::IsMember({"ok", "cancel"}))
      ->capture_default_str();
  run->add_flag("--decline-edit", a.declineEdit, "the mesh edit cannot be begun");
  run->add_option("--interface-version", a.interfaceVersion, "the version passed to the activation")
      ->capture_default_str();
  run->add_option("--without", a.without, "a service whose lookup yields null (repeatable), e.g. \"Info Messages 2\"")
      ->allow_extra_args(false);  // one service a time, so that MODULE may follow
  run->add_flag("--json", a.json, "print one JSON object instead of the summary line");
  CLI::Option* obj = run->add_option("--obj", a.obj, "write the mesh as Wavefront OBJ, streamed as it is made");
  CLI::Option* svg = run->add_option("--svg", a.svg, "write a picture of the chains as SVG, streamed as it is made");
  run->add_flag("--discard", a.discard, "count points and polygons without keeping them")->excludes(obj)->excludes(svg);
  run->footer(
      "A MODULE given by name alone that is not in the current folder is the one beside this program.\n"
      "Message boxes are shown on standard error as they come.\n"
      "Exit status: the activation's result (0 done, 1 wrong interface version, 2 missing service\n"
      "or surface list not built); 10 when the module cannot be loaded or run, or an output file\n"
      "cannot be written; 64 on misuse.\n\n"
      "Example:\n  " + dustweave::CalledName() + " run " + dustweave::DefaultModuleName() +
      " --file sim.pfx --step 0.25 --obj chains.obj\n");
  return run;
}

CLI::App* AddInspect(CLI::App& app, std::string& file) {
  CLI::App* inspect = app.add_subcommand("inspect", "Check a pfx file as the plug-in would read it");
  inspect->add_option("FILE", file, "the pfx file")->required();
  inspect->footer(
      "Exit status: 0 when the plug-in reads the whole file without a question; 1 when the file ends\n"
      "early or its header makes the plug-in ask; 10 when it cannot be read; 64 on misuse.\n\n"
      "Example:\n  " + dustweave::CalledName() + " inspect sim.pfx\n");
  return inspect;
}

CLI::App* AddGenerate(CLI::App& app, std::string& out, dustweave::DustSettings& s) {
  CLI::App* generate = app.add_subcommand("generate", "Write a version-3 pfx file of drifting, swirling dust");
  generate->add_option("OUT", out, "the file to write")->required();
  generate->add_option("--particles", s.particles, "number of particles (tracks)")
      ->check(CLI::Range(0, INT32_MAX))
      ->capture_default_str();
  generate->add_option("--index-limit", s.indexLimit, "the header's index limit")->capture_default_str();
  generate->add_option("--first", s.firstIndex, "every track's first index")->capture_default_str();
  generate->add_option("--last", s.lastIndex, "every track's last index")->capture_default_str();
  generate->add_option("--seed", s.seed, "the simulation's seed")->capture_default_str();
  generate->footer(
      "The same options give the same bytes.\n"
      "Exit status: 0; 10 when the file cannot be written; 64 on misuse.\n\n"
      "Example (2,000 particles of 500 samples each, about 12 MB):\n  " + dustweave::CalledName() +
      " generate sim.pfx --particles 2000 --index-limit 500 --last 499\n");
  return generate;
}

// ---- running them ---------------------------------------------------------------------------

std::vector<std::optional<std::string>> SurfaceList(const std::optional<std::string>& given) {
  std::vector<std::optional<std::string>> surfaces;
  if (!given || given->empty()) return surfaces;
  size_t start = 0;
  for (;;) {
    size_t comma = given->find(',', start);
    surfaces.emplace_back(given->substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return surfaces;
}

// Without an output file nothing of the mesh is kept: the report needs only its counts.
standin::HostScript ScriptOf(const RunArgs& a, dustweave::MeshOutputs& outputs) {
  dustweave::Answers answers;
  answers.file = a.file;
  answers.startPolygon = a.startPolygon;
  answers.step = a.step;
  answers.surfaces = SurfaceList(a.surfaces);
  answers.pick = a.pick;
  answers.ok = a.answer == "ok";
  standin::HostScript script = dustweave::ScriptOf(answers, outputs.empty() ? nullptr : outputs.sink());
  script.withoutServices.insert(a.without.begin(), a.without.end());
  script.cancelPanel = a.cancelPanel;
  script.declineEdit = a.declineEdit;
  script.discardMesh = a.discard || outputs.empty();
  return script;
}

int Failed(int status, const std::string& reason, const char* command) {
  std::cerr << "dustweave: " << reason;
  if (status == EXIT_MISUSE) {
    std::cerr << " (see " << dustweave::CalledName() << (*command != '\0' ? " " : "") << command << " --help)";
  }
  std::cerr << "\n";
  return status;
}

void SayStaleRemoved(const RunArgs& a, dustweave::MeshOutputs& outputs) {
  if (size_t removed = outputs.TakeStaleRemoved()) {
    std::cerr << "dustweave: " << dustweave::StaleRemovedLine(removed, a.obj.empty() ? a.svg : a.obj) << "\n";
  }
}

// The outputs' names checked, then the files opened beside them: 0, or the exit status.
int OpenOutputs(const RunArgs& a, dustweave::MeshOutputs& outputs) {
  std::vector<dustweave::OutputName> names;
  if (!a.obj.empty()) names.push_back({a.obj, "--obj", {".obj"}});
  if (!a.svg.empty()) names.push_back({a.svg, "--svg", {".svg"}});
  dustweave::NameCheck check = dustweave::CheckOutputNames(a.file.value_or(""), names);
  if (check.status != 0) return Failed(check.status, check.reason, "run");
  std::string error;
  bool ok = (a.obj.empty() || outputs.OpenMesh(dustweave::MeshFormat::Obj, a.obj, &error)) &&
            (a.svg.empty() || outputs.OpenPreview(a.svg, &error, a.file.value_or("none"),
                                                  dustweave::AnswersCaption(a.step, a.startPolygon)));
  if (!ok) return Failed(EXIT_NOT_DONE, error, "run");
  SayStaleRemoved(a, outputs);
  return 0;
}

int Run(const RunArgs& a) {
  dustweave::MeshOutputs outputs;
  if (int status = OpenOutputs(a, outputs)) return status;
  standin::Host host(ScriptOf(a, outputs));
  host.onBox = [](const standin::Box& box) {
    std::cerr << (box.kind == "host" ? "dustweave: " + box.text : dustweave::BoxLine(box)) << std::endl;
  };
  std::string error;
  std::string module = dustweave::ModuleNamed(a.module);
  if (dustweave::FileNameStart(module) == 0 && !dustweave::IsRegularFile(module)) {
    return Failed(EXIT_NOT_DONE, "cannot load module " + module + ": there is no such file here or beside this program",
                  "");
  }
  std::optional<int> result = standin::RunCommandOnce(module, host, a.interfaceVersion, &error);
  if (!result) {
    std::cerr << "dustweave: " << error << "\n";
    return EXIT_NOT_DONE;
  }
  if (host.mesh.pointLimitReached) return EXIT_NOT_DONE;  // the host's line said why; nothing written
  // The files are written only when the run did what they stand for; the status stays its result.
  dustweave::CommitDecision decision = dustweave::DecideCommit(host, *result, a.file.value_or(""));
  std::string nothingWritten = outputs.empty() || decision.commit() ? "" : decision.reason;
  if (!outputs.empty() && decision.commit()) {
    bool written = outputs.Finish(&error);
    SayStaleRemoved(a, outputs);
    if (!written) {
      std::cerr << "dustweave: " << error << "\n";
      return EXIT_NOT_DONE;
    }
  }
  std::cout << (a.json ? dustweave::JsonReport(host, *result, nothingWritten)
                       : dustweave::SummaryLine(host, *result, nothingWritten))
            << "\n";
  return *result;
}

int Inspect(const std::string& file) {
  dustweave::PfxInspection inspection;
  std::string error;
  if (!dustweave::InspectPfx(file, &inspection, &error)) {
    std::cerr << "dustweave: " << error << "\n";
    return EXIT_NOT_DONE;
  }
  std::cout << dustweave::DescribeInspection(file, inspection);
  return dustweave::ReadsCleanly(inspection) ? 0 : EXIT_FINDINGS;
}

// Removes what killed runs left beside `out`, and says so.
void SweepBeside(const std::string& out) {
  if (size_t stale = dustweave::RemoveStaleTemporaries(out)) {
    std::cerr << "dustweave: " << dustweave::StaleRemovedLine(stale, out) << "\n";
  }
}

int Generate(const std::string& out, const dustweave::DustSettings& settings) {
  dustweave::NameCheck check = dustweave::CheckOutputNames("", {{out, "OUT", {}}});
  if (check.status != 0) return Failed(check.status, check.reason, "generate");
  SweepBeside(out);
  dustweave::GeneratedFile written;
  std::string error;
  if (!dustweave::GenerateDustFile(settings, out, &written, &error)) {
    std::cerr << "dustweave: " << error << "\n";
    return EXIT_NOT_DONE;
  }
  SweepBeside(out);  // a name that held no file before does now
  using dustweave::Counted;
  std::cout << "wrote " << out << ": " << Counted(static_cast<uint64_t>(settings.particles), "particle", "particles")
            << ", " << Counted(written.samples, "sample", "samples") << ", " << Counted(written.bytes, "byte", "bytes")
            << "\n";
  return 0;
}

// ---- parsing and exit statuses ----------------------------------------------------------------

// A path named on the command line, and whether it is written (with a temporary file beside it).
struct GivenPath {
  const std::string& path;
  bool output;
};

// The first of `paths` too long for this system's file functions, as a line; empty when none is.
std::string LengthRefusal(std::initializer_list<GivenPath> paths) {
  for (const GivenPath& given : paths) {
    if (given.path.empty()) continue;
    std::string reason = dustweave::PathLengthRefusal(given.path, given.output ? dustweave::TEMPORARY_NAME_ROOM : 0);
    if (!reason.empty()) return given.output ? dustweave::CannotWrite(given.path, reason) : "cannot open " + given.path + ": " + reason;
  }
  return "";
}

// Each file the command made and could not remove, on a line of its own.
void SayLeftBehind() {
  for (const std::string& line : dustweave::LeftBehindLines()) std::cerr << "dustweave: " << line << "\n";
}

// A write that fails (a full disk) ends the command at once: nothing more can be written, and
// nothing of it is left.
void EndOnWriteFailure(const std::string& reason) {
  std::cerr << "dustweave: " << reason << "\n";
  dustweave::RemoveRegisteredTemporaries();
  SayLeftBehind();
  std::cerr.flush();
  std::_Exit(EXIT_NOT_DONE);
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

const std::vector<std::string> COMMANDS = {"convert", "run", "inspect", "generate"};

// A command line without a command, or with a word that names none: the misuse line, which
// points to --help unless it names the command meant; an empty line when the command is fine.
struct CommandCheck {
  std::string line;
  bool pointToHelp = true;
};

// The program's own options that take a value (the test seams), as they are spelled.
std::vector<std::string> ValuedOptions(const CLI::App& app) {
  std::vector<std::string> valued;
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_items_expected_min() <= 0) continue;
    for (const std::string& name : option->get_lnames()) valued.push_back("--" + name);
  }
  return valued;
}

CommandCheck CheckCommand(const CLI::App& app, int argc, char** argv) {
  bool asksHelp = false;
  std::string word = dustweave::CommandWord(argc, argv, ValuedOptions(app), &asksHelp);
  if (word.empty()) return {asksHelp ? "" : "no command given: convert, run, inspect or generate"};
  if (std::find(COMMANDS.begin(), COMMANDS.end(), word) != COMMANDS.end()) return {};
  std::string meant = dustweave::Suggestion(word, COMMANDS);
  if (!meant.empty()) return {"unknown command '" + word + "' (did you mean " + meant + "?)", false};
  return {"unknown command '" + word + "': the commands are convert, run, inspect and generate"};
}

// The end of --help: the commands at work, by example.
std::string Examples() {
  const std::string& me = dustweave::CalledName();
  return "Examples: a small simulation to try things on, what it holds, and its chains as glTF\n"
         "with a quarter of the samples and a preview picture:\n"
         "  " + me + " generate sim.pfx\n"
         "  " + me + " inspect sim.pfx\n"
         "  " + me + " convert sim.pfx chains.glb --step 25% --svg chains.svg\n";
}

}  // namespace

int main(int argc, char** argv) {
  dustweave::ConsoleText console;  // names on a Windows console as they were typed
  dustweave::SetCalledName(argc > 0 ? argv[0] : nullptr);
  CLI::App app{"dustweave: converts pfx files to OBJ or glTF through the mirod_dustweave command module, "
               "runs the module outside the host, and checks or makes pfx files",
               dustweave::CalledName()};
  app.footer(Examples());
  app.require_subcommand(1);
  app.allow_windows_style_options(false);  // on Windows too: /path/to/file is a path, not an option
  app.set_version_flag("--version", "dustweave " DUSTWEAVE_VERSION);
  dustweave::RemoveTemporariesOnInterrupt();  // Ctrl-C leaves no temporary file beside an output
  dustweave::SetWriteFailureHandler(EndOnWriteFailure);
  dustweave::ConvertArgs convertArgs;
  RunArgs runArgs;
  std::string inspectFile, generateOut;
  dustweave::DustSettings settings;
  CLI::App* convert = dustweave::AddConvert(app, convertArgs);
  CLI::App* run = AddRun(app, runArgs);
  CLI::App* inspect = AddInspect(app, inspectFile);
  CLI::App* generate = AddGenerate(app, generateOut, settings);
  uint64_t pointIdsTaken = 0;  // a test seam: the stand-in host's point IDs start after these
  app.add_option("--test-point-ids-taken", pointIdsTaken)->group("");
  bool progressAtEveryLook = false;  // a test seam: the progress line drawn at every look
  app.add_flag("--test-progress-at-every-look", progressAtEveryLook)->group("");
  std::string fileFaults;  // a test seam: the file operations broken (see platform/file_seam.h)
  app.add_option("--test-file-faults", fileFaults)->group("");
  if (CommandCheck check = CheckCommand(app, argc, argv); !check.line.empty()) {
    if (check.pointToHelp) return Failed(EXIT_MISUSE, check.line, "");
    std::cerr << "dustweave: " << check.line << "\n";
    return EXIT_MISUSE;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string help = dustweave::CalledName();
    for (CLI::App* sub : {convert, run, inspect, generate}) {
      if (sub->parsed()) help += " " + sub->get_name();
    }
    std::cerr << "dustweave: " << OneLine(e.what()) << " (see " << help << " --help)\n";
    return EXIT_MISUSE;
  }
  standin::SetDefaultPointIdsTaken(pointIdsTaken);
  if (progressAtEveryLook) dustweave::DrawProgressAtEveryLook();
  if (!fileFaults.empty()) {
    dustweave::FileFaultPlan plan;
    std::string error;
    if (!dustweave::ParseFileFaultPlan(fileFaults, &plan, &error)) return Failed(EXIT_MISUSE, error, "");
    if (!dustweave::StartFileFaultPlan(plan, &error)) return Failed(EXIT_NOT_DONE, error, "");
  }
  const RunArgs& r = runArgs;
  const dustweave::ConvertArgs& c = convertArgs;
  std::string tooLong = convert->parsed()  ? LengthRefusal({{c.input, false}, {c.output, true}, {c.svg, true}, {c.module, false}})
                        : run->parsed()     ? LengthRefusal({{r.module, false}, {r.obj, true}, {r.svg, true}})
                        : inspect->parsed() ? LengthRefusal({{inspectFile, false}})
                                            : LengthRefusal({{generateOut, true}});
  if (!tooLong.empty()) return Failed(EXIT_NOT_DONE, tooLong, "");
  if (convert->parsed()) dustweave::PrintLineOnInterrupt({c.output, c.svg});
  if (run->parsed() && !(r.obj.empty() && r.svg.empty())) dustweave::PrintLineOnInterrupt({r.obj, r.svg});
  if (generate->parsed()) dustweave::PrintLineOnInterrupt({generateOut});
  int status = convert->parsed()    ? dustweave::Convert(convertArgs)
               : run->parsed()      ? Run(runArgs)
               : inspect->parsed()  ? Inspect(inspectFile)
               : generate->parsed() ? Generate(generateOut, settings)
                                    : EXIT_MISUSE;
  SayLeftBehind();
  return status;
}
