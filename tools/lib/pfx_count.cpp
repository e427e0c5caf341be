// Counting a pfx file's samples from its track heads: each head gives its track's sample count,
// and with it where the next head lies. Heads that lie close together are read a block at a
// time; heads far apart one by one, so a large file costs one small read per track.
#include "tools/lib/pfx_count.h"

#include "pfx/format.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dustweave {

#ifndef _WIN32
namespace {

uint32_t BigEndianWord(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

// Reads at offsets through a small window, refilled at the offset asked for when it is not there.
class Window {
 public:
  explicit Window(int fd) : fd_(fd) {}
  ~Window() { close(fd_); }

  // The `size` bytes at `offset`, or null past the end of the file; `ahead` is how much to read
  // when the window must move (the bytes likely wanted next).
  const unsigned char* At(uint64_t offset, size_t size, size_t ahead) {
    if (offset < start_ || offset + size > start_ + filled_) {
      size_t want = ahead < size ? size : ahead > sizeof bytes_ ? sizeof bytes_ : ahead;
      ssize_t got = pread(fd_, bytes_, want, static_cast<off_t>(offset));
      start_ = offset;
      filled_ = got > 0 ? static_cast<size_t>(got) : 0;
      if (filled_ < size) return nullptr;
    }
    return bytes_ + (offset - start_);
  }

 private:
  int fd_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
  unsigned char bytes_[4096];
};

// Samples of a track whose counter never jumps (span within the index limit): span + 1, or none.
std::optional<uint64_t> SamplesOfTrack(const unsigned char* head, int32_t indexLimit) {
  PfxTrack track{};
  track.firstIndex = static_cast<int32_t>(BigEndianWord(head));
  track.lastIndex = static_cast<int32_t>(BigEndianWord(head + 4));
  int32_t span = TrackSpan(track);
  if (span < 0) return 0;
  if (span > indexLimit) return std::nullopt;  // the walk would have to be followed
  return static_cast<uint64_t>(span) + 1;
}

}  // namespace

std::optional<uint64_t> CountSamplesFromHeads(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return std::nullopt;
  Window window(fd);
  struct stat info {};
  if (fstat(fd, &info) != 0) return std::nullopt;
  const uint64_t fileBytes = static_cast<uint64_t>(info.st_size);
  const unsigned char* header = window.At(0, PFX_HEADER_SIZE, PFX_HEADER_SIZE + PFX_TRACK_HEAD_SIZE);
  if (header == nullptr) return std::nullopt;
  int32_t particles = static_cast<int32_t>(BigEndianWord(header + 4));
  int32_t indexLimit = static_cast<int32_t>(BigEndianWord(header + 8));
  uint64_t offset = PFX_HEADER_SIZE, samples = 0, lastTrackBytes = 0;
  for (int32_t i = 0; i < particles; ++i) {
    size_t ahead = lastTrackBytes < 2048 ? 4096 : PFX_TRACK_HEAD_SIZE;
    const unsigned char* head = window.At(offset, PFX_TRACK_HEAD_SIZE, ahead);
    if (head == nullptr) return std::nullopt;
    std::optional<uint64_t> count = SamplesOfTrack(head, indexLimit);
    if (!count) return std::nullopt;
    samples += *count;
    lastTrackBytes = PFX_SAMPLE_SIZE * *count;
    offset += PFX_TRACK_HEAD_SIZE + lastTrackBytes;
    if (offset > fileBytes) return std::nullopt;  // cut short
  }
  return samples;
}
#else
std::optional<uint64_t> CountSamplesFromHeads(const std::string&) { return std::nullopt; }
#endif

}  // namespace dustweave
