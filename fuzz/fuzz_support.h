// What both fuzz targets need around the module: a scratch file in memory that the module opens
// by path, a check that no file descriptor was left open, and a loud stop on a broken promise.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzsupport {

// Stops the run with a message; libFuzzer then keeps the input that caused it.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// An in-memory file with a path the module can fopen: /proc/self/fd/N of a memfd. Each open of
// that path is a new description starting at offset 0.
class ScratchFile {
 public:
  ScratchFile() {
    fd_ = memfd_create("dustweave-fuzz", 0);
    if (fd_ < 0) Fail("memfd_create");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~ScratchFile() { close(fd_); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  void Fill(const uint8_t* bytes, size_t size) {
    if (ftruncate(fd_, 0) != 0) Fail("ftruncate");
    size_t done = 0;
    while (done < size) {
      ssize_t wrote = pwrite(fd_, bytes + done, size - done, static_cast<off_t>(done));
      if (wrote <= 0) Fail("pwrite");
      done += static_cast<size_t>(wrote);
    }
  }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// The lowest free descriptor number. open() always takes the lowest free one, so if a run
// leaves the file it opened behind, this number differs from the one taken before the run.
inline int LowestFreeDescriptor() {
  int probe = open("/dev/null", O_RDONLY);
  if (probe < 0) Fail("open /dev/null");
  close(probe);
  return probe;
}

}  // namespace fuzzsupport
