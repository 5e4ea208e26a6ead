// Decimal digits as the number readers and writers share them: the test for
// a digit, eight digit characters read at once, and the powers of ten, as
// integers and as the 64-bit reals that hold them exactly.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

inline bool IsDigit(char c) { return static_cast<unsigned>(c - '0') <= 9; }

inline constexpr std::uint64_t kEachByte = 0x0101010101010101;

/// 0x80 in every byte of v that is zero, and nothing elsewhere. Exact, with
/// no false positive: (v & 0x7f) + 0x7f is computed per byte without a carry
/// into the next byte (at most 0x7f + 0x7f = 0xfe), and its high bit is set
/// exactly when the low seven bits of the byte are not all zero; or-ing v
/// sets it too when the byte's own high bit is set. So the high bit stays
/// clear only for a zero byte, and the complement, masked to the high bits
/// by or-ing 0x7f in every byte first, marks exactly the zero bytes. (The
/// shorter (v - 0x01..) & ~v & 0x80.. can mark a 0x01 byte above a zero byte
/// through its borrow, which this form never has.)
constexpr std::uint64_t ZeroBytes(std::uint64_t v) {
  constexpr std::uint64_t kLow7 = 0x7f * kEachByte;
  return ~(((v & kLow7) + kLow7) | v | kLow7);
}

/// One bit for each byte of m that is 0x80 or 0 (as ZeroBytes and
/// NonDigitBytes mark them): bit k for byte k. The multiplier moves byte k's
/// bit, at 8k once shifted down, to 56 + k; the other products land outside
/// the top byte, and carry nothing into it.
constexpr std::uint64_t HighBitsOfBytes(std::uint64_t m) {
  return ((m >> 7) * 0x0102040810204080) >> 56;
}

/// The eight characters at `p` as one word, the first in the lowest byte.
inline std::uint64_t LoadEightCharacters(const char* p) {
  std::uint64_t x;
  std::memcpy(&x, p, sizeof(x));
  if constexpr (std::endian::native != std::endian::little) x = __builtin_bswap64(x);
  return x;
}

/// 0x80 in every byte of x that is not a digit character ('0' to '9'), and
/// nothing elsewhere. A digit has the high nibble 3 (the zero bytes of
/// x & 0xf0.. ^ 0x30..) and a low nibble below 10: adding 6 to the low
/// nibble alone (at most 0x0f + 6 = 0x15, no carry out of the byte) sets
/// bit 4 exactly for 10 to 15.
constexpr std::uint64_t NonDigitBytes(std::uint64_t x) {
  const std::uint64_t high_nibble_3 = ZeroBytes((x & (0xf0 * kEachByte)) ^ (0x30 * kEachByte));
  const std::uint64_t low_nibble_over_9 =
      (((x & (0x0f * kEachByte)) + 6 * kEachByte) & (0x10 * kEachByte)) << 3;
  return (~high_nibble_3 | low_nibble_over_9) & (0x80 * kEachByte);
}

/// The number that eight digit values d0..d7 (0 to 9 each, d0 the highest
/// digit, in the lowest byte) write. No step carries between the lanes it
/// uses:
/// - v * 10 + (v >> 8) puts 10 * d(2i) + d(2i+1), at most 99, in byte 2i:
///   the two-digit pairs, in bytes 0, 2, 4 and 6 (the odd bytes hold
///   garbage that the masks drop);
/// - the pairs p0 (byte 0) and p2 (byte 4), masked to 32-bit lanes, times
///   100 + 10^6 * 2^32, and p1 (byte 2) and p3 (byte 6) times
///   1 + 10^4 * 2^32: the high 32 bits of the sum collect
///   10^6 * p0 + 10^4 * p1 + 100 * p2 + p3, the eight-digit number (below
///   10^8 < 2^32, so no carry leaves the lane), and the low 32 bits, which
///   the shift drops, hold 100 * p0 + p1 (below 2^32 too).
constexpr std::uint32_t EightDigitNumber(std::uint64_t v) {
  v = v * 10 + (v >> 8);
  v = (((v & 0x000000ff000000ff) * (100 + (1000000ULL << 32))) +
       (((v >> 16) & 0x000000ff000000ff) * (1 + (10000ULL << 32)))) >>
      32;
  return static_cast<std::uint32_t>(v);
}

/// 10^0 to 10^22: every power of ten up to 10^22 is a 64-bit real exactly
/// (5^22 < 2^53), so one multiplication or division by it rounds once.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

/// The largest n with 10^n in kExactPowersOfTen.
inline constexpr int kLargestExactPowerOfTen = 22;

/// 10^0 to 10^19, every power of ten below 2^64.
inline constexpr std::uint64_t kPowersOfTen[] = {1,
                                                 10,
                                                 100,
                                                 1000,
                                                 10000,
                                                 100000,
                                                 1000000,
                                                 10000000,
                                                 100000000,
                                                 1000000000,
                                                 10000000000,
                                                 100000000000,
                                                 1000000000000,
                                                 10000000000000,
                                                 100000000000000,
                                                 1000000000000000,
                                                 10000000000000000,
                                                 100000000000000000,
                                                 1000000000000000000,
                                                 10000000000000000000u};

/// Whether the eight characters at `p` are blanks followed by one to eight
/// digits; if so, `digit_values` holds their digit values, the blanks as
/// zeros, for EightDigitNumber. The test is exact for any eight characters: it
/// takes exactly the words of blanks then digits, whatever the field width
/// the caller reads.
[[gnu::always_inline]] inline bool BlanksThenDigits(const char* p, std::uint64_t& digit_values) {
  const std::uint64_t x = LoadEightCharacters(p);  // the first character in the lowest byte
  const std::uint64_t blanks = ZeroBytes(x ^ (' ' * kEachByte));
  const std::uint64_t others = ~blanks & (0x80 * kEachByte);
  if (others == 0) return false;  // no digit
  // The blanks all come before the first other character.
  if ((blanks & ~((others & (0 - others)) - 1)) != 0) return false;
  // Blanks read as '0': a blank (0x20) with 0x10 or-ed in is 0x30.
  const std::uint64_t digits = x | ((blanks >> 7) * 0x10);
  // Every byte must now be a digit, 0x30 to 0x39: its high nibble 3, and
  // adding 6 must leave it 3 (0x3a to 0x3f would become 0x40 to 0x45). The
  // sum cannot carry from one byte into the next: a byte that passed the
  // first test is at most 0x3f, and 0x3f + 6 = 0x45 stays within the byte.
  // (Two word compares: fewer steps than NonDigitBytes, which must also
  // hold for bytes that fail the first test.)
  constexpr std::uint64_t kHigh = 0xf0 * kEachByte;
  if ((digits & kHigh) != 0x30 * kEachByte ||
      ((digits + 6 * kEachByte) & kHigh) != 0x30 * kEachByte) {
    return false;
  }
  digit_values = digits - 0x30 * kEachByte;
  return true;
}

/// The eight characters at `p` as blanks followed by one to eight digits:
/// their number, below 10^8, or false.
[[gnu::always_inline]] inline bool TakeBlanksThenDigits(const char* p, std::uint32_t& value) {
  std::uint64_t digit_values;
  if (!BlanksThenDigits(p, digit_values)) return false;
  value = EightDigitNumber(digit_values);
  return true;
}
