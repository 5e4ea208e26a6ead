// Numbers read from text: the integer and real rules of fixed-width fields,
// the quick exact path for the usual real field and the general conversion
// behind it, and the conversions of command fields.
#pragma once

#include <cstdint>
#include <string_view>

#include "textio/decimal_digits.h"

/// Integer field rule; false, with `value` as it was, when the field is
/// invalid. Inline: the node
/// records read three of these per record.
[[nodiscard]] inline bool ParseIntegerField(std::string_view field, std::int32_t& value) {
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

/// The usual real field, read straight from the record: blanks, a sign, at
/// most 18 digits with a point, an exponent after E or D. False, with `value`
/// untouched, for anything it cannot read exactly; ParseRealField then takes
/// the general way.
[[nodiscard]] bool ReadUsualRealField(std::string_view field, int digits, double& value);

/// Real field rule with `digits` implied decimals; false, with `value` as it
/// was, when the field is invalid.
[[nodiscard]] bool ParseRealField(std::string_view field, int digits, double& value);

/// Text-to-number core shared by fixed and free-form reads: `text` holds no
/// blanks; a mantissa without point takes its last `digits` as the fraction.
/// False, with `value` as it was, when `text` is no number.
[[nodiscard]] bool ConvertRealText(std::string_view text, int digits, double& value);

/// Text-to-integer of a command field; an invalid text raises 545.
std::int32_t TextToInteger(std::string_view text);
/// The same, false where TextToInteger raises.
[[nodiscard]] bool TryTextToInteger(std::string_view text, std::int32_t& value);

/// Text-to-real of a command field; an invalid text raises 547.
double TextToReal(std::string_view text);
/// The same, false where TextToReal raises.
[[nodiscard]] bool TryTextToReal(std::string_view text, double& value);
