// Numbers read from text: the quick path of the usual real field, the
// general real conversion, and the command-field conversions that raise.
#include "textio/number_read.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
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

bool IsExponentLetter(char c) { return c != '\0' && std::strchr("EeDdQq", c) != nullptr; }

// Saturates far beyond any exponent a double can take, so that long exponent
// texts cannot overflow.
constexpr long kExponentLimit = 100000000;

// The text of one number as a conversion rebuilds it: on the stack for the
// usual short number, on the heap for a longer one.
class NumberText {
 public:
  explicit NumberText(std::size_t capacity) {
    if (capacity > sizeof(stack_)) {
      heap_.resize(capacity);
      data_ = heap_.data();
    }
  }
  NumberText(const NumberText&) = delete;
  NumberText& operator=(const NumberText&) = delete;

  void Append(char c) { data_[length_++] = c; }
  void Append(std::string_view text) {
    std::memcpy(data_ + length_, text.data(), text.size());
    length_ += text.size();
  }
  void Append(long number) {
    char* end = std::to_chars(data_ + length_, data_ + length_ + kLongDigits, number).ptr;
    length_ = static_cast<std::size_t>(end - data_);
  }
  std::string_view view() const { return {data_, length_}; }

  // Room that Append(long) may take: a sign and the 19 digits of a long.
  static constexpr std::size_t kLongDigits = 20;

 private:
  char stack_[128];
  std::string heap_;
  char* data_ = stack_;
  std::size_t length_ = 0;
};

// Takes a leading sign at `i`; true when it is a minus.
bool TakeSign(std::string_view text, std::size_t& i) {
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return text[i++] == '-';
  return false;
}

// The words a real may be instead of digits: "inf", "infinity", "nan", in
// any case.
bool ReadSpecialWord(std::string_view word, bool negative, double& value) {
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

// The digits of a real with at most one point, as ScanMantissa finds them.
struct Mantissa {
  std::string_view text;  // digits and point as written
  std::size_t digit_count = 0;
  std::size_t digits_before_point = 0;                 // all of them without a point
  std::size_t first_nonzero = std::string_view::npos;  // digit index; npos when all are zero
  bool has_point = false;
};

// Scans the mantissa starting at `i` and leaves `i` after it; false when it
// holds no digit.
bool ScanMantissa(std::string_view text, std::size_t& i, Mantissa& m) {
  const std::size_t begin = i;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      if (c != '0' && m.first_nonzero == std::string_view::npos) m.first_nonzero = m.digit_count;
      ++m.digit_count;
    } else if (c == '.' && !m.has_point) {
      m.has_point = true;
      m.digits_before_point = m.digit_count;
    } else {
      break;
    }
  }
  if (!m.has_point) m.digits_before_point = m.digit_count;
  m.text = text.substr(begin, i - begin);
  return m.digit_count > 0;
}

// The exponent part after the mantissa: empty, or an optional exponent
// letter, an optional sign (required without the letter) and digits. False
// for anything else.
bool ReadExponent(std::string_view text, long& exponent) {
  exponent = 0;
  if (text.empty()) return true;
  std::size_t i = 0;
  if (IsExponentLetter(text[0])) {
    ++i;
  } else if (text[0] != '+' && text[0] != '-') {
    return false;
  }
  const bool negative = TakeSign(text, i);
  if (i == text.size()) return false;  // an exponent needs digits
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    if (exponent < kExponentLimit) exponent = exponent * 10 + (text[i] - '0');
  }
  if (negative) exponent = -exponent;
  return true;
}

// The nearest real to a mantissa with a nonzero digit times 10^exponent,
// rounded once: the text is rebuilt as "[-]mantissa e exponent" for
// from_chars.
bool RoundOnce(bool negative, const Mantissa& m, long exponent, double& value) {
  NumberText number(m.text.size() + 2 + NumberText::kLongDigits);
  if (negative) number.Append('-');
  number.Append(m.text);
  number.Append('e');
  number.Append(exponent);
  const std::string_view text = number.view();
  double result;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), result, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Past the largest 64-bit real but within its decade (a value such as
    // 0.179769313486232+309, the largest real rounded to 15 digits): the
    // nearest real is the largest. A larger exponent gives infinity; below the
    // smallest magnitude, zero.
    const long leading_digit_exponent = static_cast<long>(m.digits_before_point) -
                                        static_cast<long>(m.first_nonzero) - 1 + exponent;
    if (leading_digit_exponent <= 0) result = 0.0;
    else result = leading_digit_exponent <= DBL_MAX_10_EXP ? DBL_MAX : HUGE_VAL;
    value = negative ? -result : result;
    return true;
  }
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = result;
  return true;
}

}  // namespace

bool ConvertRealText(std::string_view text, int digits, double& value) {
  std::size_t i = 0;
  const bool negative = TakeSign(text, i);
  if (i == text.size()) {  // empty, or a sign alone
    value = negative ? -0.0 : 0.0;
    return true;
  }
  if (!IsDigit(text[i]) && text[i] != '.') return ReadSpecialWord(text.substr(i), negative, value);
  Mantissa mantissa;
  if (!ScanMantissa(text, i, mantissa)) return false;
  long exponent = 0;
  if (!ReadExponent(text.substr(i), exponent)) return false;
  if (mantissa.first_nonzero == std::string_view::npos) {  // all digits zero
    value = negative ? -0.0 : 0.0;
    return true;
  }
  // Implied point: without a written point the last `digits` digits are the fraction.
  if (!mantissa.has_point) exponent -= digits;
  return RoundOnce(negative, mantissa, exponent, value);
}

namespace {

// The mantissa most fields of a model hold, one digit, the point, and 8 to
// 15 fraction digits, read eight characters at a time: 18 characters at p
// are the digit, the point, eight digits and eight characters of which the
// first n (0 to 7) are digits and the next is not. Then the n digits move
// to the high end of their word, '0's fill the bytes below, and the word
// reads as their number. The mantissa, `fraction_digits` and p are then
// what reading the digits one by one gives; any other text gives false with
// nothing taken.
[[gnu::always_inline]] inline bool TakeOneDigitAndFraction(const char*& p, const char* end,
                                                           std::uint64_t& mantissa,
                                                           int& fraction_digits) {
  if (end - p < 18 || !IsDigit(p[0]) || p[1] != '.') return false;
  const std::uint64_t first = LoadEightCharacters(p + 2);
  if (NonDigitBytes(first) != 0) return false;
  const std::uint64_t others = NonDigitBytes(LoadEightCharacters(p + 10));
  if (others == 0) return false;  // sixteen fraction digits or more
  const int n = std::countr_zero(others) / 8;
  mantissa = static_cast<std::uint64_t>(p[0] - '0') * 100000000 +
             EightDigitNumber(first - 0x30 * kEachByte);
  if (n > 0) {
    const std::uint64_t moved =
        (LoadEightCharacters(p + 10) << (64 - 8 * n)) | ((0x30 * kEachByte) >> (8 * n));
    mantissa = mantissa * kPowersOfTen[n] + EightDigitNumber(moved - 0x30 * kEachByte);
  }
  fraction_digits = 8 + n;
  p += 10 + n;
  return true;
}

}  // namespace

bool ReadUsualRealField(std::string_view field, int digits, double& value) {
  const char* p = field.data();
  const char* const end = p + field.size();
  while (p < end && *p == ' ') ++p;
  if (p == end) return false;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::uint64_t mantissa = 0;
  int digit_count = 0;
  int fraction_digits = 0;
  bool has_point = true;
  if (TakeOneDigitAndFraction(p, end, mantissa, fraction_digits)) {
    digit_count = 1 + fraction_digits;
  } else {
    auto take_digits = [&] {
      const char* first = p;
      for (; p < end && IsDigit(*p); ++p) {
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      }
      return static_cast<int>(p - first);
    };
    digit_count = take_digits();
    has_point = p < end && *p == '.';
    if (has_point) {
      ++p;
      fraction_digits = take_digits();
      digit_count += fraction_digits;
    }
  }
  if (digit_count == 0 || digit_count > 18) return false;  // 18 digits always fit
  int exponent = 0;
  const std::ptrdiff_t rest = end - p;
  if ((rest == 4 || rest == 5) && ((p[0] | 0x20) == 'e' || (p[0] | 0x20) == 'd') &&
      (p[1] == '+' || p[1] == '-') && IsDigit(p[2]) && IsDigit(p[3]) &&
      (rest == 4 || IsDigit(p[4]))) {
    // The usual exponent, a letter, a sign and two or three digits that end
    // the field, at once.
    exponent = (p[2] - '0') * 10 + (p[3] - '0');
    if (rest == 5) exponent = exponent * 10 + (p[4] - '0');
    if (p[1] == '-') exponent = -exponent;
    p = end;
  } else if (p < end && *p != ' ') {
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

bool ParseRealField(std::string_view field, int digits, double& value) {
  if (ReadUsualRealField(field, digits, value)) return true;
  std::size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || IsControlSpace(field[i]))) ++i;
  NumberText number(field.size() - i);
  for (; i < field.size(); ++i) {
    if (field[i] != ' ') number.Append(field[i]);  // blanks anywhere are ignored
  }
  return ConvertRealText(number.view(), digits, value);
}

bool TryTextToInteger(std::string_view text, std::int32_t& value) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  value = 0;
  // No comma may end a command field early: the whole text must be a number.
  return text.find(',') == std::string_view::npos && text.find('\t') == std::string_view::npos &&
         ParseIntegerField(text, value);
}

std::int32_t TextToInteger(std::string_view text) {
  std::int32_t value = 0;
  if (!TryTextToInteger(text, value)) RaiseDiagnostic(kInvalidInteger);
  return value;
}

bool TryTextToReal(std::string_view text, double& value) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || IsControlSpace(text[i]))) ++i;
  NumberText number(text.size() - i);
  // A blank inside a command's number counts as the digit 0.
  for (; i < text.size(); ++i) number.Append(text[i] == ' ' ? '0' : text[i]);
  value = 0.0;
  return ConvertRealText(number.view(), 0, value);
}

double TextToReal(std::string_view text) {
  double value = 0.0;
  if (!TryTextToReal(text, value)) RaiseDiagnostic(kInvalidReal);
  return value;
}
