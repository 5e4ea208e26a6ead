// Fixed-layout fields: the input rules for integer, real and text fields, the
// command-field conversions, and the output rules column by column.
#include "textio/fixed_layout.h"
#include "textio/number_read.h"
#include "textio/number_write.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kBad = 12345;  // the field is invalid

void ExpectSameReal(double expected, double actual) {  // NaN matches NaN; -0.0 differs from 0.0
  const bool same = expected == actual && std::signbit(expected) == std::signbit(actual);
  EXPECT_TRUE(same || (std::isnan(expected) && std::isnan(actual)))
      << "expected " << expected << ", got " << actual;
}

// `action` must end the run with `status` after printing the one line `line`.
template <class Action>
void ExpectRunEnded(Action action, int status, const std::string& line) {
  testing::internal::CaptureStderr();
  int got = -1;
  try { action(); } catch (const RunEnded& ended) { got = ended.status; }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), line + "\r\n");
  EXPECT_EQ(got, status);
}

TEST(FixedLayoutRead, IntegerFieldRule) {
  const struct { const char* text; std::int64_t value; } cases[] = {
      {"", 0}, {"        ", 0}, {"      -7", -7}, {"  1 2   ", 12}, {"-  7", -7}, {" +", 0},
      {" - ", 0}, {"+0012", 12}, {"2147483647", 2147483647}, {"-2147483648", -2147483648LL},
      {"2147483648", kBad}, {"-2147483649", kBad}, {"99999999999999999999", kBad},
      {"12\t", kBad}, {"\t12", kBad}, {"1-2", kBad}, {"+-1", kBad}, {"12.0", kBad},
      {"1a", kBad}, {"1,", kBad}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "'");
    std::int32_t value = -99;
    EXPECT_EQ(ParseIntegerField(c.text, value), c.value != kBad);
    EXPECT_EQ(value, c.value == kBad ? value : c.value);
  }
}

TEST(FixedLayoutRead, RealFieldRule) {
  const double bad = -12345.0;  // the field is invalid
  const struct { const char* text; int digits; double value; } cases[] = {
      {"       5", 9, 5.0E-9}, {"125", 9, 1.25E-7}, {"125E2", 9, 1.25E-5}, {"-125", 2, -1.25},
      {"10000000000000E+00", 13, 1.0}, {"1.0000000000000E+00", 13, 1.0}, {"1.5E+02", 9, 150},
      {"1.5D+02", 9, 150}, {"1.5d2", 9, 150}, {"1.5q+2", 9, 150}, {"1.5Q2", 9, 150},
      {"1.5+02", 9, 150}, {"1.5-02", 9, 0.015}, {"150.", 9, 150}, {" 1 . 5 E + 0 2 ", 9, 150},
      {"", 9, 0.0}, {"     ", 9, 0.0}, {"\t 1.5", 9, 1.5}, {".5", 9, 0.5}, {"-0.0", 9, -0.0},
      {"INF", 9, kInf}, {"-infinity", 9, -kInf}, {"+Inf", 9, kInf}, {"nan", 9, kNaN},
      {"1.5\t", 9, bad}, {"1.2.3", 9, bad}, {"1.5E", 9, bad}, {"1.5E+", 9, bad}, {"E5", 9, bad},
      {"1.5X2", 9, bad}, {"abc", 9, bad}, {"1.5E2.0", 9, bad}, {"1.5E2E3", 9, bad},
      {"--1", 9, bad}, {"inff", 9, bad}, {".", 9, bad},
      // the nearest 64-bit real, decided by digits far beyond the 17th
      {"0.1", 0, 0x1.999999999999ap-4}, {"9007199254740993.0000000001", 0, 0x1.0000000000001p53},
      {"1.000000000000000111022302462515654042363166809082031251", 0, 0x1.0000000000001p0},
      {"1.000000000000000111022302462515654042363166809082031249", 0, 1.0},
      {"2.2250738585072011E-308", 0, 0x0.fffffffffffffp-1022},
      {"12345678901234567890", 19, 1.2345678901234567890},
      {"-0.179769313486232+309", 0, -0x1.fffffffffffffp1023}, {"1E309", 0, kInf}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "' d=" + std::to_string(c.digits));
    double value = bad;
    EXPECT_EQ(ParseRealField(c.text, c.digits, value), c.value != bad);
    if (c.value != bad) ExpectSameReal(c.value, value);
  }
}

TEST(FixedLayoutRead, NumberFieldsAndCommas) {
  static constexpr FieldSpec kTwoI8[] = {I(8, 2)}, kTwoI4[] = {I(4, 2)};
  static constexpr FieldSpec kRealThenInteger[] = {E(16, 9), I(4)};
  const struct { Layout layout; const char* record; std::vector<double> values; } cases[] = {
      // a comma ends the field early and the next field starts right after it
      {kTwoI8, "   12,1234567890", {12, 12345678}}, {kTwoI4, " 1,5   9", {1, 5}},
      {kTwoI4, ",5", {0, 5}}, {kRealThenInteger, "1.5,7   9", {1.5, 7}},
      {kTwoI8, "  12.0", {}},  // no values: the record is invalid
      // missing or blank coordinates read as 0.0
      {kNodeRecordLayout1, "       1       0       0 1.000000000E+00", {1, 0, 0, 1, 0, 0}},
      {kNodeRecordLayout2, "      17       0       0 1.0000000000000E+00      10000000000000",
       {17, 0, 0, 1, 1, 0}},
      {kNodeRecordLayout4,  // fields that touch
       "        3        0        0 6.6000000000000E-002-6.6000000000000E-002-1.2500000000000E+001",
       {3, 0, 0, 0.066, -0.066, -12.5}},
      {kNodeRecordLayout3, "        3        0        0 1.0000000000000E+00  1.0.0", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("'") + c.record + "'");
    std::int32_t ints[3] = {-99, -99, -99};
    double reals[3] = {-99, -99, -99};
    std::vector<ReadItem> items;
    for (const FieldSpec& field : c.layout) {
      for (int r = 0; r < field.repeat; ++r) {
        items.push_back(field.kind == FieldKind::kInteger ? ReadItem(ints[r]) : ReadItem(reals[r]));
      }
    }
    ASSERT_EQ(ReadFixedFields(c.record, c.layout, items), !c.values.empty());
    for (std::size_t k = 0; k < c.values.size(); ++k) {
      ExpectSameReal(c.values[k], items[k].integer ? *items[k].integer : *items[k].real);
    }
  }
}

TEST(FixedLayoutRead, TextItemRule) {
  char line[80], element[8], unused[8], label[16], node[8], kind[8], value[16];
  using T = std::span<char>;
  auto text = [](T item) { return std::string(item.begin(), item.end()) + "|"; };
  // Commas do not end text fields; the 9-column element field keeps columns 6 to 13.
  ASSERT_TRUE(ReadFixedFields("SFE,912345678,1,PRES,0", kPressureLayout,
                              std::vector<ReadItem>{T(line), T(element), T(unused), T(label)}));
  EXPECT_EQ(text(line) + text(element) + text(unused) + text(label),
            "SFE," + std::string(76, ' ') + "|12345678|,1,PRE  |S,0             |");
  // Taken as they stand (a tab included); a record ending at column 20 leaves 5 characters.
  ASSERT_TRUE(ReadFixedFields("D,     12,UX\t  , 1.5", kConstraintLayout,
                              std::vector<ReadItem>{T(line), T(node), T(kind), T(value)}));
  EXPECT_EQ(text(line) + text(node) + text(kind) + text(value),
            "D," + std::string(78, ' ') + "|     12 |,UX\t    |, 1.5           |");
  ASSERT_TRUE(ReadFixedFields("", kProbeWidth6, std::vector<ReadItem>{T(line)}));
  EXPECT_EQ(text(line), std::string(80, ' ') + "|");
}

TEST(FixedLayoutRead, ReadFixedRecordOverFile) {
  test_support::ScopedTempDir dir;
  test_support::WriteFile("m.cdb", "a\nb\nabcdefghijkl      -42\n   x\n");
  const std::string path = (std::filesystem::current_path() / "m.cdb").string();
  InputFile file("m.cdb", kModelUnit);
  char line[80];
  std::int32_t count = -1;
  ReadFixedRecord(file, kRecordSkipLayout, {});  // passes over exactly two records
  ReadFixedRecord(file, kOffsetCountLayout, {std::span<char>(line), count});
  EXPECT_EQ(std::string(line, 13), "abcdefghijkl ");
  EXPECT_EQ(count, -42);
  ExpectRunEnded([&] { ReadFixedRecord(file, kRecordSkipLayout, {}); }, 24,
                 "runerr: severe (24): end-of-file during read, unit 5, file " + path);
  file.Reopen();
  std::int32_t n = 0;
  double x = 0;
  ExpectRunEnded([&] { ReadFixedRecord(file, kNodeRecordLayout1, {n, n, n, x, x, x}); }, 64,
                 "runerr: severe (64): input conversion error, unit 5, file " + path);
}

TEST(CommandFields, TextToIntegerAndTextToReal) {
  EXPECT_EQ(TextToInteger("        "), 0);
  EXPECT_EQ(TextToInteger("      -7"), -7);
  EXPECT_EQ(TextToInteger("  1 2   "), 12);
  for (const auto& [text, value] : {std::pair{" 0.250000000E-02", 0.0025}, {"1 5", 105.0},
                                    {"\t 25   ", 25.0}, {"    ", 0.0}, {"-2D1", -20.0}}) {
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

TEST(FixedLayoutWrite, ExponentAndIntegerFields) {
  // digits 0 stands for an integer field
  const struct { double value; int width, digits; char letter; const char* text; } cases[] = {
      {1.5, 15, 7, 'E', "  0.1500000E+01"}, {-0.0025, 24, 15, 'D', "  -0.250000000000000D-02"},
      {0.0, 24, 9, 'D', "         0.000000000D+00"}, {-0.0, 15, 7, 'E', "  0.0000000E+00"},
      {1.0E-120, 15, 7, 'E', "  0.1000000-119"}, {0.99999999, 15, 7, 'E', "  0.1000000E+01"},
      {0.0999999996, 15, 7, 'E', "  0.1000000E+00"}, {1.0E98, 15, 7, 'E', "  0.1000000E+99"},
      {1.0E99, 15, 7, 'E', "  0.1000000+100"}, {5.0E-324, 15, 7, 'E', "  0.4940656-323"},
      {1.7976931348623157E308, 24, 15, 'D', "   0.179769313486232+309"},
      {2.675, 15, 3, 'E', "      0.267E+01"},  // its binary value lies below 2.675
      {0.1, 30, 20, 'E', "    0.10000000000000000555E+00"},
      {1.5, 12, 7, 'E', ".1500000E+01"}, {-1.5, 13, 7, 'E', "-.1500000E+01"},  // no room for 0
      {-1.5, 12, 7, 'E', "************"}, {kInf, 15, 7, 'E', "       Infinity"},
      {-kInf, 15, 7, 'E', "      -Infinity"}, {kNaN, 15, 7, 'E', "            NaN"},
      {-kInf, 8, 1, 'E', "********"}, {0, 4, 0, 'I', "   0"}, {-1, 2, 0, 'I', "-1"},
      {-10, 2, 0, 'I', "**"}, {12345678, 8, 0, 'I', "12345678"}, {123456789, 8, 0, 'I', "********"},
      {-1234567, 8, 0, 'I', "-1234567"}, {-12345678, 8, 0, 'I', "********"},
      {INT32_MIN, 11, 0, 'I', "-2147483648"}, {INT32_MIN, 10, 0, 'I', "**********"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out(static_cast<std::size_t>(c.width), '?');
    const bool fits = c.digits == 0
        ? FormatIntegerField(out.data(), c.width, static_cast<std::int32_t>(c.value))
        : FormatExponentField(out.data(), c.width, c.digits, c.letter, c.value);
    EXPECT_EQ(fits, c.text[0] != '*');
    EXPECT_EQ(out, c.text);
  }
}

TEST(FixedLayoutWrite, RecordsOfTheOutputLayouts) {
  test_support::ScopedTempDir dir;
  const std::string path = (std::filesystem::current_path() / "input.dat").string();
  std::string solver_type(79, '-');  // the 79-character text
  solver_type.back() = 'E';
  {
    OutputFile file("input.dat", kSolverInputUnit);
    WriteFixedRecord(file, kTitleLayout, {std::string_view("06-DEC-26")});
    WriteFixedRecord(file, kSolverTypeLayout, {std::string_view(solver_type)});
    WriteFixedRecord(file, kTriangleLayout, {7, 1, 22, 333, 1, 2, 2, 0.5, -1.0, 0.0});
    testing::internal::CaptureStderr();
    WriteFixedRecord(file, kSolverNodeLayout, {123456789, 1.0, -2.0, 3.0});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "runerr: severe (63): output conversion error, unit 6, file " + path + "\r\n");
    WriteFixedRecord(file, kPlotCellLayout, {1, 2, 3, 4});  // the run goes on
  }
  const std::string expected =
      " A BEM Model for 3-D Structural Stress Analysis," + std::string(20, ' ') + "06-DEC-26\r\n" +
      std::string(8, ' ') + solver_type + "\r\n" +
      // columns 1-10 | 14-21, 22-29, 30-37 | 42-45, 46-49, 50-53 | 58-81, 82-105, 106-129
      "         7" "   " "       1      22     333" "    " "   1   2   2" "    "
      "   0.500000000000000D+00  -0.100000000000000D+01   0.000000000000000D+00\r\n"
      "********   0.100000000000000D+01  -0.200000000000000D+01   0.300000000000000D+01\r\n"
      "              1              2              3              4\r\n";
  EXPECT_EQ(expected.size(), 77 + 87 + 129 + 80 + 60 + 5 * 2u);
  EXPECT_EQ(test_support::ReadFile("input.dat"), expected);
}

}  // namespace
