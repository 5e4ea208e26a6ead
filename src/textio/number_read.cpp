// Numbers read from text: the quick path of the usual real field, the
// general real conversion, and the command-field conversions that raise.
#include "textio/number_read.h"

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

bool IsExponentLetter(char c) {
  switch (c) {
    case 'E': case 'e': case 'D': case 'd': case 'Q': case 'q':
      return true;
    default:
      return false;
  }
}

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
