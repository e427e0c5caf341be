// dustweave generate. Divisions: the options; the run.
#include "commands/generate.h"

#include <iostream>
#include <string>

#include "commands/called_name.h"
#include "commands/exit_status.h"
#include "commands/interrupt_line.h"
#include "commands/mesh_outputs.h"
#include "commands/plan.h"
#include "platform/path_queries.h"
#include "writers/number_text.h"

namespace dustweave {

// ---- the options -------------------------------------------------------------------------------

CLI::App* AddGenerate(CLI::App& app, GenerateArgs& a) {
  CLI::App* generate = app.add_subcommand("generate", "Write a version-3 pfx file of drifting, swirling dust");
  const auto byDefault = [](auto value) { return " (" + std::to_string(value) + " when left out)"; };
  generate->add_option("OUT", a.out, "the file to write (.pfx)")->required()->type_name("");
  generate->add_option("--particles", a.settings.particles,
                       "number of particles (tracks), 1 or more" + byDefault(a.settings.particles))
      ->type_name("N")
      ->check(CLI::Range(1, INT32_MAX).description(""));
  generate->add_option("--index-limit", a.settings.indexLimit,
                       "the header's index limit: a track's sample counter past it jumps back to its resume index" +
                           byDefault(a.settings.indexLimit))
      ->type_name("N");
  generate->add_option("--first", a.settings.firstIndex, "every track's first index" + byDefault(a.settings.firstIndex))
      ->type_name("INDEX");
  generate->add_option("--last", a.settings.lastIndex, "every track's last index" + byDefault(a.settings.lastIndex))
      ->type_name("INDEX");
  generate->add_option("--seed", a.settings.seed, "the simulation's seed" + byDefault(a.settings.seed))->type_name("N");
  generate->add_flag("--force", a.force, "replace OUT when it exists (a recording is lost)");
  generate->footer(
      "The same options give the same bytes.\n"
      "Exit status: 0; 10 when the file cannot be written, or exists and --force is not given; 64 on misuse.\n\n"
      "Example (2,000 particles of 500 samples each, about 12 MB):\n  " + CalledName() +
      " generate sim.pfx --particles 2000 --index-limit 500 --last 499\n");
  return generate;
}

// ---- the run -----------------------------------------------------------------------------------

namespace {

// One wrong word (generate for inspect) must not cost a recording: refused here before any work,
// and, for a recording made while generate runs, at the commit, which then keeps it.
Verdict RefuseToReplace(const std::string& out) {
  if (!IsRegularFile(out)) return {};
  return Refusal{EXIT_NOT_DONE, out + " exists; generate replaces a file only when given --force"};
}

}  // namespace

int Generate(const GenerateArgs& a) {
  CommandPlan plan;
  Verdict refusal = CheckPathLengths({{a.out, true}});
  if (!refusal) refusal = PlanOutputs("", {{a.out, "OUT", {OutputFormat::Pfx}}}, &plan);
  if (!refusal && !a.force) refusal = RefuseToReplace(a.out);
  if (refusal) return Refuse(*refusal, "generate");
  PrepareInterruptLine({a.out});
  for (const std::string& line : SweepBeside(a.out, {a.out})) Say(line);
  GeneratedFile written;
  std::string error;
  if (!GenerateDustFile(a.settings, a.out, &written, &error, a.force)) return NotDone(error);
  std::cout << "wrote " << a.out << ": " << Counted(static_cast<uint64_t>(a.settings.particles), "particle", "particles")
            << ", " << Counted(written.samples, "sample", "samples") << ", " << Counted(written.bytes, "byte", "bytes")
            << "\n";
  return 0;
}

}  // namespace dustweave
