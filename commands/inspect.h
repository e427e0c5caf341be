// dustweave inspect: a pfx file read as the plug-in would read it, without any module, and told
// one fact a line, so that a file can be checked before a long import.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "pfxtools/pfx_inspect.h"

namespace dustweave {

CLI::App* AddInspect(CLI::App& app, std::string& file);

// The report: 0 when the plug-in reads the whole file without a question, EXIT_FINDINGS when it
// ends early or its header makes the plug-in ask, EXIT_NOT_DONE when it cannot be read.
int Inspect(const std::string& file);

// The report's text, one fact a line.
std::string DescribeInspection(const std::string& path, const PfxInspection& inspection);

// What an animated layer (convert --animate) of a few step shares would hold: its frames and
// particle points, then for each share its trail points and the bytes of its values.
class PfxFrameIndex;
std::string DescribeAnimated(const PfxFrameIndex& index);

}  // namespace dustweave
