// The quick paths of the number conversions must give exactly what the
// general paths give: digits of short decimals without the general
// conversion, and usual real fields read without normalising them first.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "textio/number_read.h"
#include "textio/number_write.h"

namespace {

// The field as the general conversion alone writes it: d digits rounded by
// to_chars from the binary value, then 0.ddd and the exponent part.
std::string GeneralExponentField(double x, int width, int digits, char letter) {
  char s[64];
  const char* end =
      std::to_chars(s, s + sizeof s, std::fabs(x), std::chars_format::scientific, digits - 1).ptr;
  std::string fraction(1, s[0]);
  if (digits > 1) fraction.append(s + 2, static_cast<std::size_t>(digits - 1));
  const char* e = std::strchr(s, 'e') + 1;
  int exponent = 0;
  std::from_chars(*e == '+' ? e + 1 : e, end, exponent);
  if (x != 0) ++exponent;
  const int magnitude = std::abs(exponent);
  std::string tail = magnitude <= 99 ? std::string(1, letter) : std::string();
  tail += exponent < 0 ? '-' : '+';
  std::string number = std::to_string(magnitude);
  tail += std::string((magnitude <= 99 ? 2 : 3) - number.size(), '0') + number;
  std::string body = (x < 0 ? "-0." : "0.") + fraction + tail;
  return std::string(static_cast<std::size_t>(width) - body.size(), ' ') + body;
}

TEST(NumberPaths, ExponentFieldsMatchTheGeneralConversion) {
  std::mt19937_64 random(20261207);
  struct Layout {
    int width, digits;
    char letter;
  };
  const Layout layouts[] = {{15, 7, 'E'}, {24, 15, 'D'}, {24, 9, 'D'}};
  auto check = [&](double x) {
    for (const Layout& l : layouts) {
      char out[32];
      FormatExponentField(out, l.width, l.digits, l.letter, x);
      ASSERT_EQ(std::string(out, static_cast<std::size_t>(l.width)),
                GeneralExponentField(x, l.width, l.digits, l.letter))
          << std::hexfloat << x;
    }
  };
  // Values as model files write them (up to sixteen digits, many decades),
  // their neighbouring reals, and exact ties of the seventh and ninth digit.
  for (int i = 0; i < 100000; ++i) {
    const std::string digits = std::to_string(random() % 10000000000000000u)
                                   .substr(0, 1 + random() % 16);
    const int decade = static_cast<int>(random() % 90) - 45;
    const double x = std::stod(digits + "e" + std::to_string(decade));
    check(x);
    check(-std::nextafter(x, HUGE_VAL));
    check(std::nextafter(x, 0.0));
    check(std::stod(std::to_string(1000000 + random() % 9000000) + "5e" + std::to_string(decade)));
  }
  for (double x : {2.675, 0.99999999, 9.9999999999999995, 1e15, 999999999999999.9, 1e-9, 1e37,
                   0x1p-1022, 0x1p-1074, 1.7976931348623157e308}) {
    check(x);
  }
}

TEST(NumberPaths, UsualRealFieldsMatchTheGeneralReading) {
  std::mt19937_64 random(7);
  const char alphabet[] = " 0123456789.+-EeDd";
  for (int i = 0; i < 300000; ++i) {
    std::string field;
    if (i % 2 == 0) {
      const std::size_t length = 1 + random() % 22;
      for (std::size_t k = 0; k < length; ++k) field += alphabet[random() % (sizeof alphabet - 1)];
    } else {
      char text[40];
      std::snprintf(text, sizeof text, "%21.*E", static_cast<int>(random() % 16),
                    std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 200) - 100));
      field = text;
    }
    const int digits = static_cast<int>(random() % 14);
    std::string compact;  // what the general way converts: the field without blanks
    for (char c : field) {
      if (c != ' ') compact += c;
    }
    double quick = 0.0;
    double general = 0.0;
    const bool quick_ok = ParseRealField(field, digits, quick);
    const bool general_ok = ConvertRealText(compact, digits, general);
    ASSERT_EQ(quick_ok, general_ok) << '\'' << field << "' d=" << digits;
    if (quick_ok) {
      ASSERT_EQ(std::memcmp(&quick, &general, sizeof quick), 0) << '\'' << field << '\'';
    }
  }
}

}  // namespace
