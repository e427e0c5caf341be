// A picture of a run as SVG, drawn from its preview sample (preview_sample.h) once the run has
// ended: a fixed oblique view fitted to the sample's box, each chain's segments coloured from its
// start to its end, the chains' start dots, the box drawn faintly behind, and a caption with the
// input, the answers, the counts and the share shown. It has a viewBox and no size of its own,
// so a browser fits it to any window.
#pragma once

#include <string>

#include "previews/preview_file.h"

namespace dustweave {

class SvgPreview final : public PreviewFile {
 public:
  SvgPreview() : PreviewFile("the SVG preview") {}

 private:
  void Write(const PreviewSample& sample, const PreviewCaption& caption, OutputFile& file) override;
};

}  // namespace dustweave
