// Free-form records: the read state machine over in-memory records and files,
// and the layout of written records byte for byte.
#include "textio/free_form.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"
#include "textio/column_integers.h"
#include "textio/decimal_digits.h"
#include "textio/diagnostics.h"

namespace {

using test_support::Records;

constexpr std::int32_t kKept = -99;  // a target that the read leaves unchanged

TEST(FreeFormRead, IntegerTargets) {
  using S = FreeFormStatus;
  const struct {
    std::vector<std::string> lines;
    S status;
    std::vector<std::int32_t> values;  // one per target: what the read leaves in it
    std::size_t used;                  // records taken
  } cases[] = {{{"1 -50"}, S::kDone, {1, -50}, 1},
               {{"12,7"}, S::kDone, {12, 7}, 1},
               {{"12 , 7"}, S::kDone, {12, 7}, 1},
               {{"12 7"}, S::kDone, {12, 7}, 1},
               {{"4\t5\r"}, S::kDone, {4, 5}, 1},
               {{"12,,7"}, S::kDone, {12, kKept, 7}, 1},
               {{"1, ,2"}, S::kDone, {1, kKept, 2}, 1},
               {{",5"}, S::kDone, {kKept, 5}, 1},
               {{"12", ",7"}, S::kDone, {12, 7}, 2},  // a record end closes no value
               {{"1 ,", ",2"}, S::kDone, {1, kKept, 2}, 2},
               {{"3*0"}, S::kDone, {0, 0, 0}, 1},
               {{"2* 9"}, S::kDone, {kKept, kKept, 9}, 1},
               {{"2*,4"}, S::kDone, {kKept, kKept, 4}, 1},
               {{"1 2*7", "8"}, S::kDone, {1, 7, 7}, 1},
               {{"5 /", "8"}, S::kDone, {5, kKept}, 1},
               {{"5/ 6 7"}, S::kDone, {5, kKept, kKept}, 1},
               {{"1 2 3 4 5 6 7 8", "", "   ", "9 10 11", "12 13 14 15 16 17", "99"},
                S::kDone,
                {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                5},
               {{"7.9 -7.9 1.5E2 1.0d1"}, S::kDone, {7, -7, 150, 10}, 1},
               {{"2147483647 -2147483648 +3"}, S::kDone, {2147483647, INT32_MIN, 3}, 1},
               {{"1e10 -3.0E9"}, S::kDone, {INT32_MIN, INT32_MIN}, 1},
               {{"x 12a ,,", "5"}, S::kDone, {}, 1},  // no targets: exactly one record
               // A failed read fills the targets before the failing value and leaves
               // that one and the rest as they were.
               {{"12a"}, S::kSyntaxError, {kKept}, 1},
               {{"1.2.3"}, S::kSyntaxError, {kKept}, 1},
               {{"abc"}, S::kSyntaxError, {kKept}, 1},
               {{"-"}, S::kSyntaxError, {kKept}, 1},
               {{"+-5"}, S::kSyntaxError, {kKept}, 1},
               {{"1.5e"}, S::kSyntaxError, {kKept}, 1},
               {{"E5"}, S::kSyntaxError, {kKept}, 1},
               {{"1:2"}, S::kSyntaxError, {kKept}, 1},
               {{"3000000000"}, S::kConversionError, {kKept}, 1},
               {{"5+3"}, S::kConversionError, {kKept}, 1},
               {{"-2147483649"}, S::kConversionError, {kKept}, 1},
               {{"1 2", "12a 4"}, S::kSyntaxError, {1, 2, kKept, kKept}, 2},
               {{"1 3000000000 5"}, S::kConversionError, {1, kKept, kKept}, 1},
               {{"4 2*3000000000"}, S::kConversionError, {4, kKept, kKept}, 1},
               {{"2*x 5"}, S::kSyntaxError, {kKept, kKept, kKept}, 1},
               {{}, S::kEndOfFile, {}, 0},
               {{}, S::kEndOfFile, {kKept}, 0},
               {{"1", "", "  "}, S::kEndOfFile, {1, kKept}, 3},
               {{"1 2*7"}, S::kEndOfFile, {1, 7, 7, kKept}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.lines) + " into " + std::to_string(c.values.size()));
    Records records{c.lines};
    std::vector<std::int32_t> values(c.values.size(), kKept);
    std::vector<FreeFormTarget> targets(values.begin(), values.end());
    EXPECT_EQ(ParseFreeForm(records, targets), c.status);
    EXPECT_EQ(records.next, c.used);
    EXPECT_EQ(values, c.values);
  }
}

TEST(FreeFormRead, ColumnFieldsGiveWhatTheFreeFormReadGives) {
  // Three values of `width` columns each, then what follows them.
  const struct {
    std::size_t width;
    std::string record;
    bool taken;  // by the column read
  } cases[] = {{9, "        1       22 12345678", true},
               {9, "        1       22 12345678 99", true},  // more after a blank: not read
               {9, "        1       22 12345678,99", false},
               {9, "        1       22 123456789", false},  // the last value runs on
               {9, "00000000100000002200000003", false},    // no blank before a field
               {9, " 00000001 00000002 00000003", true},
               {9, "        1      2 2        3", false},  // a blank inside a field's digits
               {9, "        1       -2        3", false},
               {9, "        1        2         ", false},  // no digit in the last field
               {9, "        1        2       3", false},   // short
               {9, "\t       1        2        3", false},
               {9, "        1        2       3a", false},
               {9, "        1        2       3:", false},
               {9, "        /        2        3", false},
               {9, "        1        2       3/", false},
               {9, "       10        9        0", true},
               // Eight columns: a blank and at most seven digits.
               {8, "       1      22 1234567", true},
               {8, " 1234567 7654321 0000000", true},
               {8, "12345678 7654321 0000000", false},  // eight digits run into the field before
               {8, "       1      22 1234567 9", true},
               {8, "       1      22 12345678", false},
               {8, "       1      22 1234567", true},
               {8, "       1        2       3", false},  // nine-column fields
               // Ten columns: a blank and up to nine digits, the largest
               // nine-digit numbers and one with a leading zero.
               {10, "         1        22 123456789", true},
               {10, " 999999999 100000000 012345678", true},
               {10, " 999999999 100000000 012345678 5", true},
               {10, " 9 9999999 100000000 012345678", false},  // a blank after the first digit
               {10, " 99999999  100000000 012345678", false},  // a blank after the digits
               {10, "1999999999 100000000 012345678", false},  // no blank before the field
               {10, " :99999999 100000000 012345678", false},
               {10, " /99999999 100000000 012345678", false},
               {10, " 999999999 100000000 0123456789", false},  // the last value runs on
               {10, " 999999999 100000000 01234567", false},    // short
               {10, "        1        2        3", false},      // nine-column fields
               // Widths the read does not take.
               {7, "      1     22 123456", false},
               {11, "          1         22  123456789", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    std::array<std::int32_t, 3> fast{kKept, kKept, kKept};
    ASSERT_EQ(TakeColumnIntegers(c.record, c.width, fast), c.taken);
    if (!c.taken) continue;
    Records records{{c.record}};
    std::array<std::int32_t, 3> values{kKept, kKept, kKept};
    const FreeFormTarget targets[] = {values[0], values[1], values[2]};
    ASSERT_EQ(ParseFreeForm(records, targets), FreeFormStatus::kDone);
    EXPECT_EQ(fast, values);
  }
  // Every digit, blank and neighbouring character in every column of the
  // middle field, at each width, against the free-form read: '!' and the
  // control character before the blank too, which a zero-byte test that lets
  // a borrow run into the next byte would take for blanks.
  const std::string characters = "0123456789 /:+-!\x1f";
  for (std::size_t width = 8; width <= 10; ++width) {
    std::string base;
    for (char last : {'7', '8', '9'}) base += std::string(width - 1, ' ') + last;
    for (std::size_t column = 1; column < width; ++column) {
      for (char c : characters) {
        std::string record = base;
        record[width + column] = c;
        SCOPED_TRACE(record);
        std::array<std::int32_t, 3> fast{};
        const bool taken = TakeColumnIntegers(record, width, fast);
        // The middle field is tested even when its value is not wanted.
        std::array<std::int32_t, 3> ends{kKept, kKept, kKept};
        ASSERT_EQ(TakeColumnIntegers(record, width, ends, 0b101), taken);
        if (taken) {
          EXPECT_EQ(ends, (std::array<std::int32_t, 3>{fast[0], kKept, fast[2]}));
        }
        Records records{{record}};
        std::array<std::int32_t, 3> values{};
        const FreeFormTarget targets[] = {values[0], values[1], values[2]};
        const FreeFormStatus status = ParseFreeForm(records, targets);
        // Taken when the field after its first blank is blanks then digits.
        const std::string field = record.substr(width + 1, width - 1);
        const std::size_t first_digit = field.find_first_not_of(' ');
        const bool regular =
            first_digit != std::string::npos &&
            field.find_first_not_of("0123456789", first_digit) == std::string::npos;
        EXPECT_EQ(taken, regular) << width;
        if (!taken) continue;
        ASSERT_EQ(status, FreeFormStatus::kDone);
        EXPECT_EQ(fast, values);
      }
    }
  }
  // The nine-digit numbers of ten columns, digit by digit.
  for (std::size_t digit = 0; digit <= 9; ++digit) {
    for (std::size_t column = 1; column < 10; ++column) {
      std::string field(10, ' ');
      for (std::size_t k = column; k < 10; ++k)
        field[k] = static_cast<char>('0' + (k + digit) % 10);
      const std::string record = field + field + field;
      SCOPED_TRACE(record);
      std::array<std::int32_t, 3> fast{};
      ASSERT_TRUE(TakeColumnIntegers(record, 10, fast));
      const std::int32_t expected = std::stoi(field);
      EXPECT_EQ(fast, (std::array<std::int32_t, 3>{expected, expected, expected}));
    }
  }
}

// Records of one field, of two, long enough to span several words of
// columns, up to and beyond the longest the whole-record test takes: every
// column of them changed in turn, to a blank, a digit or another character,
// taken exactly when each field is its blank, then blanks and digits, with
// the values each field writes (the first 32 of them).
TEST(FreeFormRead, ColumnRecordsTestedAcrossWords) {
  for (std::size_t width = 8; width <= 10; ++width) {
    for (std::size_t fields : std::vector<std::size_t>{1, 2, 25, 32, 33}) {
      std::string base;
      for (std::size_t f = 0; f < fields; ++f) {
        const std::string digits = std::to_string((f * 7919 + 3) % 100000);
        base += std::string(width - digits.size(), ' ') + digits;
      }
      for (std::size_t column = 0; column < base.size(); ++column) {
        for (char c : {' ', '7', 'x'}) {
          std::string record = base;
          record[column] = c;
          SCOPED_TRACE(testing::Message() << width << " columns, " << fields
                                          << " fields: " << column << " '" << c << "'");
          std::vector<std::int32_t> fast(fields);
          const bool taken = TakeColumnIntegers(record, width, fast);
          bool regular = true;
          std::vector<std::int32_t> values(fields);
          for (std::size_t f = 0; f < fields; ++f) {
            const std::string field = record.substr(f * width, width);
            const std::size_t first_digit = field.find_first_not_of(' ');
            regular = regular && field[0] == ' ' && first_digit != std::string::npos &&
                      field.find_first_not_of("0123456789", first_digit) == std::string::npos;
            if (regular) values[f] = std::stoi(field);
          }
          ASSERT_EQ(taken, regular);
          // Values past the 32nd are tested, never stored.
          if (taken) {
            for (std::size_t f = 0; f < fields; ++f) EXPECT_EQ(fast[f], f < 32 ? values[f] : 0);
          }
        }
      }
    }
  }
}

// The byte marks gathered into bits, as the column test does without
// 16-byte registers: every pattern of marked bytes.
TEST(DecimalDigits, MarkedBytesGatheredIntoBits) {
  for (std::uint64_t bits = 0; bits < 256; ++bits) {
    std::uint64_t marks = 0;
    for (int k = 0; k < 8; ++k) marks |= ((bits >> k) & 1) << (8 * k + 7);
    EXPECT_EQ(HighBitsOfBytes(marks), bits) << bits;
  }
}

TEST(FreeFormRead, RealTargets) {
  const double inf = std::numeric_limits<double>::infinity();
  Records records{{"1.0d0 3 -2.5Q-1 1.5+02 .5, INF -Infinity 1*6.25E-3 0.1 / 7"}};
  std::vector<double> values(10, -99.0);
  std::vector<FreeFormTarget> targets(values.begin(), values.end());
  ASSERT_EQ(ParseFreeForm(records, targets), FreeFormStatus::kDone);
  EXPECT_EQ(values, (std::vector<double>{1.0, 3.0, -0.25, 150.0, 0.5, inf, -inf, 6.25E-3,
                                         0x1.999999999999ap-4, -99.0}));
}

TEST(FreeFormRead, FileReadsAndDiagnostics) {
  test_support::ScopedTempDir dir;
  test_support::WriteFile("m.cdb", "1 2 3\r\n(5i8)\r\n  4, 5 /\r\n12a\r\n");
  const std::string path = (std::filesystem::current_path() / "m.cdb").string();
  InputFile file("m.cdb", kModelUnit);
  std::int32_t a = 0, b = 0, c = 0;
  ReadFreeForm(file, {a, b});  // the rest of the record is ignored
  ReadFreeForm(file, {});
  ReadFreeForm(file, {c, a, b});
  EXPECT_EQ((std::vector<std::int32_t>{a, b, c}), (std::vector<std::int32_t>{5, 2, 4}));
  for (const char* line : {"runerr: severe (59): list-directed I/O syntax error, unit 5, file ",
                           "runerr: severe (24): end-of-file during read, unit 5, file "}) {
    const test_support::RunResult ended =
        test_support::CatchRunEnded([&] { ReadFreeForm(file, {a}); });
    EXPECT_EQ(ended.status, std::stoi(line + 16));
    EXPECT_EQ(ended.err, line + path + "\r\n");
  }
}

TEST(FreeFormWrite, RecordsByteForByte) {
  const std::string x100(100, 'x'), int6 =
                                        "           1           2           3           4"
                                        "           5           6";
  const struct {
    std::vector<FreeFormItem> items;
    std::vector<std::string> records;
  } cases[] = {
      {{" Node number error ni, i =", 17, 5},
       {"  Node number error ni, i =          17           5"}},
      {{"          0                              ! Number of remote stress loading"},
       {"           0                              ! Number of remote stress loading"}},
      {{3, 10, 11, 14, 13}, {"           3          10          11          14          13"}},
      {{"ZONE T=\"Model\", N=", 1200, ", E=", 2398, "DATAPACKING=POINT, ZONETYPE=FETRIANGLE"},
       {" ZONE T=\"Model\", N=        1200 , E=        2398 ",
        " DATAPACKING=POINT, ZONETYPE=FETRIANGLE"}},
      {{"ZONE T=\"Field Points\", N=", 36, ", E=", 25,
        "DATAPACKING=POINT, ZONETYPE=FEQUADRILATERAL"},
       {" ZONE T=\"Field Points\", N=          36 , E=          25 ",
        " DATAPACKING=POINT, ZONETYPE=FEQUADRILATERAL"}},
      {{" Data Translation from ANSYS to BEM is done!"},
       {"  Data Translation from ANSYS to BEM is done!"}},
      {{"$ Nodes:"}, {" $ Nodes:"}},
      {{}, {" "}},
      {{INT32_MIN}, {" -2147483648"}},
      {{0, "ab", "cd  "}, {"           0 abcd  "}},
      {{"ab", 0}, {" ab           0"}},
      {{1, 2, 3, 4, 5, 6, 7}, {int6, "           7"}},       // no room for a seventh field
      {{"abcdefg", 1, 2, 3, 4, 5, 6}, {" abcdefg" + int6}},  // the last field ends at column 80
      {{1, 2, 3, 4, 5, 6, "abcdefgh"}, {int6 + " abcdefg", " h"}},  // a text fills the record
      {{std::string_view(x100)}, {std::string(80, 'x'), std::string(" ").append(20, 'x')}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.records.front());
    EXPECT_EQ(FreeFormRecords(c.items), c.records);
  }
  test_support::ScopedTempDir dir;
  {
    OutputFile file("input.plt", kPlotUnit);
    WriteFreeForm(file, {std::string_view(x100), 7});
    WriteFreeForm(file, {});
  }
  const std::string expected =
      std::string(80, 'x').append("\r\n ").append(20, 'x').append("           7\r\n \r\n");
  EXPECT_EQ(test_support::ReadFile("input.plt"), expected);
}

}  // namespace
