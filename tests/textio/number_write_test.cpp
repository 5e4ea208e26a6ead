// Numbers written into fields: integers and exponent forms column by column,
// overflow as asterisks, and the short-decimal method against the general
// conversion.
// The random sweeps draw their cases from a fixed seed: a small sample by
// default, all of them with CDB2BEM_NUMBER_SWEEP=full (see test_support.h).
#include "textio/number_write.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(NumberWrite, ExponentAndIntegerFields) {
  // digits 0 stands for an integer field
  const struct {
    double value;
    int width, digits;
    char letter;
    const char* text;
  } cases[] = {{1.5, 15, 7, 'E', "  0.1500000E+01"},
               {-0.0025, 24, 15, 'D', "  -0.250000000000000D-02"},
               {0.0, 24, 9, 'D', "         0.000000000D+00"},
               {-0.0, 15, 7, 'E', "  0.0000000E+00"},
               {1.0E-120, 15, 7, 'E', "  0.1000000-119"},
               {0.99999999, 15, 7, 'E', "  0.1000000E+01"},
               {0.0999999996, 15, 7, 'E', "  0.1000000E+00"},
               {1.0E98, 15, 7, 'E', "  0.1000000E+99"},
               {1.0E99, 15, 7, 'E', "  0.1000000+100"},
               {5.0E-324, 15, 7, 'E', "  0.4940656-323"},
               {1.7976931348623157E308, 24, 15, 'D', "   0.179769313486232+309"},
               {2.675, 15, 3, 'E', "      0.267E+01"},  // its binary value lies below 2.675
               {0.1, 30, 20, 'E', "    0.10000000000000000555E+00"},
               {1.5, 12, 7, 'E', ".1500000E+01"},
               {-1.5, 13, 7, 'E', "-.1500000E+01"},  // no room for 0
               {-1.5, 12, 7, 'E', "************"},
               {kInf, 15, 7, 'E', "       Infinity"},
               {-kInf, 15, 7, 'E', "      -Infinity"},
               {kNaN, 15, 7, 'E', "            NaN"},
               {-kInf, 8, 1, 'E', "********"},
               {0, 4, 0, 'I', "   0"},
               {-1, 2, 0, 'I', "-1"},
               {-10, 2, 0, 'I', "**"},
               {12345678, 8, 0, 'I', "12345678"},
               {123456789, 8, 0, 'I', "********"},
               {-1234567, 8, 0, 'I', "-1234567"},
               {-12345678, 8, 0, 'I', "********"},
               {INT32_MIN, 11, 0, 'I', "-2147483648"},
               {INT32_MIN, 10, 0, 'I', "**********"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out(static_cast<std::size_t>(c.width), '?');
    const bool fits =
        c.digits == 0 ? FormatIntegerField(out.data(), c.width, static_cast<std::int32_t>(c.value))
                      : FormatExponentField(out.data(), c.width, c.digits, c.letter, c.value);
    EXPECT_EQ(fits, c.text[0] != '*');
    EXPECT_EQ(out, c.text);
  }
}

// The digit count decides where an integer begins and whether it fits:
// every power of ten and of two, the numbers beside them and their
// negatives, against the C library's right alignment, in fields wider and
// narrower than the eight columns written at once.
TEST(NumberWrite, IntegersAtEveryChangeOfDigitCount) {
  std::vector<std::int64_t> values = {0, INT32_MAX, INT32_MIN};
  for (std::int64_t p = 1; p <= INT32_MAX; p *= 10) values.insert(values.end(), {p - 1, p, p + 1});
  for (int b = 0; b < 31; ++b) {
    const std::int64_t p = std::int64_t{1} << b;
    values.insert(values.end(), {p - 1, p, p + 1});
  }
  for (std::int64_t v : std::vector<std::int64_t>(values)) values.push_back(-v);
  for (std::int64_t wide : values) {
    if (wide < INT32_MIN || wide > INT32_MAX) continue;
    const auto v = static_cast<std::int32_t>(wide);
    for (int width : {15, 11, 10, 9, 8, 4, 2, 1}) {
      char expected[16];
      std::snprintf(expected, sizeof expected, "%*d", width, v);
      std::string text(expected);
      if (text.size() > static_cast<std::size_t>(width))
        text.assign(static_cast<std::size_t>(width), '*');
      std::string out(static_cast<std::size_t>(width) + 8, '?');
      EXPECT_EQ(FormatIntegerField(out.data(), width, v), text[0] != '*');
      EXPECT_EQ(out, text + std::string(8, '?')) << v;  // nothing past the field
    }
  }
}

// Eight digits at once: every number that ends a run of equal leading
// digits, and a sweep in between, against the C library's zero padding.
TEST(NumberWrite, EightDigitCharactersOfEveryKindOfNumber) {
  std::vector<std::uint32_t> values;
  for (std::uint32_t p = 1; p <= 100000000; p *= 10) {
    for (std::uint32_t m = 1; m <= 9 && m * p <= 100000000; ++m)
      values.insert(values.end(), {m * p - 1, m * p});
  }
  for (std::uint32_t v = 0; v < 100000000; v += 9973) values.push_back(v);
  for (std::uint32_t v : values) {
    if (v >= 100000000) continue;
    char expected[16];
    std::snprintf(expected, sizeof expected, "%08u", static_cast<unsigned>(v));
    char out[8];
    StoreEightCharacters(out, EightDigitCharacters(v));
    ASSERT_EQ(std::string(out, 8), expected);
  }
}

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

TEST(NumberWrite, ExponentFieldsMatchTheGeneralConversion) {
  std::mt19937_64 random(20261207);
  struct Layout {
    int width, digits;
    char letter;
  };
  // The system's layouts, digit counts on both sides of those whose digits
  // are stored eight columns at a time, and more than the quick methods take.
  const Layout layouts[] = {{15, 7, 'E'}, {24, 15, 'D'}, {24, 9, 'D'}, {12, 4, 'E'},
                            {11, 3, 'E'}, {9, 1, 'D'},   {26, 17, 'D'}};
  auto check = [&](double x) {
    for (const Layout& l : layouts) {
      char out[40];
      std::memset(out, '#', sizeof out);
      ASSERT_TRUE(FormatExponentField(out, l.width, l.digits, l.letter, x)) << std::hexfloat << x;
      const auto width = static_cast<std::size_t>(l.width);
      ASSERT_EQ(std::string(out, width), GeneralExponentField(x, l.width, l.digits, l.letter))
          << std::hexfloat << x;
      // Nothing is written past the field.
      ASSERT_EQ(std::string(out + width, sizeof out - width), std::string(sizeof out - width, '#'))
          << std::hexfloat << x;
    }
  };
  // Values as model files write them (up to sixteen digits, many decades),
  // their neighbouring reals, and exact ties of the seventh and ninth digit.
  const int cases = test_support::RandomSweepCases(100000);
  for (int i = 0; i < cases; ++i) {
    const std::string digits =
        std::to_string(random() % 10000000000000000u).substr(0, 1 + random() % 16);
    const int decade = static_cast<int>(random() % 90) - 45;
    const double x = std::stod(digits + "e" + std::to_string(decade));
    check(x);
    check(-std::nextafter(x, HUGE_VAL));
    check(std::nextafter(x, 0.0));
    check(std::stod(std::to_string(1000000 + random() % 9000000) + "5e" + std::to_string(decade)));
  }
  // Values of seventeen digits, as arithmetic gives them (a mean, a
  // product), over the decades around the usual ones, and their ties.
  for (int i = 0; i < cases / 4; ++i) {
    const double a = std::ldexp(static_cast<double>(random() >> 11), -53);  // in [0, 1)
    const int decade = static_cast<int>(random() % 50) - 25;
    const double x = (a + 1.0 / 3.0) * std::pow(10.0, decade);
    check(x);
    check(-x / 3.0);
    check(std::nextafter(x, HUGE_VAL));
    // Ties of few bits: x.5 and x.25 at the digits kept.
    check(std::ldexp(static_cast<double>(random() % 4096) + 0.5,
                     static_cast<int>(random() % 40) - 20));
  }
  for (double x : {2.675, 0.99999999, 9.9999999999999995, 1e15, 999999999999999.9, 1e-9, 1e37,
                   0x1p-1022, 0x1p-1074, 1.7976931348623157e308, 0.1 + 0.2, 2.0 / 3.0, 1e-19,
                   0.99999999999999989, 9.999999999999999e-20, 1e19 / 3.0}) {
    check(x);
  }
}

}  // namespace
