// Numbers read from text: the integer and real field rules, the quick path of
// the usual real field against the general conversion, and the command-field
// conversions that end the run.
// The random sweeps draw their cases from a fixed seed: a small sample by
// default, all of them with CDB2BEM_NUMBER_SWEEP=full (see test_support.h).
#include "textio/number_read.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "test_support.h"
#include "textio/number_write.h"

namespace {

using test_support::ExpectRunEnded;
using test_support::ExpectSameReal;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kBad = 12345;  // the field is invalid

TEST(NumberRead, IntegerFieldRule) {
  const struct {
    const char* text;
    std::int64_t value;
  } cases[] = {{"", 0},
               {"        ", 0},
               {"      -7", -7},
               {"  1 2   ", 12},
               {"-  7", -7},
               {" +", 0},
               {" - ", 0},
               {"+0012", 12},
               {"2147483647", 2147483647},
               {"-2147483648", -2147483648LL},
               {"2147483648", kBad},
               {"-2147483649", kBad},
               {"99999999999999999999", kBad},
               {"12\t", kBad},
               {"\t12", kBad},
               {"1-2", kBad},
               {"+-1", kBad},
               {"12.0", kBad},
               {"1a", kBad},
               {"1,", kBad}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "'");
    std::int32_t value = -99;
    EXPECT_EQ(ParseIntegerField(c.text, value), c.value != kBad);
    // An invalid field leaves the target as it was.
    EXPECT_EQ(value, c.value == kBad ? -99 : c.value);
  }
}

TEST(NumberRead, RealFieldRule) {
  const double bad = -12345.0;  // the field is invalid
  const struct {
    const char* text;
    int digits;
    double value;
  } cases[] = {{"       5", 9, 5.0E-9},
               {"125", 9, 1.25E-7},
               {"125E2", 9, 1.25E-5},
               {"-125", 2, -1.25},
               {"10000000000000E+00", 13, 1.0},
               {"1.0000000000000E+00", 13, 1.0},
               {"1.5E+02", 9, 150},
               {"1.5D+02", 9, 150},
               {"1.5d2", 9, 150},
               {"1.5q+2", 9, 150},
               {"1.5Q2", 9, 150},
               {"1.5+02", 9, 150},
               {"1.5-02", 9, 0.015},
               {"150.", 9, 150},
               {" 1 . 5 E + 0 2 ", 9, 150},
               {"", 9, 0.0},
               {"     ", 9, 0.0},
               {"\t 1.5", 9, 1.5},
               {".5", 9, 0.5},
               {"-0.0", 9, -0.0},
               {"INF", 9, kInf},
               {"-infinity", 9, -kInf},
               {"+Inf", 9, kInf},
               {"nan", 9, kNaN},
               {"1.5\t", 9, bad},
               {"1.2.3", 9, bad},
               {"1.5E", 9, bad},
               {"1.5E+", 9, bad},
               {"E5", 9, bad},
               {"1.5X2", 9, bad},
               // exponents as node blocks write them, and what only looks so
               {"1.5000000000000E-002", 13, 0.015},
               {"-1.5000000000000d+002", 13, -150},
               {"1.5E+0020", 9, 1.5E20},
               {"1.5X+02", 9, bad},
               {"1.5X+002", 9, bad},
               {"1.5E+0.2", 9, bad},
               {"1.5E++02", 9, bad},
               {"abc", 9, bad},
               {"1.5E2.0", 9, bad},
               {"1.5E2E3", 9, bad},
               {"--1", 9, bad},
               {"inff", 9, bad},
               {".", 9, bad},
               // the nearest 64-bit real, decided by digits far beyond the 17th
               {"0.1", 0, 0x1.999999999999ap-4},
               {"9007199254740993.0000000001", 0, 0x1.0000000000001p53},
               {"1.000000000000000111022302462515654042363166809082031251", 0, 0x1.0000000000001p0},
               {"1.000000000000000111022302462515654042363166809082031249", 0, 1.0},
               {"2.2250738585072011E-308", 0, 0x0.fffffffffffffp-1022},
               {"12345678901234567890", 19, 1.2345678901234567890},
               {"-0.179769313486232+309", 0, -0x1.fffffffffffffp1023},
               {"1E309", 0, kInf}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "' d=" + std::to_string(c.digits));
    double value = bad;
    EXPECT_EQ(ParseRealField(c.text, c.digits, value), c.value != bad);
    ExpectSameReal(c.value, value);  // bad itself when the field is invalid
  }
}

TEST(NumberRead, UsualRealFieldsMatchTheGeneralReading) {
  std::mt19937_64 random(7);
  const char alphabet[] = " 0123456789.+-EeDd";
  const int cases = test_support::RandomSweepCases(300000);
  for (int i = 0; i < cases; ++i) {
    std::string field;
    if (i % 3 == 0) {
      const std::size_t length = 1 + random() % 22;
      for (std::size_t k = 0; k < length; ++k) field += alphabet[random() % (sizeof alphabet - 1)];
    } else if (i % 3 == 1) {
      // Mostly digits, in runs that begin and end anywhere in the eight
      // characters read at once, up to well past the 18 that fit, broken by
      // the characters next to the digits too.
      const char others[] = " .+-EeDd/:?";
      const std::size_t length = 1 + random() % 40;
      for (std::size_t k = 0; k < length; ++k) {
        field += random() % 16 != 0 ? static_cast<char>('0' + random() % 10)
                                    : others[random() % (sizeof others - 1)];
      }
    } else {
      char text[40];
      std::snprintf(
          text, sizeof text, "%21.*E", static_cast<int>(random() % 16),
          std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 200) - 100));
      // Node blocks write three exponent digits ("E-002"), some writers a
      // D or lower case; a character after the exponent is no number.
      const char* letter = std::strchr(text, 'E');
      char three_digits[48];
      if (random() % 2 == 0 && std::strlen(letter) == 4) {
        std::snprintf(three_digits, sizeof three_digits, "%.*s0%s",
                      static_cast<int>(letter + 2 - text), text, letter + 2);
        field = three_digits;
      } else {
        field = text;
      }
      if (random() % 4 == 0) field[field.find('E')] = "eDd"[random() % 3];
      if (random() % 8 == 0) field.push_back("0+ "[random() % 3]);
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

TEST(NumberRead, CommandFields) {
  EXPECT_EQ(TextToInteger("        "), 0);
  EXPECT_EQ(TextToInteger("      -7"), -7);
  EXPECT_EQ(TextToInteger("  1 2   "), 12);
  for (const auto& [text, value] : {std::pair{" 0.250000000E-02", 0.0025},
                                    {"1 5", 105.0},
                                    {"\t 25   ", 25.0},
                                    {"    ", 0.0},
                                    {"-2D1", -20.0}}) {
    ExpectSameReal(value, TextToReal(text));  // in '1 5' the inner blank is the digit 0
  }
  for (const char* bad : {"     12,", "12\t", "1.5"}) {
    SCOPED_TRACE(bad);
    ExpectRunEnded([&] { TextToInteger(bad); }, 545, "runerr: severe (545): invalid INTEGER");
  }
  for (const char* bad : {"1.0,", "1.2.3", "1.5x", "1.0E"}) {
    SCOPED_TRACE(bad);
    ExpectRunEnded([&] { TextToReal(bad); }, 547, "runerr: severe (547): invalid REAL");
  }
}

// Written with 15 digits, the largest doubles round up past the largest
// double: '0.179769313486232+309'. Read back, the text must still give a
// finite value within half a unit of its last digit (10^294 / 2) of the
// value written, as every other double does.
TEST(NumberRead, LargestDoublesReadBackFromD24_15) {
  for (double x : {DBL_MAX, -DBL_MAX, std::nextafter(DBL_MAX, 0.0)}) {
    SCOPED_TRACE(x);
    char field[24];
    ASSERT_TRUE(FormatExponentField(field, 24, 15, 'D', x));
    const std::string_view text(field, sizeof(field));
    EXPECT_EQ(text, x < 0 ? "  -0.179769313486232+309" : "   0.179769313486232+309");
    double y = 0;
    ASSERT_TRUE(ParseRealField(text, 15, y));
    EXPECT_LE(std::fabs(y - x), 5e293);
  }
}

}  // namespace
