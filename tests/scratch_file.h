// Scratch files for the tests that also run on Windows: a unique path under the system's
// temporary folder (std::filesystem only), removed when the test is done.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pfxwrite/writer.h"

class ScratchFile {
 public:
  explicit ScratchFile(const std::string& suffix = ".pfx") {
    static std::mt19937_64 unique(std::random_device{}() ^
                                  static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    path_ = (std::filesystem::temp_directory_path() / ("dustweave-e2e-" + std::to_string(unique()) + suffix)).string();
  }
  explicit ScratchFile(const pfxwrite::File& file) : ScratchFile() {
    pfxwrite::WriteBytes(path_, pfxwrite::Encode(file), nullptr);
  }
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
