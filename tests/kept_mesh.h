// A mesh the stand-in host kept in memory, written through one of the streaming writers as a
// streamed run would have sent it, so that a test can hold the streamed file against it; and the
// frames of a run's points handed to a writer from a list.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "standin/host.h"
#include "writers/point_frames.h"

// The frames of a run's points, from a list (as a test knows them).
class ListedFrames : public dustweave::PointFrames {
 public:
  explicit ListedFrames(std::vector<int32_t> frames) : frames_(std::move(frames)) {}
  size_t Take(int32_t* frames, size_t count) override {
    size_t taken = std::min(count, frames_.size() - at_);
    std::copy_n(frames_.begin() + static_cast<std::ptrdiff_t>(at_), taken, frames);
    at_ += taken;
    return taken;
  }
  std::string failure() const override { return ""; }

 private:
  std::vector<int32_t> frames_;
  size_t at_ = 0;
};

// `mesh` replayed in creation order through a new Writer(writerArguments...) into `path`.
template <typename Writer, typename... WriterArguments>
bool WriteKeptMesh(const standin::MeshRecord& mesh, const std::string& path, std::string* error,
                   WriterArguments... writerArguments) {
  Writer writer(writerArguments...);
  if (!writer.Open(path, error)) return false;
  standin::ReplayMesh(mesh, writer);
  return writer.Finish(error);
}
