// The number of samples a pfx file holds, told from its header and its size alone: what a
// converter needs before a run to lay out its output, at the cost of reading 12 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dustweave {

// The samples a whole pfx file of this size and particle count holds: every byte past the header
// and the track heads is a sample. Exact for a file that is whole and has nothing after its last
// track, which is also the number of points the plug-in makes when it keeps every sample; only a
// guess otherwise (a file cut short, bytes after the last track), so its users must cope with a
// wrong one. Nullopt when the file cannot be read or is too short for its particle count.
std::optional<uint64_t> SamplesBySize(const std::string& path);

}  // namespace dustweave
