// A picture of the stand-in host's mesh as SVG: a fixed oblique view fitted to the bounding box,
// one stroke per two-point polygon coloured from the start of its chain to the end, a dot per
// one-point polygon, the bounding box drawn faintly behind, and a caption with the counts.
#pragma once

#include <ostream>
#include <string>

#include "standin/host.h"

namespace dustweave {

void WriteSvg(const standin::MeshRecord& mesh, std::ostream& out);
// false, with a one-line reason, when the file cannot be written.
bool WriteSvgFile(const standin::MeshRecord& mesh, const std::string& path, std::string* error);

}  // namespace dustweave
