// Numbers as text for the written files: the shortest text that reads back to the same value,
// the same on every platform (std::to_chars), so written files are byte-identical everywhere.
#pragma once

#include <charconv>
#include <string>

namespace dustweave {

template <typename Real>
void AppendShortest(std::string& out, Real value) {
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

template <typename Real>
std::string ShortestText(Real value) {
  std::string text;
  AppendShortest(text, value);
  return text;
}

}  // namespace dustweave
