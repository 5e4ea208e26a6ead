#include "textio/column_integers.h"

#include <bit>
#include <cstring>

#include "textio/decimal_digits.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// TakeColumnIntegers, field by field, for one width known when compiling.
template <std::size_t kWidth>
bool TakeFieldByField(std::string_view record, std::span<std::int32_t> values,
                      std::uint32_t wanted) {
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
    // Fields past the 32nd are tested, never stored: `wanted` has no bit for them.
    if (f < 32 && ((wanted >> f) & 1)) {
      values[f] = static_cast<std::int32_t>(EightDigitNumber(digits) + ninth);
    }
  }
  return true;
}

// The records the whole-record test takes: 64 columns a word.
constexpr std::size_t kColumnWords = 4;
constexpr std::size_t kMostWholeColumns = 64 * kColumnWords;

// Bit c of each word set for column c of a record of `width`-column fields:
// the first column of each field, and the last.
struct FieldColumns {
  std::uint64_t first[kColumnWords] = {};
  std::uint64_t last[kColumnWords] = {};
};

constexpr FieldColumns MakeFieldColumns(std::size_t width) {
  FieldColumns columns;
  for (std::size_t c = 0; c < kMostWholeColumns; ++c) {
    const std::uint64_t bit = std::uint64_t{1} << (c % 64);
    if (c % width == 0) columns.first[c / 64] |= bit;
    if (c % width == width - 1) columns.last[c / 64] |= bit;
  }
  return columns;
}

// Which of a record's columns are blanks and which digits, a bit each.
struct ColumnClasses {
  std::uint64_t blanks[kColumnWords] = {};
  std::uint64_t digits[kColumnWords] = {};
};

// The blanks and the digits among the columns of one step, a bit each.
struct StepClasses {
  std::uint64_t blanks;
  std::uint64_t digits;
};

#if defined(__SSE2__)
constexpr std::size_t kClassStep = 16;

// The classes of the 16 columns at `p`.
inline StepClasses ClassifyStep(const char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(9)), shifted);
  const __m128i blank = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
  const auto bits = [](__m128i marks) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(marks)));
  };
  return {bits(blank), bits(digit)};
}
#else
constexpr std::size_t kClassStep = 8;

inline StepClasses ClassifyStep(const char* p) {
  const std::uint64_t x = LoadEightCharacters(p);
  const std::uint64_t blank = ZeroBytes(x ^ (' ' * kEachByte));
  const std::uint64_t digit = ~NonDigitBytes(x) & (0x80 * kEachByte);
  return {HighBitsOfBytes(blank), HighBitsOfBytes(digit)};
}
#endif

// Or-s a step's bits into `classes` from column `c` on, into the next word
// too where they run past one.
inline void AddStep(ColumnClasses& classes, std::size_t c, StepClasses step) {
  classes.blanks[c / 64] |= step.blanks << (c % 64);
  classes.digits[c / 64] |= step.digits << (c % 64);
  if (c % 64 > 64 - kClassStep) {
    classes.blanks[c / 64 + 1] |= step.blanks >> (64 - c % 64);
    classes.digits[c / 64 + 1] |= step.digits >> (64 - c % 64);
  }
}

// The classes of the first `length` columns at `p` (at most
// kMostWholeColumns); the bits past them stay clear.
[[gnu::always_inline]] inline ColumnClasses ClassifyColumns(const char* p, std::size_t length) {
  ColumnClasses classes;
  std::size_t c = 0;
  // Steps that divide a word: none runs past one.
  for (; c + kClassStep <= length; c += kClassStep) {
    const StepClasses step = ClassifyStep(p + c);
    classes.blanks[c / 64] |= step.blanks << (c % 64);
    classes.digits[c / 64] |= step.digits << (c % 64);
  }
  if (c == length) return classes;
  if (length >= kClassStep) {
    // The last step's columns again, up to the record's end: the same bits.
    AddStep(classes, length - kClassStep, ClassifyStep(p + length - kClassStep));
    return classes;
  }
  // Read no further than the record: zeros, neither blanks nor digits,
  // after its end.
  char tail[kClassStep] = {};
  std::memcpy(tail, p, length);
  AddStep(classes, 0, ClassifyStep(tail));
  return classes;
}

// TakeColumnIntegers for a record of at most kMostWholeColumns columns,
// tested a word of columns at a time: every column a blank or a digit, each
// field's first a blank and its last a digit, and no blank after a digit in
// a field. So each field is its blank, then blanks and one to `kWidth` - 1
// digits, just what the field-by-field test takes.
template <std::size_t kWidth>
bool TakeWholeRecord(std::string_view record, std::span<std::int32_t> values,
                     std::uint32_t wanted) {
  static constexpr FieldColumns kFields = MakeFieldColumns(kWidth);
  const std::size_t length = kWidth * values.size();
  const ColumnClasses classes = ClassifyColumns(record.data(), length);
  std::uint64_t wrong = 0;
  std::uint64_t digit_before = 0;  // the last column of the word before a digit
  for (std::size_t k = 0; k * 64 < length; ++k) {
    const std::size_t left = length - k * 64;
    const std::uint64_t in = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    const std::uint64_t blanks = classes.blanks[k];
    const std::uint64_t digits = classes.digits[k];
    wrong |= in & ~(blanks | digits);
    wrong |= in & kFields.first[k] & ~blanks;
    wrong |= in & kFields.last[k] & ~digits;
    wrong |= ((digits << 1) | digit_before) & blanks & ~kFields.first[k];
    digit_before = digits >> 63;
  }
  if (wrong != 0) return false;
  // At most 32 fields (kMostWholeColumns / kNarrowestIntegerColumns).
  const auto fields = static_cast<std::uint32_t>((std::uint64_t{1} << values.size()) - 1);
  for (std::uint32_t left = wanted & fields; left != 0; left &= left - 1) {
    const auto f = static_cast<std::size_t>(std::countr_zero(left));
    const char* field = record.data() + kWidth * f;
    // Blanks and digits only: the low four bits are the digit, zero for a
    // blank. At most nine digits: every value fits.
    std::uint32_t value =
        EightDigitNumber(LoadEightCharacters(field + kWidth - 8) & (0x0f * kEachByte));
    if constexpr (kWidth == 10) value += static_cast<std::uint32_t>(field[1] & 0x0f) * 100000000u;
    values[f] = static_cast<std::int32_t>(value);
  }
  return true;
}

// TakeColumnIntegers for one width, known when compiling.
template <std::size_t kWidth>
bool TakeIntegersOfWidth(std::string_view record, std::span<std::int32_t> values,
                         std::uint32_t wanted) {
  static_assert(kWidth >= kNarrowestIntegerColumns && kWidth <= kWidestIntegerColumns);
  const std::size_t length = kWidth * values.size();
  if (record.size() < length || (record.size() > length && record[length] != ' ')) return false;
  if (length <= kMostWholeColumns) return TakeWholeRecord<kWidth>(record, values, wanted);
  return TakeFieldByField<kWidth>(record, values, wanted);
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
