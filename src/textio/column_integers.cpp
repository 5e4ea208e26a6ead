#include "textio/column_integers.h"

#include "textio/decimal_digits.h"

namespace {

// TakeColumnIntegers for one width, known when compiling.
template <std::size_t kWidth>
bool TakeIntegersOfWidth(std::string_view record, std::span<std::int32_t> values,
                         std::uint32_t wanted) {
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
    std::uint64_t digits;
    if (field[0] != ' ' || !BlanksThenDigits(field + kSkipped, digits)) return false;
    std::uint32_t ninth = 0;  // the digit before the last eight, times 10^8
    if constexpr (kSkipped == 2) {
      if (field[1] != ' ') {
        const unsigned digit = static_cast<unsigned>(field[1] - '0');
        if (digit > 9 || field[2] == ' ') return false;
        ninth = digit * 100000000u;
      }
    }
    // At most nine digits: every value fits.
    if ((wanted >> f) & 1) values[f] = static_cast<std::int32_t>(EightDigitNumber(digits) + ninth);
  }
  return true;
}

}  // namespace

bool TakeColumnIntegers(std::string_view record, std::size_t width, std::span<std::int32_t> values,
                        std::uint32_t wanted) {
  switch (width) {
    case 8:
      return TakeIntegersOfWidth<8>(record, values, wanted);
    case 9:
      return TakeIntegersOfWidth<9>(record, values, wanted);
    case 10:
      return TakeIntegersOfWidth<10>(record, values, wanted);
    default:
      return false;
  }
}

namespace {

// One field of TakeFilledColumnIntegers.
bool TakeFilledField(std::string_view field, std::int32_t& value) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  const bool negative = i < field.size() && field[i] == '-';
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) ++i;
  if (i == field.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < field.size(); ++i) {
    const unsigned digit = static_cast<unsigned>(field[i] - '0');
    if (digit > 9) return false;
    magnitude = magnitude * 10 + digit;  // at most ten digits: no overflow
  }
  if (negative) magnitude = -magnitude;
  if (magnitude < INT32_MIN || magnitude > INT32_MAX) return false;
  value = static_cast<std::int32_t>(magnitude);
  return true;
}

}  // namespace

bool TakeFilledColumnIntegers(std::string_view record, std::size_t width,
                              std::span<std::int32_t> values) {
  if (width < kNarrowestIntegerColumns || width > kWidestIntegerColumns) return false;
  const std::size_t length = width * values.size();
  if (record.size() < length || (record.size() > length && record[length] != ' ')) return false;
  bool filled = false;
  for (std::size_t f = 0; f < values.size(); ++f) {
    const std::string_view field = record.substr(width * f, width);
    filled = filled || field[0] != ' ';
    if (!TakeFilledField(field, values[f])) return false;
  }
  return filled;
}
