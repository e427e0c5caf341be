// The words both previews (the SVG picture and the 3D page) put under what they draw: the input
// and how it was read, the run's counts, and the share of it shown. Plain UTF-8 text; each
// writer escapes it for its own format.
#pragma once

#include <string>
#include <string_view>

#include "previews/preview_sample.h"

namespace dustweave {

struct PreviewCaption {
  std::string source;  // "typical.pfx · step 25 % · poly at start off"; empty when unknown
  std::string endsEarly;  // "the file ends early: 3 of 5 tracks whole"; empty for a whole file
  std::string counts;  // "mirod_dustweave · 5,200 points · 5,000 polygons"
  std::string shown;   // "showing 1,000 of 5,000 segments (20.0 %)"; empty when all is shown
};

// The caption of a run from its sample's counts, its source line and its line on a file cut
// short (either may be empty).
PreviewCaption CaptionOf(const PreviewSample::Counts& counts, const std::string& source,
                         const std::string& endsEarly = "");

// "the file ends early: 3 of 5 tracks whole"
std::string EndsEarlyLine(uint64_t wholeTracks, uint64_t tracks);

// The source line: the input's name (shortened in the middle when long) and how it was read.
std::string SourceLine(const std::string& input, const std::string& settings);

// A file name for a caption: its characters, each byte that is not UTF-8 (a name in another code
// page) and each character XML cannot hold as U+FFFD, one longer than 60 characters cut in its
// middle with an ellipsis.
std::string ShortenedName(std::string_view name);

}  // namespace dustweave
