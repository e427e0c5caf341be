// The 3D preview page of a run, drawn from its preview sample (preview_sample.h) once the run has
// ended: the page's own text around the sample's chains as point runs, their places along their
// chains, their start dots, the box and the same caption as the SVG picture. One file that opens
// from disk in a browser with no network; written in blocks, committed whole or not at all.
#pragma once

#include <cstdint>
#include <string>

#include "previews/preview_file.h"

namespace dustweave {

class HtmlPreview final : public PreviewFile {
 public:
  HtmlPreview() : PreviewFile("the preview page") {}

 private:
  void Write(const PreviewSample& sample, const PreviewCaption& caption, OutputFile& file) override;
};

// What a sample becomes on the page: its kept segments as runs of points, two segments of one
// chain whose indices follow each other sharing their point.
struct PageCounts {
  uint64_t points = 0, pieces = 0, starts = 0;
};
PageCounts PageCountsOf(const PreviewSample& sample);

}  // namespace dustweave
