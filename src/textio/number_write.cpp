// Numbers written into fields: the exponent form by the short-decimal method
// where it settles the digits, by the general conversion elsewhere.
#include "textio/number_write.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <string_view>

#include "textio/decimal_digits.h"

namespace {

bool PutRightAligned(char* out, std::size_t width, std::string_view text) {
  if (text.size() > width) return PutOverflow(out, width);
  std::memcpy(out + (width - text.size()), text.data(), text.size());
  return true;
}

constexpr char kZeroDigits[] = "0000000000000000000000000000000000000000";

}  // namespace

namespace number_write_detail {

bool PutExponentGenerally(char* out, std::size_t w, int digits, char letter, double value) {
  assert(digits >= 1 && digits < static_cast<int>(sizeof(kZeroDigits)));
  if (std::isnan(value)) return PutRightAligned(out, w, "NaN");
  if (std::isinf(value)) return PutRightAligned(out, w, value < 0 ? "-Infinity" : "Infinity");

  const std::size_t d = static_cast<std::size_t>(digits);
  const char* fraction = kZeroDigits;
  int exponent = 0;
  char scientific[64];
  if (value != 0) {
    // Round once, inside to_chars, from the binary value: digits cut from a
    // longer conversion and rounded again can round the wrong way and miss
    // the carry (0.99999999 -> 0.1000000E+01). The short-decimal method
    // rounds by hand only where it can show the result is the same.
    const char* end = std::to_chars(scientific, scientific + sizeof(scientific), std::fabs(value),
                                    std::chars_format::scientific, digits - 1)
                          .ptr;
    // "D.DDDe+XX": moving the first digit onto the point gives the d digits
    // of 0.DDDD, one decade up.
    if (d > 1) scientific[1] = scientific[0];
    fraction = d > 1 ? scientific + 1 : scientific;
    const char* p = scientific + (d > 1 ? d + 2 : 2);  // the exponent's sign
    const bool exponent_negative = *p++ == '-';
    for (; p < end; ++p) exponent = exponent * 10 + (*p - '0');
    exponent = (exponent_negative ? -exponent : exponent) + 1;
  }
  // Negative zero is written as zero.
  return PutExponentForm(out, w, digits, letter, value < 0, exponent,
                         [&](char* p) { std::memcpy(p, fraction, d); });
}

}  // namespace number_write_detail

bool PutExponent(char* out, std::size_t w, int digits, char letter, double value) {
  return number_write_detail::PutExponentInline(out, w, digits, letter, value);
}

bool FormatIntegerField(char* out, int width, std::int32_t value) {
  const std::size_t w = static_cast<std::size_t>(width);
  std::memset(out, ' ', w);
  return PutInteger(out, w, value);
}

bool FormatExponentField(char* out, int width, int digits, char letter, double value) {
  const std::size_t w = static_cast<std::size_t>(width);
  std::memset(out, ' ', w);
  return PutExponent(out, w, digits, letter, value);
}
