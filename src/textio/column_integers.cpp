#include "textio/column_integers.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint64_t kEachByte = 0x0101010101010101;

// 0x80 in every byte of v that is zero, and nothing elsewhere. Exact, with
// no false positive: (v & 0x7f) + 0x7f is computed per byte without a carry
// into the next byte (at most 0x7f + 0x7f = 0xfe), and its high bit is set
// exactly when the low seven bits of the byte are not all zero; or-ing v
// sets it too when the byte's own high bit is set. So the high bit stays
// clear only for a zero byte, and the complement, masked to the high bits
// by or-ing 0x7f in every byte first, marks exactly the zero bytes. (The
// shorter (v - 0x01..) & ~v & 0x80.. can mark a 0x01 byte above a zero byte
// through its borrow, which this form never has.)
constexpr std::uint64_t ZeroBytes(std::uint64_t v) {
  constexpr std::uint64_t kLow7 = 0x7f * kEachByte;
  return ~(((v & kLow7) + kLow7) | v | kLow7);
}

// The eight characters at `p` as blanks followed by one to eight digits:
// their number, or false. The test is exact for any eight characters: it
// takes exactly the words of blanks then digits, whatever the field width
// the caller reads, and the number is below 10^8.
[[gnu::always_inline]] inline bool TakeBlanksThenDigits(const char* p, std::uint32_t& value) {
  std::uint64_t x;
  std::memcpy(&x, p, sizeof(x));
  if constexpr (std::endian::native != std::endian::little) x = __builtin_bswap64(x);
  // The first character is the lowest byte.
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
  constexpr std::uint64_t kHigh = 0xf0 * kEachByte;
  if ((digits & kHigh) != 0x30 * kEachByte ||
      ((digits + 6 * kEachByte) & kHigh) != 0x30 * kEachByte) {
    return false;
  }
  // Eight digit values d0..d7, d0 (the first character, the highest digit)
  // in the lowest byte. No step below carries between the lanes it uses:
  // - v * 10 + (v >> 8) puts 10 * d(2i) + d(2i+1), at most 99, in byte 2i:
  //   the two-digit pairs, in bytes 0, 2, 4 and 6 (the odd bytes hold
  //   garbage that the masks drop);
  // - the pairs p0 (byte 0) and p2 (byte 4), masked to 32-bit lanes, times
  //   100 + 10^6 * 2^32, and p1 (byte 2) and p3 (byte 6) times
  //   1 + 10^4 * 2^32: the high 32 bits of the sum collect
  //   10^6 * p0 + 10^4 * p1 + 100 * p2 + p3, the eight-digit number (below
  //   10^8 < 2^32, so no carry leaves the lane), and the low 32 bits, which
  //   the shift drops, hold 100 * p0 + p1 (below 2^32 too).
  std::uint64_t v = digits - 0x30 * kEachByte;
  v = v * 10 + (v >> 8);
  v = (((v & 0x000000ff000000ff) * (100 + (1000000ULL << 32))) +
       (((v >> 16) & 0x000000ff000000ff) * (1 + (10000ULL << 32)))) >>
      32;
  value = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace

namespace {

// TakeColumnIntegers for one width, known when compiling.
template <std::size_t kWidth>
bool TakeIntegersOfWidth(std::string_view record, std::span<std::int32_t> values) {
  static_assert(kWidth >= kNarrowestIntegerColumns && kWidth <= kWidestIntegerColumns);
  const std::size_t length = kWidth * values.size();
  if (record.size() < length || (record.size() > length && record[length] != ' ')) return false;
  // Every field begins with a blank, which parts it from the field before:
  // the free-form read sees one value per field. The eight-character test
  // covers the field's last eight columns, so that the fields of every width
  // are read by the same exact test, and all within the record:
  // - 8 columns: the field's own blank and seven columns, one to seven digits;
  // - 9 columns: the eight after the blank, one to eight digits;
  // - 10 columns: the eight after the blank and one more column, which is a
  //   blank (one to eight digits) or a digit; a digit must be followed by
  //   eight digits, no blank between them, and makes a nine-digit number,
  //   below 10^9 < 2^31, read exactly as the free-form read reads it.
  constexpr std::size_t kSkipped = kWidth - 8;  // columns before the last eight
  for (std::size_t f = 0; f < values.size(); ++f) {
    const char* field = record.data() + kWidth * f;
    std::uint32_t value;
    if (field[0] != ' ' || !TakeBlanksThenDigits(field + kSkipped, value)) return false;
    if constexpr (kSkipped == 2) {
      if (field[1] != ' ') {
        const unsigned digit = static_cast<unsigned>(field[1] - '0');
        if (digit > 9 || field[2] == ' ') return false;
        value += digit * 100000000u;
      }
    }
    values[f] = static_cast<std::int32_t>(value);  // at most nine digits
  }
  return true;
}

}  // namespace

bool TakeColumnIntegers(std::string_view record, std::size_t width,
                        std::span<std::int32_t> values) {
  switch (width) {
    case 8:
      return TakeIntegersOfWidth<8>(record, values);
    case 9:
      return TakeIntegersOfWidth<9>(record, values);
    case 10:
      return TakeIntegersOfWidth<10>(record, values);
    default:
      return false;
  }
}
