// Writing one output file through a stream, with a one-line reason when it cannot be written.
#pragma once

#include <fstream>
#include <string>

namespace dustweave {

template <typename Write>
bool WriteOutputFile(const std::string& path, std::string* error, Write write) {
  std::ofstream out(path, std::ios::binary);
  if (out) {
    write(out);
    out.close();
  }
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace dustweave
