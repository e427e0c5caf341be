// A picture of a run as SVG, drawn from its preview sample (preview_sample.h) once the run has
// ended: a fixed oblique view fitted to the sample's box, each chain's segments coloured from its
// start to its end, the chains' start dots, the box drawn faintly behind, and a caption with the
// input, the answers, the counts and the share shown. It has a viewBox and no size of its own,
// so a browser fits it to any window.
#pragma once

#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "writers/preview_caption.h"
#include "writers/preview_sample.h"

namespace dustweave {

class SvgPreview {
 public:
  // Creates the picture's temporary file beside `path`; false, with a one-line reason.
  bool Open(const std::string& path, std::string* error);
  // The caption's line above the counts: the input's name (shortened in the middle when long)
  // and how it was read ("step 25 % · poly at start off"). Left unset, the line is left out.
  void SetSource(const std::string& input, const std::string& settings);
  // Draws the finished sample, ready to be committed; false, with a one-line reason, and nothing
  // left behind. A preview destroyed before its commit leaves nothing either.
  bool Complete(const PreviewSample& sample, std::string* error);
  AtomicFile& file() { return file_; }
  // Complete, then commit the picture under its name.
  bool Finish(const PreviewSample& sample, std::string* error);

 private:
  std::string source_;  // the caption's line of input and answers; may be empty
  AtomicFile file_;
  bool open_ = false;   // opened, and not yet completed
};

}  // namespace dustweave
