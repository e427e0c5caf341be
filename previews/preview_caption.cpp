// The previews' caption text. Divisions: names as characters; the lines.
#include "previews/preview_caption.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/utf8.h"
#include "writers/number_text.h"

namespace dustweave {

// ---- names as characters ------------------------------------------------------------------

namespace {

constexpr size_t NAME_CHARACTERS_SHOWN = 60;  // a longer name keeps its start and its end

// Whether XML can hold `character`, one whole UTF-8 character: no control but the tab, neither
// U+FFFE nor U+FFFF (UTF-16 surrogates are no UTF-8 character at all).
bool XmlHolds(std::string_view character) {
  if (character.size() == 1) return static_cast<unsigned char>(character[0]) >= 0x20 || character[0] == '\t';
  return !(character.size() == 3 && character.compare(0, 2, "\xEF\xBF") == 0 &&
           (static_cast<unsigned char>(character[2]) & 0xFE) == 0xBE);
}

// `text` as characters, each byte that is not UTF-8 (a name in another code page) and each
// character XML cannot hold as U+FFFD.
std::vector<std::string> CharactersOf(std::string_view text) {
  std::vector<std::string> characters;
  for (size_t at = 0; at < text.size();) {
    size_t length = Utf8CharacterAt(text, at);
    std::string_view character = text.substr(at, std::max<size_t>(length, 1));
    characters.push_back(length > 0 && XmlHolds(character) ? std::string(character) : "\xEF\xBF\xBD");
    at += character.size();
  }
  return characters;
}

}  // namespace

// "a-very-long-na…-simulation.pfx": the name as characters, a long one cut in its middle.
std::string ShortenedName(std::string_view name) {
  std::vector<std::string> characters = CharactersOf(name);
  size_t keep = (NAME_CHARACTERS_SHOWN - 1) / 2;
  std::string shown;
  for (size_t i = 0; i < characters.size(); ++i) {
    if (characters.size() > NAME_CHARACTERS_SHOWN && i >= keep && i < characters.size() - keep) {
      if (i == keep) shown += "\xE2\x80\xA6";
      continue;
    }
    shown += characters[i];
  }
  return shown;
}

// ---- the lines ----------------------------------------------------------------------------

namespace {

// The share shown, never rounded up to all or down to none.
std::string Share(uint64_t shown, uint64_t total) {
  double percent = total == 0 ? 100 : 100.0 * static_cast<double>(shown) / static_cast<double>(total);
  if (shown < total) percent = std::min(percent, 99.9);
  if (percent < 0.1) return "< 0.1 %";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f %%", percent);
  return text;
}

std::string ShownLine(const PreviewSample::Counts& n) {
  if (n.segmentsKept == n.segments && n.dotsKept == n.dots) return "";
  std::string shown = "showing ";
  if (n.segments > 0) {
    shown += GroupedDigits(n.segmentsKept) + " of " + Counted(n.segments, "segment", "segments") + " (" +
             Share(n.segmentsKept, n.segments) + ")";
  }
  if (n.segments > 0 && n.dotsKept < n.dots) shown += " and ";
  if (n.dotsKept < n.dots) shown += GroupedDigits(n.dotsKept) + " of " + Counted(n.dots, "dot", "dots");
  if (n.segments == 0) shown += " (" + Share(n.dotsKept, n.dots) + ")";
  return shown;
}

}  // namespace

std::string SourceLine(const std::string& input, const std::string& settings) {
  return ShortenedName(input) + " \xC2\xB7 " + settings;
}

std::string EndsEarlyLine(uint64_t wholeTracks, uint64_t tracks) {
  return "the file ends early: " + GroupedDigits(wholeTracks) + " of " + Counted(tracks, "track", "tracks") + " whole";
}

PreviewCaption CaptionOf(const PreviewSample::Counts& n, const std::string& source, const std::string& endsEarly) {
  return {source, endsEarly,
          "mirod_dustweave \xC2\xB7 " + Counted(n.points, "point", "points") + " \xC2\xB7 " +
              Counted(n.polygons, "polygon", "polygons"),
          ShownLine(n)};
}

}  // namespace dustweave
