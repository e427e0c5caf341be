// Scratch files for tests: a unique path under the system's temporary folder, removed at the end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "pfxwrite/writer.h"

class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes = {}) {
    static int serial = 0;
    path_ = (std::filesystem::temp_directory_path() /
             ("dustweave-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".pfx"))
                .string();
    Write(bytes);
  }
  explicit TempFile(const pfxwrite::File& file) : TempFile(pfxwrite::Encode(file)) {}
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(const std::vector<uint8_t>& bytes) { pfxwrite::WriteBytes(path_, bytes, nullptr); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
