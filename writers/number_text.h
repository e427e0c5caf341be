// Numbers as text for the written files: the shortest text that reads back to the same value, as
// std::to_chars lays it out, the same on every platform, so written files are byte-identical
// everywhere. A coordinate that is a float32 widened exactly is written as that float's text.
#pragma once

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace dustweave {

// Room that any text written by the Put functions below fits in.
constexpr size_t NUMBER_TEXT_ROOM = 32;

// The text std::to_chars(out, out + NUMBER_TEXT_ROOM, value) writes for a finite float: its
// shortest digits that read back to it, fixed or scientific, whichever is shorter (fixed on a tie).
// Made from the digits fmt's Dragonbox finds, in half the instructions (number_text.cpp; `make
// check-floats` compares the two over every float). Writes at `out`, in its room; returns the end.
char* PutShortest(char* out, float value);

// The shortest text that reads back to `value` as a float32 when `value` is a float32 widened
// exactly (NaN and infinities as "nan", "-nan", "inf", "-inf"); otherwise the shortest text that
// reads back to the same double, so nothing is lost. Writes at `out`; returns the end.
inline char* PutCoordinate(char* out, double value) {
  if (std::isfinite(value) && std::fabs(value) <= FLT_MAX) {
    float narrow = static_cast<float>(value);
    if (static_cast<double>(narrow) == value) return PutShortest(out, narrow);
  }
  return std::to_chars(out, out + NUMBER_TEXT_ROOM, value).ptr;
}

// Copies the NUMBER_TEXT_ROOM bytes at `from`, a number's text written earlier with what follows
// it, to `to`, which they may overlap: a copy of fixed size costs less than one of the text's length.
inline void CopyNumberText(char* to, const char* from) {
  char room[NUMBER_TEXT_ROOM];
  std::memcpy(room, from, sizeof room);
  std::memcpy(to, room, sizeof room);
}

// A coordinate's text as PutCoordinate writes it, for a message.
inline std::string CoordinateText(double value) {
  char text[NUMBER_TEXT_ROOM];
  return std::string(text, PutCoordinate(text, value));
}

// The decimal digits of `value` (fmt's, which count them first: fewer steps than std::to_chars').
char* PutInteger(char* out, uint64_t value);

// 12345678 as "12,345,678", for counts shown to people.
inline std::string GroupedDigits(uint64_t value) {
  std::string digits = std::to_string(value), text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

// "1 point", "5,200 points": a count shown to people with its noun, singular for one, its digits
// grouped as on every line the program prints.
inline std::string Counted(uint64_t n, const char* one, const char* many) {
  return GroupedDigits(n) + " " + (n == 1 ? one : many);
}

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
