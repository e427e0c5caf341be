// A preview drawn from a run's sample (preview_sample.h) once the run has ended, into an output
// committed whole or not at all. The SVG picture and the 3D page share how they are opened,
// captioned, completed and committed; each writes its own text.
#pragma once

#include <cstdint>
#include <string>

#include "platform/output_file.h"
#include "previews/preview_caption.h"
#include "previews/preview_sample.h"

namespace dustweave {

class PreviewFile {
 public:
  virtual ~PreviewFile() = default;
  PreviewFile(const PreviewFile&) = delete;
  PreviewFile& operator=(const PreviewFile&) = delete;

  // Creates the preview's temporary file beside `path`; false, with a one-line reason.
  bool Open(const std::string& path, std::string* error);
  // The caption's line above the counts: the input's name (shortened in the middle when long)
  // and how it was read ("step 25 % · poly at start off"). Left unset, the line is left out.
  void SetSource(const std::string& input, const std::string& settings);
  // For a file cut short: the caption says so, with the tracks read whole of those it holds.
  void SetEndsEarly(uint64_t wholeTracks, uint64_t tracks);
  // Writes the preview of the finished sample, ready to be committed; false, with a one-line
  // reason, and nothing left behind. A preview destroyed before its commit leaves nothing either.
  bool Complete(const PreviewSample& sample, std::string* error);
  OutputFile& file() { return file_; }
  // Complete, then commit the preview under its name.
  bool Finish(const PreviewSample& sample, std::string* error);

 protected:
  explicit PreviewFile(const char* what) : what_(what) {}  // "the SVG preview", say

 private:
  // The whole preview of `sample` with its caption into `file`, whose writes keep their own failure.
  virtual void Write(const PreviewSample& sample, const PreviewCaption& caption, OutputFile& file) = 0;

  const char* what_;
  std::string source_;     // the caption's line of input and answers; may be empty
  std::string endsEarly_;  // its line on a file cut short; empty for a whole one
  OutputFile file_;
  bool open_ = false;   // opened, and not yet completed
};

}  // namespace dustweave
