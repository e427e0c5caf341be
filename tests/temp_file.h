// Scratch files and folders for tests, also under Windows: a unique path under the system's
// temporary folder (std::filesystem only), written from bytes or a pfx description, removed at
// the end.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pfxtools/pfx_writer.h"

#ifndef _WIN32
#include <sys/xattr.h>

#include <fstream>

// Whether a file at `probe` (made and removed again) can carry an extended attribute of the
// user's, as the program's mark of its temporary files is: a tmpfs before Linux 6.6 cannot.
inline bool HoldsMarks(const std::string& probe) {
  std::ofstream{probe};
  bool holds = setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  std::filesystem::remove(probe);
  return holds;
}
#endif

class TempFile {
 public:
  // A path only: nothing is written until Write.
  explicit TempFile(const char* suffix = ".pfx") {
    static std::mt19937_64 unique(std::random_device{}() ^
                                  static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    path_ = (std::filesystem::temp_directory_path() /
             ("dustweave-test-" + std::to_string(unique()) + suffix)).string();
  }
  explicit TempFile(const std::vector<uint8_t>& bytes) : TempFile() { Write(bytes); }
  explicit TempFile(const pfxwrite::File& file) : TempFile(pfxwrite::Encode(file)) {}
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(const std::vector<uint8_t>& bytes) const { pfxwrite::WriteBytes(path_, bytes, nullptr); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// An empty folder of its own, removed with all it holds at the end.
class TempFolder {
 public:
  TempFolder() : marker_("") {
    path_ = marker_.path() + ".d";
    std::filesystem::create_directory(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  TempFile marker_;
  std::string path_;
};
