// The number of samples a pfx file holds, counted from its header and track heads alone, skipping
// over the samples: what a converter needs to know before a run to lay out its output, at the
// cost of one small read per track.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dustweave {

// The samples the plug-in reads from the whole file, which is also the points it makes when every
// sample is kept. Nullopt when the count is not known so cheaply: a file that cannot be read, is
// cut short, or has a track whose walk jumps past the index limit; and on systems without
// positioned reads (Windows), where nothing is read.
std::optional<uint64_t> CountSamplesFromHeads(const std::string& path);

}  // namespace dustweave
