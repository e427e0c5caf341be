// dustweave run. Divisions: the options; the plan; the run and its report.
#include "commands/run.h"

#include <iostream>
#include <string>

#include "commands/called_name.h"
#include "commands/commit_decision.h"
#include "commands/exit_status.h"
#include "commands/interrupt_line.h"
#include "commands/mesh_outputs.h"
#include "commands/module_path.h"
#include "commands/plan.h"
#include "commands/report.h"
#include "commands/step_share.h"
#include "platform/path_queries.h"

namespace dustweave {

// ---- the options -------------------------------------------------------------------------------

CLI::App* AddRun(CLI::App& app, RunArgs& a) {
  CLI::App* run = app.add_subcommand("run", "Load a command module and run it once, as the host does");
  run->add_option("MODULE", a.module, "the module: a path, or the name of one beside this program")
      ->required()
      ->type_name("");
  run->add_option("--file", a.file, "the \"pfx file\" answer (left out: the panel's initial \"none\")")->type_name("FILE");
  run->add_flag("--start-poly", a.startPolygon, "tick \"poly at start\"");
  run->add_option("--step", a.step, "the \"step percent\" answer as a fraction (1.0 = 100 %; nan, inf allowed) or a percent (25%)")
      ->type_name("SHARE")
      ->transform(CLI::Validator(RunStepNumber, ""));
  run->add_option("--pick", a.pick, "the surface popup entry chosen, from 0 (" + std::to_string(a.pick) + " when left out)")
      ->type_name("N");
  run->add_flag("--cancel-panel", a.cancelPanel, "press Cancel on the panel");
  run->add_option("--surfaces", a.surfaces, "the host's surfaces, in order: A,B,C (none when left out)")->type_name("A,B,C");
  run->add_option("--answer", a.answer, "the answer to every OK/Cancel question (" + a.answer + " when left out)")
      ->type_name("ok|cancel")
      ->check(CLI::IsMember({"ok", "cancel"}).description(""));
  run->add_flag("--decline-edit", a.declineEdit, "the mesh edit cannot be begun");
  run->add_option("--interface-version", a.interfaceVersion,
                  "the version passed to the activation (" + std::to_string(a.interfaceVersion) + " when left out)")
      ->type_name("N");
  run->add_option("--without", a.without, "a service whose lookup yields null (repeatable), e.g. \"Info Messages 2\"")
      ->type_name("SERVICE")
      ->allow_extra_args(false);  // one service a time, so that MODULE may follow
  run->add_flag("--json", a.json, "print one JSON object instead of the summary line");
  run->add_flag("--strict", a.strict,
                "exit 10 when the files named were not written (the summary line and the\n"
                "report's \"nothingWritten\" say why); without it the status is the activation's");
  CLI::Option* obj = run->add_option("--obj", a.obj, "write the mesh as Wavefront OBJ, streamed as it is made")->type_name("FILE.obj");
  CLI::Option* svg = run->add_option("--svg", a.svg, "write a picture of the chains as SVG, streamed as it is made")
                         ->type_name("FILE.svg");
  CLI::Option* html = run->add_option("--html", a.html, "write a 3D preview page of the chains (.html)")->type_name("FILE.html");
  run->add_flag("--discard", a.discard, "count points and polygons without keeping them")
      ->excludes(obj)->excludes(svg)->excludes(html);
  run->footer(
      "A MODULE given by name alone that is not in the current folder is the one beside this program.\n"
      "Message boxes are shown on standard error as they come.\n"
      "Exit status: the activation's result (0 done, 1 wrong interface version, 2 missing service\n"
      "or surface list not built), also when the files named were not written (\"nothing written\"),\n"
      "unless --strict; 10 when the module cannot be loaded or run, or an output file cannot be\n"
      "written; 64 on misuse.\n\n"
      "Example:\n  " + CalledName() + " run " + DefaultModuleName() + " --file sim.pfx --step 0.25 --obj chains.obj\n");
  return run;
}

namespace {

// ---- the plan ----------------------------------------------------------------------------------

std::vector<OutputName> OutputNames(const RunArgs& a) {
  std::vector<OutputName> names;
  if (!a.obj.empty()) names.push_back({a.obj, "--obj", {OutputFormat::Obj}});
  if (!a.svg.empty()) names.push_back({a.svg, "--svg", {OutputFormat::Svg}});
  if (!a.html.empty()) names.push_back({a.html, "--html", {OutputFormat::Html}});
  return names;
}

// "A,B,C" as the host's surfaces, in order.
std::vector<std::optional<std::string>> SurfaceList(const std::optional<std::string>& given) {
  std::vector<std::optional<std::string>> surfaces;
  if (!given || given->empty()) return surfaces;
  for (size_t start = 0;;) {
    size_t comma = given->find(',', start);
    surfaces.emplace_back(given->substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return surfaces;
}

// How the host and its user answer, as the options say. Without an output file nothing of the
// mesh is kept: the report needs only its counts.
standin::HostScript AnswersOf(const RunArgs& a, bool writesFiles) {
  standin::HostScript script;
  script.file = a.file;
  script.startPolygon = a.startPolygon;
  script.step = a.step;
  script.surfaces = SurfaceList(a.surfaces);
  script.pick = a.pick;
  script.answerOk = a.answer == "ok";
  script.withoutServices.insert(a.without.begin(), a.without.end());
  script.cancelPanel = a.cancelPanel;
  script.declineEdit = a.declineEdit;
  script.discardMesh = a.discard || !writesFiles;
  return script;
}

// The outputs' names, then the module: a name alone is looked for here, then beside the program.
Verdict PlanRun(const RunArgs& a, CommandPlan* plan) {
  Verdict refusal = CheckPathLengths({{a.module, false}, {a.obj, true}, {a.svg, true}, {a.html, true}});
  if (refusal || (refusal = PlanOutputs(a.file.value_or(""), OutputNames(a), plan))) {
    return refusal;
  }
  if (a.file && (refusal = RefuseDevice(*a.file))) return refusal;
  std::string module = ModuleNamed(a.module);
  if (FileNameStart(module) == 0 && !IsRegularFile(module)) {
    return Refusal{EXIT_NOT_DONE, "cannot load module " + module + ": there is no such file here or beside this program"};
  }
  if ((refusal = PlanModule(module, plan))) return refusal;
  plan->input = a.file.value_or("");
  plan->captionInput = a.file.value_or("none");
  plan->captionSettings = AnswersCaption(a.step, a.startPolygon);
  plan->script = AnswersOf(a, !plan->outputs.empty());
  return {};
}

// ---- the run and its report --------------------------------------------------------------------

void SayStaleRemoved(MeshOutputs& outputs) {
  for (const std::string& line : outputs.TakeSweepLines()) Say(line);
}

// The outputs are written only when the run did what they stand for: "" when they were (or there
// are none), else why not. EXIT_NOT_DONE, said, when they cannot be written.
int CommitIfDone(const CommandPlan& plan, const standin::Host& host, int result, MeshOutputs& outputs,
                 std::string* nothingWritten) {
  if (outputs.empty()) return 0;
  CommitDecision decision = DecideCommit(host, result, plan.input);
  if (!decision.commit()) {
    *nothingWritten = decision.reason;
    return 0;
  }
  std::string error;
  if (decision.cutShort) outputs.NoteEndsEarly(plan.input);
  return outputs.Finish(&error) ? 0 : NotDone(error);
}

}  // namespace

int Run(const RunArgs& a) {
  CommandPlan plan;
  if (Verdict refusal = PlanRun(a, &plan)) return Refuse(*refusal, "run");
  MeshOutputs outputs;
  std::string error;
  if (!plan.outputs.empty()) {
    PrepareInterruptLine(PathsOf(plan.outputs));
    if (!outputs.Open(plan, &error)) return NotDone(error);
    SayStaleRemoved(outputs);
    plan.script.sink = outputs.sink();
  }
  standin::Host host(plan.script);
  host.onBox = [](const standin::Box& box) {
    std::cerr << (box.kind == "host" ? "dustweave: " + box.text : BoxLine(box)) << std::endl;
  };
  std::optional<int> result = standin::RunLoadedOnce(*plan.module, host, a.interfaceVersion, &error);
  if (!result) return NotDone(error);
  if (host.mesh.pointLimitReached) return EXIT_NOT_DONE;  // the host's line said why; nothing written
  std::string nothingWritten;
  if (int status = CommitIfDone(plan, host, *result, outputs, &nothingWritten)) return status;
  std::cout << (a.json ? JsonReport(host, *result, nothingWritten) : SummaryLine(host, *result, nothingWritten)) << "\n";
  if (a.strict && !nothingWritten.empty()) return EXIT_NOT_DONE;  // what a script asked to be told
  return *result;  // the status stays the activation's result
}

}  // namespace dustweave
