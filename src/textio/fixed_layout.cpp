#include "textio/fixed_layout.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>

#include "textio/diagnostics.h"

namespace {

bool IsControlSpace(char c) { return c >= 9 && c <= 13; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Lower(text[i]) != lower_word[i]) return false;
  }
  return true;
}

bool IsExponentLetter(char c) {
  switch (c) {
    case 'E': case 'e': case 'D': case 'd': case 'Q': case 'q':
      return true;
    default:
      return false;
  }
}

bool IsDigit(char c) { return static_cast<unsigned>(c - '0') <= 9; }

// Saturates far beyond any exponent a double can take, so that long exponent
// texts cannot overflow.
constexpr long kExponentLimit = 100000000;

}  // namespace

bool ConvertRealText(std::string_view text, int digits, double& value) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == n) {  // empty, or a sign alone
    value = negative ? -0.0 : 0.0;
    return true;
  }
  if (!IsDigit(text[i]) && text[i] != '.') {
    std::string_view word = text.substr(i);
    if (EqualsIgnoringCase(word, "inf") || EqualsIgnoringCase(word, "infinity")) {
      value = negative ? -HUGE_VAL : HUGE_VAL;
      return true;
    }
    if (EqualsIgnoringCase(word, "nan")) {
      value = std::nan("");
      return true;
    }
    return false;
  }
  const std::size_t mantissa_begin = i;
  std::size_t digit_count = 0;
  std::size_t digits_before_point = 0;
  std::size_t first_nonzero = std::string_view::npos;  // digit index
  bool has_point = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      if (c != '0' && first_nonzero == std::string_view::npos) first_nonzero = digit_count;
      ++digit_count;
    } else if (c == '.' && !has_point) {
      has_point = true;
      digits_before_point = digit_count;
    } else {
      break;
    }
  }
  if (digit_count == 0) return false;
  if (!has_point) digits_before_point = digit_count;
  const std::size_t mantissa_end = i;
  long exponent = 0;
  if (i < n) {
    if (IsExponentLetter(text[i])) ++i;
    else if (text[i] != '+' && text[i] != '-') return false;
    bool exponent_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (i == n) return false;  // an exponent needs digits
    for (; i < n; ++i) {
      if (!IsDigit(text[i])) return false;
      if (exponent < kExponentLimit) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exponent_negative) exponent = -exponent;
  }
  if (first_nonzero == std::string_view::npos) {  // all digits zero
    value = negative ? -0.0 : 0.0;
    return true;
  }
  // Implied point: without a written point the last `digits` digits are the fraction.
  if (!has_point) exponent -= digits;

  // Normalise to "[-]mantissa e exponent" and let from_chars round once, exactly.
  const std::size_t mantissa_length = mantissa_end - mantissa_begin;
  char stack[128];
  std::string heap;
  char* buffer = stack;
  if (mantissa_length + 16 > sizeof(stack)) {
    heap.resize(mantissa_length + 16);
    buffer = heap.data();
  }
  char* p = buffer;
  if (negative) *p++ = '-';
  std::memcpy(p, text.data() + mantissa_begin, mantissa_length);
  p += mantissa_length;
  *p++ = 'e';
  p = std::to_chars(p, p + 12, exponent).ptr;
  auto [end, ec] = std::from_chars(buffer, p, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Past the largest 64-bit real but within its decade (a value such as
    // 0.179769313486232+309, the largest real rounded to 15 digits): the
    // nearest real is the largest. A larger exponent gives infinity; below the
    // smallest magnitude, zero.
    long leading_digit_exponent =
        static_cast<long>(digits_before_point) - static_cast<long>(first_nonzero) - 1 + exponent;
    if (leading_digit_exponent <= 0) value = 0.0;
    else value = leading_digit_exponent <= DBL_MAX_10_EXP ? DBL_MAX : HUGE_VAL;
    if (negative) value = -value;
    return true;
  }
  return ec == std::errc() && end == p;
}

namespace {

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The usual field, read straight from the record: blanks, a sign, at most 18
// digits with a point, an exponent after E or D. A mantissa below 2^53 times
// or over an exactly held power of ten is rounded once by the one operation,
// so the result is the nearest real. Anything else returns false and goes the
// general way.
bool ReadUsualRealField(std::string_view field, int digits, double& value) {
  const char* p = field.data();
  const char* const end = p + field.size();
  while (p < end && *p == ' ') ++p;
  if (p == end) return false;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::uint64_t mantissa = 0;
  auto take_digits = [&] {
    const char* first = p;
    for (; p < end && IsDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    return static_cast<int>(p - first);
  };
  int digit_count = take_digits();
  int fraction_digits = 0;
  const bool has_point = p < end && *p == '.';
  if (has_point) {
    ++p;
    fraction_digits = take_digits();
    digit_count += fraction_digits;
  }
  if (digit_count == 0 || digit_count > 18) return false;  // 18 digits always fit
  int exponent = 0;
  if (p < end && *p != ' ') {
    if (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd') ++p;
    else if (*p != '+' && *p != '-') return false;
    bool exponent_negative = false;
    if (p < end && (*p == '+' || *p == '-')) exponent_negative = *p++ == '-';
    const char* first = p;
    for (; p < end && IsDigit(*p) && p - first < 4; ++p) exponent = exponent * 10 + (*p - '0');
    if (p == first) return false;
    if (exponent_negative) exponent = -exponent;
  }
  while (p < end && *p == ' ') ++p;
  if (p != end) return false;
  exponent -= has_point ? fraction_digits : digits;
  if (mantissa == 0) {
    value = negative ? -0.0 : 0.0;
    return true;
  }
  if (mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) return false;
  const double m = static_cast<double>(mantissa);
  value = exponent < 0 ? m / kExactPowersOfTen[-exponent] : m * kExactPowersOfTen[exponent];
  if (negative) value = -value;
  return true;
}

}  // namespace

bool ParseRealField(std::string_view field, int digits, double& value) {
  if (ReadUsualRealField(field, digits, value)) return true;
  std::size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || IsControlSpace(field[i]))) ++i;
  char stack[64];
  std::string heap;
  char* buffer = stack;
  if (field.size() - i > sizeof(stack)) {
    heap.resize(field.size() - i);
    buffer = heap.data();
  }
  std::size_t length = 0;
  for (; i < field.size(); ++i) {
    char c = field[i];
    if (c == ' ') continue;  // blanks anywhere are ignored
    buffer[length++] = c;
  }
  return ConvertRealText(std::string_view(buffer, length), digits, value);
}

bool ParseIntegerField(std::string_view field, std::int32_t& value) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  std::int64_t magnitude = 0;
  for (; i < field.size(); ++i) {
    char c = field[i];
    if (c == ' ') continue;  // blanks after the first non-blank are ignored
    if (!IsDigit(c)) return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > std::int64_t{2147483648}) return false;
  }
  if (negative) magnitude = -magnitude;
  if (magnitude > 2147483647) return false;
  value = static_cast<std::int32_t>(magnitude);
  return true;
}

std::string_view TakeNumberField(std::string_view record, std::size_t& pos, int width) {
  std::size_t w = static_cast<std::size_t>(width);
  if (pos >= record.size()) {
    pos += w;
    return {};
  }
  std::string_view field = record.substr(pos, w);  // missing columns read as blanks
  std::size_t comma = field.find(',');
  if (comma != std::string_view::npos) {
    pos += comma + 1;
    return field.substr(0, comma);
  }
  pos += w;
  return field;
}

void TakeTextField(std::string_view record, std::size_t& pos, int width, std::span<char> item) {
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t length = item.size();
  // w >= L keeps the last L characters of the field; w < L pads with blanks.
  const std::size_t first_column = pos + (w >= length ? w - length : 0);
  const std::size_t count = std::min(w, length);
  pos += w;
  std::size_t present = 0;  // characters the record holds; missing columns read as blanks
  if (first_column < record.size()) present = std::min(count, record.size() - first_column);
  if (present > 0) std::memcpy(item.data(), record.data() + first_column, present);
  std::memset(item.data() + present, ' ', length - present);
}

LineBuffer LeadingColumns(std::string_view record, std::size_t width) {
  return record.substr(0, std::min(width, record.size()));
}

LineBuffer ReadProbe(InputFile& file, Layout probe) {
  assert(!probe.empty() && probe[0].kind == FieldKind::kText);
  return LeadingColumns(file.ReadRecord(), static_cast<std::size_t>(probe[0].width));
}

bool TextIs(std::string_view text, std::string_view word) {
  const std::size_t common = std::min(text.size(), word.size());
  if (text.substr(0, common) != word.substr(0, common)) return false;
  std::string_view rest = text.size() > common ? text.substr(common) : word.substr(common);
  return rest.find_first_not_of(' ') == std::string_view::npos;
}

bool ReadFixedFields(std::string_view record, Layout layout, std::span<const ReadItem> items) {
  std::size_t pos = 0;
  std::size_t item = 0;
  for (const FieldSpec& field : layout) {
    for (int r = 0; r < field.repeat; ++r) {
      assert(item < items.size() && "a layout takes as many items as the read names");
      const ReadItem& target = items[item++];
      switch (field.kind) {
        case FieldKind::kText:
          TakeTextField(record, pos, field.width, target.text);
          break;
        case FieldKind::kInteger: {
          std::int32_t value;
          if (!ParseIntegerField(TakeNumberField(record, pos, field.width), value)) return false;
          *target.integer = value;
          break;
        }
        case FieldKind::kReal: {
          double value;
          // A usual number fills its columns without a comma; anything else
          // takes the general way, comma rule included.
          const std::size_t w = static_cast<std::size_t>(field.width);
          if (pos < record.size() &&
              ReadUsualRealField(record.substr(pos, w), field.digits, value)) {
            pos += w;
          } else if (!ParseRealField(TakeNumberField(record, pos, field.width), field.digits,
                                     value)) {
            return false;
          }
          *target.real = value;
          break;
        }
        default:
          assert(false && "input layouts hold only text, integer and real fields");
      }
    }
  }
  return true;
}

void ReadFixedRecord(InputFile& file, Layout layout, std::initializer_list<ReadItem> items) {
  std::string_view record = file.ReadRecord();
  // A record break splits the layout: each part reads a record of its own.
  std::size_t first_field = 0;
  std::size_t first_item = 0;
  for (std::size_t f = 0; f <= layout.size(); ++f) {
    if (f < layout.size() && layout[f].kind != FieldKind::kRecordBreak) continue;
    Layout part = layout.subspan(first_field, f - first_field);
    std::size_t item_count = 0;
    for (const FieldSpec& field : part) item_count += static_cast<std::size_t>(field.repeat);
    std::span<const ReadItem> part_items(items.begin() + first_item, item_count);
    if (!ReadFixedFields(record, part, part_items)) {
      RaiseDiagnostic(kInputConversion, file.unit(), file.path());
    }
    first_item += item_count;
    first_field = f + 1;
    if (f < layout.size()) record = file.ReadRecord();
  }
}

namespace {

bool Overflow(char* out, std::size_t width) {
  std::memset(out, '*', width);
  return false;
}

// The Put functions write into a field that is blank already, so that a
// record is blanked once and not field by field.
bool PutRightAligned(char* out, std::size_t width, std::string_view text) {
  if (text.size() > width) return Overflow(out, width);
  std::memcpy(out + (width - text.size()), text.data(), text.size());
  return true;
}

constexpr char kZeroDigits[] = "0000000000000000000000000000000000000000";

// "00" to "99": decimal digits two at a time.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes v as exactly `count` digits, zeros in front.
void PutDigits(char* out, int count, std::uint32_t v) {
  for (; count >= 2; count -= 2) {
    std::memcpy(out + count - 2, kPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (count == 1) out[0] = static_cast<char>('0' + v);
}

bool PutInteger(char* out, std::size_t w, std::int32_t value) {
  const std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                            : static_cast<std::uint32_t>(value);
  int count = 1;
  for (std::uint32_t rest = magnitude; rest >= 10; rest /= 10) ++count;
  const std::size_t length = static_cast<std::size_t>(count + (value < 0 ? 1 : 0));
  if (length > w) return Overflow(out, w);
  char* digits = out + w - count;
  PutDigits(digits, count, magnitude);
  if (value < 0) digits[-1] = '-';
  return true;
}

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
  if (magnitude > 999) return Overflow(out, w);
  const std::size_t essential = (negative ? 1 : 0) + 1 + d + 4;
  if (essential > w) return Overflow(out, w);
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

}  // namespace

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

std::size_t LayoutLength(Layout layout) {
  std::size_t length = 0;
  for (const FieldSpec& field : layout) {
    length += static_cast<std::size_t>(field.repeat) * static_cast<std::size_t>(field.width);
  }
  return length;
}

bool FormatFixedRecord(char* out, Layout layout, std::span<const WriteItem> items) {
  std::memset(out, ' ', LayoutLength(layout));  // skipped columns and field fill
  bool fits = true;
  std::size_t item = 0;
  for (const FieldSpec& field : layout) {
    const std::size_t w = static_cast<std::size_t>(field.width);
    for (int r = 0; r < field.repeat; ++r) {
      switch (field.kind) {
        case FieldKind::kLiteral:
          std::memcpy(out, field.literal.data(), w);
          break;
        case FieldKind::kSkip:
          break;
        case FieldKind::kText: {
          assert(item < items.size());
          std::string_view text = items[item++].text();
          if (w >= text.size()) {
            std::memcpy(out + (w - text.size()), text.data(), text.size());
          } else {
            std::memcpy(out, text.data(), w);
          }
          break;
        }
        case FieldKind::kInteger:
          assert(item < items.size());
          fits &= PutInteger(out, w, items[item++].integer());
          break;
        case FieldKind::kReal:
          assert(item < items.size());
          fits &= PutExponent(out, w, field.digits, field.exponent_letter, items[item++].real());
          break;
        case FieldKind::kRecordBreak:
          assert(false && "output layouts hold no record break");
          break;
      }
      out += w;
    }
  }
  return fits;
}

void WriteFixedRecord(OutputFile& file, Layout layout, std::initializer_list<WriteItem> items) {
  const std::size_t length = LayoutLength(layout);
  char* out = file.ReserveRecord(length);
  const bool fits = FormatFixedRecord(out, layout, std::span<const WriteItem>(items.begin(), items.size()));
  file.CommitRecord(length);
  if (!fits) ReportOutputConversion(file.unit(), file.path());
}

std::int32_t TextToInteger(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::int32_t value = 0;
  // No comma may end a command field early: the whole text must be a number.
  if (text.find(',') != std::string_view::npos || text.find('\t') != std::string_view::npos ||
      !ParseIntegerField(text, value)) {
    RaiseDiagnostic(kInvalidInteger);
  }
  return value;
}

double TextToReal(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || IsControlSpace(text[i]))) ++i;
  char buffer[128];
  std::string heap;
  char* out = buffer;
  if (text.size() - i > sizeof(buffer)) {
    heap.resize(text.size() - i);
    out = heap.data();
  }
  std::size_t length = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    // A blank inside a command's number counts as the digit 0.
    out[length++] = c == ' ' ? '0' : c;
  }
  double value = 0.0;
  if (!ConvertRealText(std::string_view(out, length), 0, value)) RaiseDiagnostic(kInvalidReal);
  return value;
}

void DateText(std::span<char> buffer) {
  static constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                            "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[10];
  int day = local.tm_mday;
  int month = local.tm_mon;
  int year = ((local.tm_year + 1900) % 100 + 100) % 100;
  text[0] = static_cast<char>('0' + day / 10);
  text[1] = static_cast<char>('0' + day % 10);
  text[2] = '-';
  std::memcpy(text + 3, kMonths[month], 3);
  text[6] = '-';
  text[7] = static_cast<char>('0' + year / 10);
  text[8] = static_cast<char>('0' + year % 10);
  for (std::size_t k = 0; k < buffer.size(); ++k) buffer[k] = k < 9 ? text[k] : ' ';
}
