// Numbers written into fields of fixed width: integers right-aligned, reals
// in exponent form (0.ddd, then the exponent), asterisks when a value does
// not fit.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "textio/decimal_digits.h"

/// Writes `value` right-aligned in `width` columns; asterisks and false when
/// it does not fit.
[[nodiscard]] bool FormatIntegerField(char* out, int width, std::int32_t value);

/// Writes `value` in exponent form (0.ddd, then the exponent) right-aligned
/// in `width` columns with `digits` digits after the point; asterisks and
/// false when it does not fit.
[[nodiscard]] bool FormatExponentField(char* out, int width, int digits, char letter, double value);

// The Put functions write into a field that is blank already, so that a
// record is blanked once and not field by field. They are what the record
// writer calls for each field; the integer ones are inline, since a record
// loop writes several integers per record.

/// Fills the field with asterisks: the value does not fit. Returns false.
inline bool PutOverflow(char* out, std::size_t width) {
  std::memset(out, '*', width);
  return false;
}

/// "00" to "99": decimal digits two at a time.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

/// The eight decimal digits of v, below 10^8, one per byte, the highest in
/// the lowest byte, zeros in front: the inverse of EightDigitNumber, in
/// lanes that no step carries out of.
/// - v / 10^4 and v % 10^4 go to two 32-bit lanes; in each, x * 10486 >> 20
///   is x / 100 for every x below 10^4 (10486 / 2^20 exceeds 1/100 by less
///   than 1/(100 * 10^4)), and the product, below 2^27, stays in its lane;
/// - the four pairs then go to 16-bit lanes, where x * 103 >> 10 is x / 10
///   for every x below 100 (the product at most 10197, below 2^16);
/// - the eight digits then stand one per byte, the highest first.
constexpr std::uint64_t EightDigitValues(std::uint32_t v) {
  std::uint64_t x = (v / 10000) | (std::uint64_t{v % 10000} << 32);
  std::uint64_t q = ((x * 10486) >> 20) & 0x0000007f0000007f;
  x = q | ((x - q * 100) << 16);
  q = ((x * 103) >> 10) & 0x000f000f000f000f;
  return q | ((x - q * 10) << 8);
}

/// v, below 10^8, as eight digit characters with zeros in front, the first
/// in the lowest byte.
constexpr std::uint64_t EightDigitCharacters(std::uint32_t v) {
  return EightDigitValues(v) + 0x30 * kEachByte;
}

/// Writes the eight characters of `word`, the lowest byte first, at `out`.
inline void StoreEightCharacters(char* out, std::uint64_t word) {
  if constexpr (std::endian::native != std::endian::little) word = __builtin_bswap64(word);
  std::memcpy(out, &word, sizeof(word));
}

/// Writes v as exactly `count` digits (1 to 8), zeros in front: the last
/// `count` of its eight digit characters.
inline void PutDigits(char* out, int count, std::uint32_t v) {
  char eight[8];
  StoreEightCharacters(eight, EightDigitCharacters(v));
  std::memcpy(out, eight + 8 - count, static_cast<std::size_t>(count));
}

/// Writes v as exactly `count` digits, zeros in front, two at a time.
inline void PutDigitPairs(char* out, int count, std::uint32_t v) {
  for (; count >= 2; count -= 2) {
    std::memcpy(out + count - 2, kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (count == 1) out[0] = static_cast<char>('0' + v);
}

/// The number of decimal digits of v, 1 to 10. A number of b bits lies in
/// [2^(b-1), 2^b); with t = floor(b log10 2) it has t or t + 1 digits, the
/// more when it is at least 10^t. (b * 1233) >> 12 is that t for every b
/// from 1 to 32 (1233 / 4096 is just below log10 2). v | 1 gives 0 its one
/// digit.
inline int DecimalDigitCount(std::uint32_t v) {
  const int t = (static_cast<int>(std::bit_width(v | 1)) * 1233) >> 12;
  return t + ((v | 1) >= kPowersOfTen[t] ? 1 : 0);
}

/// Writes `value` right-aligned in the `width` blank columns at `out`.
[[nodiscard, gnu::always_inline]] inline bool PutInteger(char* out, std::size_t width,
                                                         std::int32_t value) {
  const bool negative = value < 0;
  const std::uint32_t magnitude =
      negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  // Most numbers fill at most the field's last eight columns, with their
  // sign in the column before the first digit.
  if (width >= 8 && magnitude < (width > 8 || !negative ? 100000000u : 10000000u)) {
    // All eight columns at once, the zeros in front of the number made
    // blanks again (0x30 - 0x10). They are the zero bytes at the low end;
    // the last digit stays even when it is a zero, so at most seven are
    // blanked, and a sign finds a column before the first digit: the
    // column before the eight when the field is wider, a blanked one else.
    const std::uint64_t digits = EightDigitValues(magnitude);
    const int zeros = std::countr_zero(digits | (std::uint64_t{1} << 56)) / 8;
    const std::uint64_t blanks = (0x10 * kEachByte) & ((std::uint64_t{1} << (8 * zeros)) - 1);
    StoreEightCharacters(out + width - 8, digits + 0x30 * kEachByte - blanks);
    if (negative) out[width - 9 + static_cast<std::size_t>(zeros)] = '-';
    return true;
  }
  if (magnitude < 10 && width >= 2) {  // the one digit of the narrow fields' usual numbers
    out[width - 1] = static_cast<char>('0' + magnitude);
    if (negative) out[width - 2] = '-';
    return true;
  }
  const int count = DecimalDigitCount(magnitude);
  const std::size_t length = static_cast<std::size_t>(count + (negative ? 1 : 0));
  if (length > width) return PutOverflow(out, width);
  char* digits = out + width - count;
  PutDigitPairs(digits, count, magnitude);
  if (negative) digits[-1] = '-';
  return true;
}

/// Writes `value` in exponent form into the `width` blank columns at `out`.
[[nodiscard]] bool PutExponent(char* out, std::size_t width, int digits, char letter, double value);

namespace number_write_detail {

/// The short-decimal method. Values read from model files carry at most
/// fifteen significant digits; for them the `digits` rounded digits of
/// x > 0 come without the general conversion. It rounds by hand, and is
/// still exact:
/// - k is chosen so that 10^14 <= x * 10^k < 10^15. 10^|k| <= 10^22 is held
///   exactly, so `scaled` is x * 10^k rounded once; it is below 2^50, so
///   adding 0.5 to it is exact and N = floor(scaled + 0.5) is an integer
///   below 2^53, held exactly.
/// - N / 10^k (or N * 10^-k) is one correctly rounded operation on exact
///   operands. When it gives x back, x is the real nearest to N * 10^-k, so
///   |x * 10^k - N| <= x * 10^k * 2^-53 < 10^15 * 2^-53 < 0.12. N is then
///   x * 10^k rounded to the nearest integer, with no tie possible: the
///   fifteen digits of x, rounded once from its binary value.
/// - For fewer than fifteen digits, N is rounded again, half up. The part of
///   N that is dropped is an integer; unless it is exactly half a unit of
///   the last digit kept it is at least 1 away from the half, further than
///   the 0.12 between N and x * 10^k, so x rounds the same way as N and the
///   two roundings give what one gives. On the exact half only x's binary
///   value can decide, and the method gives up.
/// Returns false for every value it cannot settle so (subnormals, more than
/// fifteen digits asked, N / 10^k not x, the exact half); the caller then
/// rounds once in to_chars. Otherwise `kept` holds the digits as an integer
/// of exactly `digits` digits and x is 0.kept * 10^decimal_exponent.
[[gnu::always_inline]] inline bool RoundShortDecimal(double x, int digits, std::uint64_t& kept,
                                                     int& decimal_exponent) {
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
  // scaled + 0.5 is positive and below 2^53: truncating it is its floor.
  std::uint64_t n = static_cast<std::uint64_t>(scaled + 0.5);
  const double rounded = static_cast<double>(n);
  const double back = k >= 0 ? rounded / kExactPowersOfTen[k] : rounded * kExactPowersOfTen[-k];
  if (back != x || n < kPowersOfTen[14]) return false;
  int exponent = 15 - k;
  if (digits < 15) {
    // Round once more, half up; a tie is left to the binary value.
    const std::uint64_t unit = kPowersOfTen[15 - digits];
    const std::uint64_t dropped = n % unit;
    if (dropped == unit / 2) return false;
    n = n / unit + (dropped > unit / 2 ? 1 : 0);
  }
  // 0.999.. carries into a new decade: 10^digits is written as 1 and zeros.
  if (n == kPowersOfTen[digits]) {
    n /= 10;
    ++exponent;
  }
  kept = n;
  decimal_exponent = exponent;
  return true;
}

/// The exact method, for the values the short-decimal method leaves (those
/// of more than fifteen digits, such as results of arithmetic): the `digits`
/// digits of x > 0 rounded once from its binary value in 128-bit integers.
/// Returns false for what it cannot settle so (x below about
/// 10^(digits - 20), or from 10^digits or 2^52 up; more than fifteen digits
/// asked; the exact half), and sets `kept` and `decimal_exponent` as
/// RoundShortDecimal does.
[[nodiscard]] bool RoundBinaryValue(double x, int digits, std::uint64_t& kept,
                                    int& decimal_exponent);

/// The rest of PutExponent, for what the short-decimal method leaves:
/// the exact method's values, then infinities, NaN and the values only the
/// general conversion settles.
[[nodiscard]] bool PutExponentGenerally(char* out, std::size_t width, int digits, char letter,
                                        double value);

/// Writes `kept`, of exactly `digits` digits (1 to 16), at p, in a field
/// whose exponent part follows the digits. Eight columns are stored at once,
/// the digits moved to the low end of their word: the zero bytes after them
/// fall on columns written next, the last eight digits' or the exponent's
/// (four columns, so four digits or more). Fewer digits are written one pair
/// at a time.
[[gnu::always_inline]] inline void PutKeptDigits(char* p, int digits, std::uint64_t kept) {
  if (digits > 8) {
    const auto high = static_cast<std::uint32_t>(kept / 100000000);
    StoreEightCharacters(p, EightDigitCharacters(high) >> (8 * (16 - digits)));
    StoreEightCharacters(p + digits - 8,
                         EightDigitCharacters(static_cast<std::uint32_t>(kept % 100000000)));
  } else if (digits >= 4) {
    StoreEightCharacters(
        p, EightDigitCharacters(static_cast<std::uint32_t>(kept)) >> (8 * (8 - digits)));
  } else {
    PutDigits(p, digits, static_cast<std::uint32_t>(kept));
  }
}

/// Writes the exponent form into the blank field: sign, 0., the digits
/// `put_digits(p)` writes at p, then the exponent.
template <class PutFractionDigits>
[[gnu::always_inline]] inline bool PutExponentForm(char* out, std::size_t w, int digits,
                                                   char letter, bool negative, int exponent,
                                                   PutFractionDigits put_digits) {
  const int magnitude = exponent < 0 ? -exponent : exponent;
  const std::size_t d = static_cast<std::size_t>(digits);
  const std::size_t essential = (negative ? 1 : 0) + 1 + d + 4;
  if (magnitude > 999 || essential > w) return PutOverflow(out, w);
  const bool leading_zero = essential < w;
  char* p = out + (w - essential - (leading_zero ? 1 : 0));
  if (negative) *p++ = '-';
  if (leading_zero) *p++ = '0';
  *p++ = '.';
  put_digits(p);
  p += d;
  // Two exponent digits after the letter; a third digit takes the letter's place.
  const bool three_digits = magnitude > 99;
  if (!three_digits) *p++ = letter;
  *p++ = exponent < 0 ? '-' : '+';
  if (three_digits) *p++ = static_cast<char>('0' + magnitude / 100);
  std::memcpy(p, kDigitPairs + 2 * (magnitude % 100), 2);
  return true;
}

/// Writes `value` in exponent form when the short-decimal method settles its
/// digits, else leaves it to the general conversion.
[[gnu::always_inline]] inline bool PutExponentInline(char* out, std::size_t w, int digits,
                                                     char letter, double value) {
  std::uint64_t kept;
  int exponent;
  if (value == 0) {  // negative zero is written as zero
    return PutExponentForm(out, w, digits, letter, false, 0,
                           [&](char* p) { std::memset(p, '0', static_cast<std::size_t>(digits)); });
  }
  if (!RoundShortDecimal(value < 0 ? -value : value, digits, kept, exponent)) {
    return PutExponentGenerally(out, w, digits, letter, value);
  }
  return PutExponentForm(out, w, digits, letter, value < 0, exponent,
                         [&](char* p) { PutKeptDigits(p, digits, kept); });
}

}  // namespace number_write_detail

/// PutExponent for a number of digits known when compiling, as record
/// loops use it: the same field, the usual values written without a call.
template <int kDigits>
[[nodiscard, gnu::always_inline]] inline bool PutExponentOf(char* out, std::size_t width,
                                                            char letter, double value) {
  static_assert(kDigits >= 1);
  return number_write_detail::PutExponentInline(out, width, kDigits, letter, value);
}
