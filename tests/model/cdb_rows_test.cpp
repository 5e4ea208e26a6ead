// The rows of the model file's blocks: where a block ends, the integers of a
// row, element rows read by columns (ten-digit numbers filling their fields
// among them) and read free-form, alike.
#include "model/cdb_rows.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "model/element_block.h"
#include "model/node_block.h"

namespace {

TEST(CdbRows, WhereABlockEnds) {
  const struct {
    const char* record;
    BlockRow kind;
  } cases[] = {
      {"        1        0        0 1.0", BlockRow::kRow},
      {"-2 5", BlockRow::kRow},  // a range's end, going on from the row before
      {"+7", BlockRow::kRow},
      {"\t12", BlockRow::kRow},
      {"       -1", BlockRow::kEndTaken},
      {"-1,", BlockRow::kEndTaken},
      {"-10", BlockRow::kRow},  // not the closing record
      {"N,R5.3,LOC,       -1,", BlockRow::kEndTaken},
      {"", BlockRow::kEndHandedBack},
      {"     ", BlockRow::kEndHandedBack},
      {"CMBLOCK,BASE,NODE,1", BlockRow::kEndHandedBack},
      {"D,      1,UX  , 0.0", BlockRow::kEndHandedBack},
      {"FINISH", BlockRow::kEndHandedBack},
      {".5", BlockRow::kEndHandedBack},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(KindOfBlockRow(c.record), c.kind);
  }
}

// Values, or the failure, of the free-form rule applied to one record.
TEST(CdbRows, IntegersOfARow) {
  const struct {
    const char* record;
    FreeFormStatus status;
    std::vector<std::int32_t> values;  // the values taken (before a failure)
  } cases[] = {
      {"         1        -4", FreeFormStatus::kDone, {1, -4}},
      {"12,7", FreeFormStatus::kDone, {12, 7}},
      {"12 , 7 ,", FreeFormStatus::kDone, {12, 7}},
      {"2.0 -7.9 1.5E2", FreeFormStatus::kDone, {2, -7, 150}},
      {"-2147483648 2147483647", FreeFormStatus::kDone, {-2147483648, 2147483647}},
      {"1 2 3 4 5", FreeFormStatus::kDone, {1, 2, 3, 4}},  // four wanted
      {"5 / 6", FreeFormStatus::kDone, {5}},
      {"", FreeFormStatus::kDone, {}},
      {"3 1a", FreeFormStatus::kSyntaxError, {3}},
      {"x", FreeFormStatus::kSyntaxError, {}},
      {"1 2147483648", FreeFormStatus::kConversionError, {1}},
      {"5+3", FreeFormStatus::kConversionError, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    std::array<std::int32_t, 4> values{};
    int count = -1;
    EXPECT_EQ(ReadIntegerRow(c.record, values, count), c.status);
    EXPECT_EQ(std::vector<std::int32_t>(values.begin(), values.begin() + count), c.values);
  }
}

// A record of fields of `width` columns holding `values`, right-aligned.
std::string Fields(std::size_t width, const std::vector<std::string>& values) {
  std::string record;
  for (const std::string& value : values) record += std::string(width - value.size(), ' ') + value;
  return record;
}

// Element rows: where every field begins with a blank, the columns give what
// the free-form read gives; a number that fills its field is read by its
// columns, where the free-form read would join it to the field before.
TEST(CdbRows, ElementRowsByColumnsAndFreeForm) {
  const std::vector<std::string> attributes = {"1", "2", "1", "1", "0", "0", "0", "0", "4", "0"};
  const auto row = [&](std::size_t width, const std::vector<std::string>& rest) {
    std::vector<std::string> all = attributes;
    all.insert(all.end(), rest.begin(), rest.end());
    return Fields(width, all);
  };
  const struct {
    const char* name;
    std::string record;
    std::size_t width;
    FreeFormStatus status;
    std::vector<std::int32_t> last;  // the values after the ten attributes
  } cases[] = {
      {"eight columns",
       row(8, {"7", "1", "2", "3", "4"}),
       8,
       FreeFormStatus::kDone,
       {7, 1, 2, 3, 4}},
      {"nine digits in ten columns",
       row(10, {"123456789", "1", "2", "3", "3"}),
       10,
       FreeFormStatus::kDone,
       {123456789, 1, 2, 3, 3}},
      {"ten digits fill ten columns",
       row(10, {"2147483647", "1", "1000000000", "3", "4"}),
       10,
       FreeFormStatus::kDone,
       {2147483647, 1, 1000000000, 3, 4}},
      {"a negative number fills its field",
       row(10, {"-123456789", "1", "2", "3", "4"}),
       10,
       FreeFormStatus::kDone,
       {-123456789, 1, 2, 3, 4}},
      {"eight digits fill eight columns",
       row(8, {"12345678", "1", "2", "3", "4"}),
       8,
       FreeFormStatus::kDone,
       {12345678, 1, 2, 3, 4}},
      {"nine digits fill nine columns, 19 fields",
       row(9, {"123456789", "1", "2", "3", "4", "5", "6", "7", "8"}),
       9,
       FreeFormStatus::kDone,
       {123456789, 1, 2, 3, 4, 5, 6, 7, 8}},
      // Beyond 32 bits the columns do not take it, and the free-form read
      // takes it with the field before.
      {"ten digits beyond 32 bits",
       row(10, {"2147483648", "1", "2", "3", "4"}),
       10,
       FreeFormStatus::kConversionError,
       {}},
      {"a point in a field",
       row(10, {"2.0", "1", "2", "3", "4"}),
       10,
       FreeFormStatus::kDone,
       {2, 1, 2, 3, 4}},
      {"a letter in a field",
       row(9, {"7", "1", "2a", "3", "4"}),
       9,
       FreeFormStatus::kSyntaxError,
       {}},
      {"fields of another width",
       row(8, {"7", "1", "2", "3", "4"}),
       10,
       FreeFormStatus::kDone,
       {7, 1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<std::int32_t, kElementRowValues> values{};
    int count = 0;
    ASSERT_EQ(ReadElementRow(c.record, c.width, values, count), c.status);
    if (c.status != FreeFormStatus::kDone) continue;
    ASSERT_EQ(count, static_cast<int>(10 + c.last.size()));
    EXPECT_EQ(values[1], 2);
    EXPECT_EQ(values[8], 4);
    EXPECT_EQ(std::vector<std::int32_t>(values.begin() + 10, values.begin() + count), c.last);
    // Where no field fills its columns, the free-form read agrees.
    bool parted = true;
    for (std::size_t at = 0; at < c.record.size(); at += c.width) parted &= c.record[at] == ' ';
    if (parted) {
      std::array<std::int32_t, kElementRowValues> free_form{};
      int free_count = 0;
      ASSERT_EQ(ReadIntegerRow(c.record, free_form, free_count), FreeFormStatus::kDone);
      EXPECT_EQ(free_count, count);
      EXPECT_EQ(free_form, values);
    }
  }
}

// The formats the run reads, as records and as a refusal lists them.
TEST(CdbRows, FormatsAndTheirLists) {
  const struct {
    const char* record;
    std::size_t width;
  } cases[] = {
      {"(19i8)", 8}, {"(19i9) and more", 9}, {"(19i10)", 10}, {"(19i11)", 0},
      {"(19i1", 0},  {" (19i8)", 0},         {"(19I8)", 0},   {"(3i9,6e21.13e3)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(ElementFieldWidth(c.record), c.width);
    EXPECT_EQ(IsElementFormat(c.record), c.width != 0);
  }
  EXPECT_EQ(ElementFormatList(), "(19i8), (19i9) or (19i10)");
  EXPECT_EQ(NodeFormatList(),
            "(3i8,6e16.9), (3i8,6e20.13), (3i9,6e20.13) or (3i9,6e21.13e...), or after the NBLOCK "
            "record any format of three integer fields (Ni W) and 3 to 6 real fields of one width "
            "and decimals (Me W.D or Me W.DeX)");
  const std::string_view two[] = {"a", "b"};
  EXPECT_EQ(FormatList(std::span(two, 1)), "a");
  EXPECT_EQ(FormatList(two), "a or b");
}

}  // namespace
