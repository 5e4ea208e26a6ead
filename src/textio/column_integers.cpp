#include "textio/column_integers.h"

#include "textio/decimal_digits.h"

namespace {

// The eight characters at `p` as blanks followed by one to eight digits:
// their number, or false. The test is exact for any eight characters: it
// takes exactly the words of blanks then digits, whatever the field width
// the caller reads, and the number is below 10^8.
[[gnu::always_inline]] inline bool TakeBlanksThenDigits(const char* p, std::uint32_t& value) {
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
  value = EightDigitNumber(digits - 0x30 * kEachByte);
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
