// `dustweave generate`: a plausible version-3 pfx file, a dust devil drifting with the wind.
// Every particle is lifted from a disc on the ground and spirals up a widening funnel with a
// little turbulence. The file is streamed, and the same settings give the same bytes everywhere.
#pragma once

#include <cstdint>
#include <string>

namespace dustweave {

struct DustSettings {
  int32_t particles = 200;  // 1 or more: a pfx file holds at least one
  int32_t indexLimit = 100;
  int32_t firstIndex = 0;
  int32_t lastIndex = 100;
  uint64_t seed = 1;
};

struct GeneratedFile {
  uint64_t bytes = 0;
  uint64_t samples = 0;
};

// false, with a one-line reason, when the file cannot be written. Unless `replace`, a file under
// `path` when the new one is to be put in place stays, and that is a failure too.
bool GenerateDustFile(const DustSettings& settings, const std::string& path, GeneratedFile* written,
                      std::string* error, bool replace = true);

}  // namespace dustweave
