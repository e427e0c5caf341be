// The 3D preview page of a run, drawn from its preview sample (preview_sample.h) once the run has
// ended: the page's own text around the sample's chains as point runs, their places along their
// chains, their start dots, the box and the same caption as the SVG picture. One file that opens
// from disk in a browser with no network; written in blocks, committed whole or not at all.
#pragma once

#include <cstdint>
#include <string>

#include "platform/atomic_file.h"
#include "writers/preview_sample.h"

namespace dustweave {

class HtmlPreview {
 public:
  // Creates the page's temporary file beside `path`; false, with a one-line reason.
  bool Open(const std::string& path, std::string* error);
  // The caption's line of input and answers, as SvgPreview::SetSource. Left unset, no such line.
  void SetSource(const std::string& input, const std::string& settings);
  // Writes the page for the finished sample, ready to be committed; false, with a one-line
  // reason, and nothing left behind. A page destroyed before its commit leaves nothing either.
  bool Complete(const PreviewSample& sample, std::string* error);
  AtomicFile& file() { return file_; }
  // Complete, then commit the page under its name.
  bool Finish(const PreviewSample& sample, std::string* error);

 private:
  std::string source_;  // may be empty
  AtomicFile file_;
  bool open_ = false;   // opened, and not yet completed
};

// What a sample becomes on the page: its kept segments as runs of points, two segments of one
// chain whose indices follow each other sharing their point.
struct PageCounts {
  uint64_t points = 0, pieces = 0, starts = 0;
};
PageCounts PageCountsOf(const PreviewSample& sample);

}  // namespace dustweave
