// What a free-form read tells of the records it took its values from.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"
#include "textio/free_form.h"

namespace {

using test_support::Records;

// What a finished read of three integers tells of its records: the records
// from the first value's to the last, and whether the last holds more values.
TEST(FreeFormRead, ExtentOfARead) {
  const struct {
    std::vector<std::string> lines;
    std::int32_t value_records;
    bool more_values;
  } cases[] = {
      {{"1 2 3"}, 1, false},           {{"1 2 3 4"}, 1, true},          {{"1 2 3,4"}, 1, true},
      {{"1 2 3 ,  ,", "4"}, 1, false}, {{"1 2 3 / 4"}, 1, false},       {{"1 2 3)"}, 1, true},
      {{"1 2", "", "3 4"}, 3, true},   {{"", "  ", "1 2 3"}, 1, false}, {{"1 5*2"}, 1, true},
      {{"1 2*2"}, 1, false},           {{"1,", ",3"}, 2, false},        {{"1 2 /", "3"}, 1, false},
      {{"/ 1 2 3"}, 1, false},         {{"1", "2", "3 x"}, 3, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.lines));
    Records records{c.lines};
    std::int32_t a = 0, b = 0, d = 0;
    FreeFormExtent extent;
    ASSERT_EQ(ParseFreeForm(records, std::vector<FreeFormTarget>{a, b, d}, &extent),
              FreeFormStatus::kDone);
    EXPECT_EQ(extent.value_records, c.value_records);
    EXPECT_EQ(extent.MoreValuesInRecord(), c.more_values);
  }
}

}  // namespace
