// The stand-in host's mesh as Wavefront OBJ: points as `v` lines in creation order, then the
// polygons in creation order (`p i` for one point, `l i j` for two, `f` for more), each run of
// polygons on one surface led by `usemtl SURFACE`.
#pragma once

#include <ostream>
#include <string>

#include "standin/host.h"

namespace dustweave {

void WriteObj(const standin::MeshRecord& mesh, std::ostream& out);
// false, with a one-line reason, when the file cannot be written.
bool WriteObjFile(const standin::MeshRecord& mesh, const std::string& path, std::string* error);

}  // namespace dustweave
