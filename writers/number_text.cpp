// The shortest text of a float laid out as std::to_chars lays it, from the digits and exponent
// fmt's Dragonbox finds, written with fmt's own pieces (fmt 9, used from its headers alone): the
// digits are std::to_chars', found in fewer steps; only the choice of layout is made here.
#include "writers/number_text.h"

#include <fmt/compile.h>

#include <cstring>

namespace dustweave {

namespace fd = fmt::detail;

char* PutShortest(char* out, float value) {
  *out = '-';  // kept only for a negative value: a sign costs no branch
  out += std::signbit(value);
  // value = significand × 10^exponent, with the fewest digits that read back to it.
  const fd::dragonbox::decimal_fp<float> decimal = fd::dragonbox::to_decimal(value);
  const uint32_t significand = decimal.significand;
  if (significand == 0) {
    *out = '0';
    return out + 1;
  }
  const int count = fd::count_digits(significand);
  const int point = count + decimal.exponent;  // digits before the point
  const int fixed = decimal.exponent >= 0 ? point : point > 0 ? count + 1 : 2 - decimal.exponent;
  const int scientific = count + (count > 1) + 4;  // d.ddde+XX: a float's exponent has two digits
  if (fixed > scientific) {  // "1.2345e-07", "1e+10"
    out = fd::write_significand(out, significand, count, 1, count > 1 ? '.' : '\0');
    *out++ = 'e';
    return fd::write_exponent<char>(point - 1, out);
  }
  // A whole number is written as the float's exact value ("123456792", not "123456790"); it has
  // fewer than 15 digits to be shorter than its scientific form.
  if (decimal.exponent >= 0) return PutInteger(out, static_cast<uint64_t>(std::fabs(value)));
  if (point > 0) return fd::write_significand(out, significand, count, point, '.');  // "12.345"
  std::memcpy(out, "0.000", 5);  // "0.00012": at most 3 zeros after the point
  return fd::format_decimal(out + 2 - point, significand, count).end;
}

char* PutInteger(char* out, uint64_t value) { return fmt::format_to(out, FMT_COMPILE("{}"), value); }

}  // namespace dustweave
