// dustweave run: a command module loaded by path and run once as the host runs it, its panel and
// questions answered from the options, its mesh counted, kept or streamed to OBJ and SVG; for
// trying a module and its handling of any answer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/records.h"

namespace dustweave {

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
  bool strict = false;  // files named and not written end the run with EXIT_NOT_DONE
  std::string obj, svg, html;
  bool discard = false;
};

CLI::App* AddRun(CLI::App& app, RunArgs& args);

// Runs the module and returns the activation's result as the exit status (EXIT_NOT_DONE when it
// cannot be loaded or run, or an output cannot be written, and with --strict when the files
// named were not written; EXIT_MISUSE on misuse); the summary line or the JSON report goes to
// standard output.
int Run(const RunArgs& args);

}  // namespace dustweave
