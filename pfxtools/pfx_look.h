// A first look at a file given as a pfx file, from its first bytes and its size: whether its
// header could be a pfx file's at all, and how its beginning reads to a person, so that a text or
// a picture renamed .pfx is named for what it is rather than as a pfx file of a strange version.
#pragma once

#include <cstdint>
#include <string>

namespace dustweave {

// How many of the file's first bytes the look needs.
inline constexpr size_t PFX_LOOK_BYTES = 64;

// Empty when `start` (the file's first bytes) and `size` could be a pfx file's header, cut short
// or not; else why not, as a clause to follow the file's name: "does not look like a pfx file
// (it begins with the text "<html>")". A header cannot be a pfx file's when its version is not a
// small positive number, or when its particle count needs more track heads than the file has
// bytes for.
std::string NotPfxReason(const std::string& start, uint64_t size);

// How the bytes read to a person: `the text "..."` (a line of it, shortened) when they are
// text, else `the bytes 89 50 4e 47 ...`.
std::string BeginningOf(const std::string& start);

}  // namespace dustweave
