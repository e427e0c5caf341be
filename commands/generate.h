// dustweave generate: a plausible version-3 pfx file of drifting, swirling dust, the same bytes
// for the same options, written whole or not at all, and over an existing file only when told.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "pfxtools/pfx_generate.h"

namespace dustweave {

struct GenerateArgs {
  std::string out;
  bool force = false;  // an existing file at `out` may be replaced
  DustSettings settings;
};

CLI::App* AddGenerate(CLI::App& app, GenerateArgs& args);

// Writes the file and says what it holds: 0, or EXIT_NOT_DONE when it cannot be written.
int Generate(const GenerateArgs& args);

}  // namespace dustweave
