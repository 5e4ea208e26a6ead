// Numbers written into fields of fixed width: integers right-aligned, reals
// in exponent form (0.ddd, then the exponent), asterisks when a value does
// not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

/// Writes v as exactly `count` digits, zeros in front.
inline void PutDigits(char* out, int count, std::uint32_t v) {
  for (; count >= 2; count -= 2) {
    std::memcpy(out + count - 2, kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (count == 1) out[0] = static_cast<char>('0' + v);
}

/// Writes `value` right-aligned in the `width` blank columns at `out`.
[[nodiscard]] inline bool PutInteger(char* out, std::size_t width, std::int32_t value) {
  const std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  int count = 1;
  for (std::uint32_t rest = magnitude; rest >= 10; rest /= 10) ++count;
  const std::size_t length = static_cast<std::size_t>(count + (value < 0 ? 1 : 0));
  if (length > width) return PutOverflow(out, width);
  char* digits = out + width - count;
  PutDigits(digits, count, magnitude);
  if (value < 0) digits[-1] = '-';
  return true;
}

/// Writes `value` in exponent form into the `width` blank columns at `out`.
[[nodiscard]] bool PutExponent(char* out, std::size_t width, int digits, char letter, double value);
