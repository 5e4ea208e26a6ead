// Numbers written into fields: the exponent form by the short-decimal method
// where it settles the digits, by the exact method or the general conversion
// elsewhere.
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

bool RoundBinaryValue(double x, int digits, std::uint64_t& kept, int& decimal_exponent) {
  // x = m * 2^-s, m below 2^53. With 0 <= k <= 19, 10^k is below 2^64 and
  // m * 10^k below 2^117: x * 10^k = (m * 10^k) / 2^s is then held exactly
  // as its integer part n and the remainder r of the division, and n rounds
  // to nearest by comparing r with half of 2^s.
  if (digits < 1 || digits > 15 || !(x > 0)) return false;
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof(bits));
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased == 0 || biased == 0x7ff) return false;  // subnormals, infinity, NaN
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int s = 1075 - biased;  // x = m * 2^-s
  // floor(log10 x), or one less: 1233 / 4096 is just below log10(2).
  const int decade = ((biased - 1023) * 1233) >> 12;
  int k = digits - 1 - decade;  // 10^(digits - 1) <= x * 10^k < 10^(digits + 1)
  if (s < 1 || s > 120 || k < 0 || k > 19) return false;
  const auto limit = kPowersOfTen[digits];  // 10^digits, one digit too many
  unsigned __int128 product = static_cast<unsigned __int128>(m) * kPowersOfTen[k];
  std::uint64_t n = static_cast<std::uint64_t>(product >> s);
  if (n >= limit) {  // one decade too many: x * 10^(k-1) is the scale
    if (k == 0) return false;
    --k;
    product = static_cast<unsigned __int128>(m) * kPowersOfTen[k];
    n = static_cast<std::uint64_t>(product >> s);
  }
  const unsigned __int128 one = 1;
  const unsigned __int128 remainder = product & ((one << s) - 1);
  const unsigned __int128 half = one << (s - 1);
  if (remainder == half) return false;  // the exact half: the general conversion settles it
  if (remainder > half) ++n;
  int exponent = digits - k;
  if (n == limit) {  // 0.999.. carried into a new decade
    n /= 10;
    ++exponent;
  }
  kept = n;
  decimal_exponent = exponent;
  return true;
}

bool PutExponentGenerally(char* out, std::size_t w, int digits, char letter, double value) {
  assert(digits >= 1 && digits < static_cast<int>(sizeof(kZeroDigits)));
  std::uint64_t kept;
  int decimal_exponent;
  if (RoundBinaryValue(std::fabs(value), digits, kept, decimal_exponent)) {
    return PutExponentForm(out, w, digits, letter, value < 0, decimal_exponent,
                           [&](char* p) { PutKeptDigits(p, digits, kept); });
  }
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
