// UTF-8 as the program reads it in the names and texts it is given (file names, a surface's
// name, a file's first bytes): where each character begins and ends, and whether the bytes there
// are one at all. The one reader of UTF-8 for every room above.
#pragma once

#include <cstddef>
#include <string_view>

namespace dustweave {

// The bytes of the character that `lead` begins, 1 to 4; 0 for a byte that begins none (a
// continuation byte, or C0, C1, F5 to FF, which no valid character begins with).
size_t Utf8LeadLength(unsigned char lead);

// The length of the character that begins at `at` in `text`, 1 to 4; 0 when no valid one does:
// a stray byte, a character cut short by the end of `text`, an overlong form, a UTF-16 surrogate,
// or a code point past U+10FFFF.
size_t Utf8CharacterAt(std::string_view text, size_t at);

// How much of `text` ends on a whole character: what follows, at most three bytes, is the start
// of one that the bytes after `text` may complete.
size_t Utf8WholeLength(std::string_view text);

}  // namespace dustweave
