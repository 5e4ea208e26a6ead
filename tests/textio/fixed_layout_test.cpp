// Fixed layouts: records cut into their fields (commas, missing columns,
// text items), records read over a file, and the records of the output
// layouts column by column.
#include "textio/fixed_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "textio/diagnostics.h"
#include "textio/number_read.h"

namespace {

using test_support::ExpectRunEnded;
using test_support::ExpectSameReal;

TEST(FixedLayoutRead, NumberFieldsAndCommas) {
  static constexpr FieldSpec kTwoI8[] = {I(8, 2)}, kTwoI4[] = {I(4, 2)};
  static constexpr FieldSpec kRealThenInteger[] = {E(16, 9), I(4)};
  constexpr double kKept = -99;  // an item the read leaves as it was
  const struct {
    Layout layout;
    const char* record;
    bool valid;
    std::vector<double> values;  // one per item: what the read leaves in it
  } cases[] = {
      // a comma ends the field early and the next field starts right after it
      {kTwoI8, "   12,1234567890", true, {12, 12345678}},
      {kTwoI4, " 1,5   9", true, {1, 5}},
      {kTwoI4, ",5", true, {0, 5}},
      {kRealThenInteger, "1.5,7   9", true, {1.5, 7}},
      // missing or blank coordinates read as 0.0
      {kNodeRecordLayout1, "       1       0       0 1.000000000E+00", true, {1, 0, 0, 1, 0, 0}},
      {kNodeRecordLayout2,
       "      17       0       0 1.0000000000000E+00      10000000000000",
       true,
       {17, 0, 0, 1, 1, 0}},
      {kNodeRecordLayout4,  // fields that touch
       "        3        0        0 6.6000000000000E-002-6.6000000000000E-002-1.2500000000000E+001",
       true,
       {3, 0, 0, 0.066, -0.066, -12.5}},
      // an invalid field: the items before it are filled, the others kept
      {kTwoI8, "  12.0", false, {kKept, kKept}},
      {kTwoI8, "      12    12.0", false, {12, kKept}},
      {kNodeRecordLayout3,
       "        3        0        0 1.0000000000000E+00  1.0.0",
       false,
       {3, 0, 0, 1, kKept, kKept}}};
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
    ASSERT_EQ(items.size(), c.values.size());
    EXPECT_EQ(ReadFixedFields(c.record, c.layout, items), c.valid);
    for (std::size_t k = 0; k < c.values.size(); ++k) {
      SCOPED_TRACE(k);
      ExpectSameReal(c.values[k], items[k].integer ? *items[k].integer : *items[k].real);
    }
  }
}

// Integer fields of eight columns or more are read eight columns at a time
// when they hold blanks then digits: every field, of those and of any other
// form, reads as the field rule reads its text (cut at a comma), here in a
// record of two fields whose second tells where the first ended.
TEST(FixedLayoutRead, IntegerFieldsReadAsTheFieldRuleReadsThem) {
  static constexpr FieldSpec kTwoI8[] = {I(8, 2)}, kTwoI9[] = {I(9, 2)}, kTwoI10[] = {I(10, 2)},
                             kTwoI4[] = {I(4, 2)};
  const struct {
    Layout layout;
    int width;
  } layouts[] = {{kTwoI8, 8}, {kTwoI9, 9}, {kTwoI10, 10}, {kTwoI4, 4}};
  std::vector<std::string> fields = {
      "1",         "12345678",   "123456789",  "1234567890", "99999999", "0",        "00000001",
      "-1",        "+7",         "1 2",        "1  ",        "12,",      ",",        "",
      "9 9999999", "2147483647", "2147483648", "x",          "1.",       "-12345678"};
  std::mt19937 random(24);
  const char kAlphabet[] = {' ', ' ', ' ', '0', '1', '9', '-', ','};
  for (int i = 0; i < 400; ++i) {
    std::string field(1 + random() % 10, ' ');
    for (char& c : field) c = kAlphabet[random() % sizeof kAlphabet];
    fields.push_back(field);
  }
  for (const auto& l : layouts) {
    const auto w = static_cast<std::size_t>(l.width);
    for (const std::string& text : fields) {
      // Right-aligned in the field, cut to it, then the second field; or
      // the record ends one or two columns into the first field, its view
      // followed by the characters it leaves out.
      std::string line(2 * w, ' ');
      const std::size_t kept = std::min(text.size(), w);
      line.replace(w - kept, kept, text, 0, kept);
      line.back() = '7';
      for (const std::size_t length : {2 * w, w - 1, w - 2}) {
        const std::string_view record = std::string_view(line).substr(0, length);
        SCOPED_TRACE(testing::Message() << "'" << record << "' in fields of " << w);
        std::size_t pos = 0;
        std::int32_t want[2] = {-99, -99};
        bool valid = ParseIntegerField(TakeNumberField(record, pos, l.width), want[0]) &&
                     ParseIntegerField(TakeNumberField(record, pos, l.width), want[1]);
        std::int32_t got[2] = {-99, -99};
        const ReadItem items[] = {got[0], got[1]};
        ASSERT_EQ(ReadFixedFields(record, l.layout, items), valid);
        if (!valid) continue;
        EXPECT_EQ(got[0], want[0]);
        EXPECT_EQ(got[1], want[1]);
      }
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
  ExpectRunEnded(
      [&] {
        ReadFixedRecord(file, kNodeRecordLayout1, {n, n, n, x, x, x});
      },
      64, "runerr: severe (64): input conversion error, unit 5, file " + path);
}

TEST(FixedLayoutWrite, RecordsOfTheOutputLayouts) {
  test_support::ScopedTempDir dir;
  const std::string path = (std::filesystem::current_path() / "input.dat").string();
  std::string solver_type(79, '-');  // the 79-character text
  solver_type.back() = 'E';
  {
    OutputFile file("input.dat", kSolverInputUnit);
    WriteFixedRecord<kTitleLayout>(file, {std::string_view("06-DEC-26")});
    WriteFixedRecord<kSolverTypeLayout>(file, {std::string_view(solver_type)});
    WriteFixedRecord<kTriangleLayout>(file, {7, 1, 22, 333, 1, 2, 2, 0.5, -1.0, 0.0});
    testing::internal::CaptureStderr();
    WriteFixedRecord<kSolverNodeLayout>(file, {123456789, 1.0, -2.0, 3.0});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "runerr: severe (63): output conversion error, unit 6, file " + path + "\r\n");
    WriteFixedRecord<kPlotCellLayout>(file, {1, 2, 3, 4});  // the run goes on
  }
  const std::string expected =
      " A BEM Model for 3-D Structural Stress Analysis," + std::string(20, ' ') + "06-DEC-26\r\n" +
      std::string(8, ' ') + solver_type + "\r\n" +
      // columns 1-10 | 14-21, 22-29, 30-37 | 42-45, 46-49, 50-53 | 58-81, 82-105, 106-129
      "         7"
      "   "
      "       1      22     333"
      "    "
      "   1   2   2"
      "    "
      "   0.500000000000000D+00  -0.100000000000000D+01   0.000000000000000D+00\r\n"
      "********   0.100000000000000D+01  -0.200000000000000D+01   0.300000000000000D+01\r\n"
      "              1              2              3              4\r\n";
  const std::string written = test_support::ReadFile("input.dat");
  EXPECT_EQ(written, expected);
  // Each record is as long as its layout: title 77, solver type 87, triangle
  // 129, solver node 80, plot cell 60.
  std::vector<std::size_t> lengths;
  for (std::size_t begin = 0, end; (end = written.find("\r\n", begin)) != std::string::npos;
       begin = end + 2) {
    lengths.push_back(end - begin);
  }
  EXPECT_EQ(lengths, (std::vector<std::size_t>{77, 87, 129, 80, 60}));
}

// The record length of every output layout, from its fields added up by hand.
}  // namespace

namespace {

// A value of another kind than its field's (a literal 0 for a real field)
// stops a build with assertions instead of writing its bits as a number.
TEST(FixedLayoutWriteDeathTest, AValueOfAnotherKindStops) {
#ifdef NDEBUG
  GTEST_SKIP() << "assertions are off in this build (NDEBUG); the debug build checks kinds";
#else
  char out[LayoutLength(kSolverNodeLayout)];
  const WriteItem wrong_real[] = {1, 0, 0.0, 0.0};
  const WriteItem wrong_integer[] = {1.0, 0.0, 0.0, 0.0};
  const WriteItem right[] = {1, 0.0, 0.0, 0.0};
  EXPECT_DEATH(static_cast<void>(FormatFixedRecord<kSolverNodeLayout>(out, wrong_real)), "");
  EXPECT_DEATH(static_cast<void>(FormatFixedRecord<kSolverNodeLayout>(out, wrong_integer)), "");
  EXPECT_TRUE(FormatFixedRecord<kSolverNodeLayout>(out, right));
#endif
}

}  // namespace
