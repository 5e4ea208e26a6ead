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

// Values read from model files carry at most fifteen significant digits; for
// them the d rounded digits come without the general conversion. N, x times
// 10^k rounded to a fifteen-digit integer, is x's fifteen-digit rounding when
// N / 10^k, rounded once to a real, gives x back: x then lies within a tenth
// of a unit of N's last digit. Fewer digits are N rounded once more; on an
// exact tie only the binary value can decide, and the general way is taken.
// Returns false for every value it cannot settle so.
bool RoundShortDecimal(double x, int digits, char* fraction, int& decimal_exponent) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof(bits));
  const int binary_exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  if (digits > 15 || binary_exponent == -1023) return false;  // subnormals hold fewer digits
  // floor(log10 x), or one less: 1233 / 4096 is just below log10(2).
  const int decade = (binary_exponent * 1233) >> 12;
  int k = 14 - decade;
  if (k < -21 || k > 22) return false;
  auto scale = [x](int power) {
    return power >= 0 ? x * kExactPowersOfTen[power] : x / kExactPowersOfTen[-power];
  };
  double scaled = scale(k);
  if (scaled >= 1e15) scaled = scale(--k);
  const double rounded = std::floor(scaled + 0.5);
  const double back = k >= 0 ? rounded / kExactPowersOfTen[k] : rounded * kExactPowersOfTen[-k];
  if (back != x || rounded < 1e14) return false;
  int exponent = 15 - k;
  char all[16];  // the fifteen digits of N; 10^15 is written as 1 and fourteen zeros, a decade up
  std::uint64_t n = static_cast<std::uint64_t>(rounded);
  if (n == 1000000000000000) {
    n /= 10;
    ++exponent;
  }
  PutDigits(all, 7, static_cast<std::uint32_t>(n / 100000000));
  PutDigits(all + 7, 8, static_cast<std::uint32_t>(n % 100000000));
  std::memcpy(fraction, all, static_cast<std::size_t>(digits));
  if (digits < 15) {
    // Round the digits once more, half up; a tie is left to the binary value.
    const char first_dropped = all[digits];
    bool tie = first_dropped == '5';
    for (int i = digits + 1; tie && i < 15; ++i) tie = all[i] == '0';
    if (tie) return false;
    if (first_dropped >= '5') {
      int i = digits - 1;
      for (; i >= 0 && fraction[i] == '9'; --i) fraction[i] = '0';
      if (i >= 0) {
        ++fraction[i];
      } else {
        fraction[0] = '1';  // 0.999.. carries into a new decade
        ++exponent;
      }
    }
  }
  decimal_exponent = exponent;
  return true;
}

}  // namespace

bool PutExponent(char* out, std::size_t w, int digits, char letter, double value) {
  assert(digits >= 1 && digits < static_cast<int>(sizeof(kZeroDigits)));
  if (std::isnan(value)) return PutRightAligned(out, w, "NaN");
  if (std::isinf(value)) return PutRightAligned(out, w, value < 0 ? "-Infinity" : "Infinity");

  const std::size_t d = static_cast<std::size_t>(digits);
  const bool negative = value < 0;  // negative zero is written as zero
  const char* fraction = kZeroDigits;
  int exponent = 0;
  char scientific[64];
  if (value != 0 && RoundShortDecimal(std::fabs(value), digits, scientific, exponent)) {
    fraction = scientific;
  } else if (value != 0) {
    // Round once, inside to_chars: rounding the digits by hand misses the
    // carry (0.99999999 -> 0.1000000E+01).
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

  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude > 999) return PutOverflow(out, w);
  const std::size_t essential = (negative ? 1 : 0) + 1 + d + 4;
  if (essential > w) return PutOverflow(out, w);
  const bool leading_zero = essential < w;
  char* p = out + (w - essential - (leading_zero ? 1 : 0));
  if (negative) *p++ = '-';
  if (leading_zero) *p++ = '0';
  *p++ = '.';
  std::memcpy(p, fraction, d);
  p += d;
  // Two exponent digits after the letter; a third digit takes the letter's place.
  const bool three_digits = magnitude > 99;
  if (!three_digits) *p++ = letter;
  *p++ = exponent < 0 ? '-' : '+';
  if (three_digits) *p++ = static_cast<char>('0' + magnitude / 100);
  *p++ = static_cast<char>('0' + magnitude / 10 % 10);
  *p = static_cast<char>('0' + magnitude % 10);
  return true;
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
