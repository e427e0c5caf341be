// The lifetime of a preview's file, which the SVG picture and the 3D page share: opened beside
// its name, written once the run has ended, then committed, or abandoned on a failed write.
#include "previews/preview_file.h"


namespace dustweave {

bool PreviewFile::Open(const std::string& path, std::string* error) {
  open_ = file_.Create(path, error);
  return open_;
}

void PreviewFile::SetSource(const std::string& input, const std::string& settings) {
  source_ = SourceLine(input, settings);
}

void PreviewFile::SetEndsEarly(uint64_t wholeTracks, uint64_t tracks) {
  endsEarly_ = EndsEarlyLine(wholeTracks, tracks);
}

bool PreviewFile::Complete(const PreviewSample& sample, std::string* error) {
  if (!open_) {
    *error = std::string(what_) + " has no open file";
    return false;
  }
  open_ = false;
  Write(sample, CaptionOf(sample.counts(), source_, endsEarly_), file_);
  if (!file_.failed()) return true;
  *error = file_.reason();
  file_.Abandon();
  return false;
}

bool PreviewFile::Finish(const PreviewSample& sample, std::string* error) {
  return Complete(sample, error) && CommitTogether({&file_}, error);
}

}  // namespace dustweave
