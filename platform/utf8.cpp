// Reading UTF-8: a lead byte's length, then its continuation bytes, with the ranges the second
// byte must keep to after E0, ED, F0 and F4 so that each code point has exactly one form.
#include "platform/utf8.h"

namespace dustweave {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Whether `second` may follow `lead`: no overlong form, no surrogate, nothing past U+10FFFF.
bool SecondByteFits(unsigned char lead, unsigned char second) {
  if (lead == 0xE0) return second >= 0xA0;
  if (lead == 0xED) return second < 0xA0;
  if (lead == 0xF0) return second >= 0x90;
  if (lead == 0xF4) return second < 0x90;
  return true;
}

}  // namespace

size_t Utf8LeadLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

size_t Utf8CharacterAt(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  size_t length = Utf8LeadLength(byte(0));
  if (length == 0 || length > text.size() - at) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  return length == 1 || SecondByteFits(byte(0), byte(1)) ? length : 0;
}

size_t Utf8WholeLength(std::string_view text) {
  size_t lead = text.size();
  while (lead > 0 && text.size() - lead < 3 && IsContinuation(static_cast<unsigned char>(text[lead - 1]))) --lead;
  if (lead == 0) return text.size();  // continuation bytes alone: nothing they could complete
  --lead;
  return Utf8LeadLength(static_cast<unsigned char>(text[lead])) > text.size() - lead ? lead : text.size();
}

}  // namespace dustweave
