// The first look at a pfx file: the header's plausibility from its version and particle count,
// and the file's beginning as text or as bytes.
#include "pfxtools/pfx_look.h"

#include <cstdio>

#include "pfx/format.h"
#include "platform/utf8.h"

namespace dustweave {

namespace {

constexpr int32_t LARGEST_PLAUSIBLE_VERSION = 255;
constexpr size_t TEXT_CHARACTERS_SHOWN = 24;
constexpr size_t BYTES_SHOWN = 8;

// Whether the character at `at` is one a person reads: printable ASCII, a tab or a line break,
// or any other whole UTF-8 character.
bool IsReadable(const std::string& text, size_t at) {
  unsigned char c = static_cast<unsigned char>(text[at]);
  if (c < 0x80) return (c >= 0x20 && c < 0x7f) || c == '\t' || c == '\n' || c == '\r';
  return Utf8CharacterAt(text, at) > 0;
}

// Where the character at `at` ends: one cut by the end of `text` counts as whole, since the look
// takes only the file's start.
size_t CharacterEnd(const std::string& text, size_t at) {
  size_t length = Utf8CharacterAt(text, at);
  return length > 0 ? at + length : text.size();
}

// Text: readable characters, the last one perhaps cut short by the end of what was read.
bool IsText(const std::string& bytes) {
  size_t whole = Utf8WholeLength(bytes);
  for (size_t at = 0; at < whole; at = CharacterEnd(bytes, at)) {
    if (!IsReadable(bytes, at)) return false;
  }
  return true;
}

// The first line that is not blank, cut after TEXT_CHARACTERS_SHOWN characters.
std::string FirstLine(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return "";
  size_t end = text.find_first_of("\r\n", start);
  bool cut = end == std::string::npos;  // the line goes on past what was read
  std::string line = text.substr(start, cut ? std::string::npos : end - start);
  size_t at = 0, characters = 0;
  while (at < line.size() && characters < TEXT_CHARACTERS_SHOWN) {
    at = CharacterEnd(line, at);
    ++characters;
  }
  if (at < line.size()) {
    line.resize(at);
    cut = true;
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return cut ? line + "..." : line;
}

std::string HexBytes(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < BYTES_SHOWN; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i > 0) text += ' ';
    text += hex;
  }
  return bytes.size() > BYTES_SHOWN ? text + " ..." : text;
}

int32_t WordAt(const std::string& start, size_t at) {
  return static_cast<int32_t>(PfxWordAt(reinterpret_cast<const unsigned char*>(start.data() + at)));
}

}  // namespace

std::string BeginningOf(const std::string& start) {
  std::string bom = "\xEF\xBB\xBF";
  std::string text = start.compare(0, bom.size(), bom) == 0 ? start.substr(bom.size()) : start;
  std::string line = IsText(text) ? FirstLine(text) : "";
  if (!line.empty()) return "the text \"" + line + "\"";
  return "the bytes " + HexBytes(start);
}

std::string NotPfxReason(const std::string& start, uint64_t size) {
  bool plausible = true;
  if (start.size() >= 4) {
    int32_t version = WordAt(start, 0);
    plausible = version >= 1 && version <= LARGEST_PLAUSIBLE_VERSION;
  }
  if (plausible && start.size() >= 8) {
    int64_t particles = WordAt(start, 4);
    plausible = particles < 1 || PFX_HEADER_SIZE + PFX_TRACK_HEAD_SIZE * static_cast<uint64_t>(particles) <= size;
  }
  if (plausible) return "";
  return "does not look like a pfx file (it begins with " + BeginningOf(start) + ")";
}

}  // namespace dustweave
