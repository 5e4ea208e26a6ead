// The fields of command records: one field found alone is the field the
// whole split gives, blanks kept, empty beyond the last.
#include "textio/command_fields.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

TEST(CommandFields, OneFieldIsTheFieldOfTheWholeSplit) {
  const struct {
    const char* record;
    std::vector<std::string_view> fields;
  } cases[] = {
      {"SFE,   970005,   1,PRES, 0,R5.0", {"SFE", "   970005", "   1", "PRES", " 0", "R5.0"}},
      {"SFE,4,,PRES", {"SFE", "4", "", "PRES"}},
      {"SFE,4,", {"SFE", "4", ""}},
      {",", {"", ""}},
      {"", {""}},
      {"FINISH", {"FINISH"}},
      {"SFEBLOCK, ALL,PRES ,  , 3", {"SFEBLOCK", " ALL", "PRES ", "  ", " 3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(CommandFields(c.record), c.fields);
    for (std::size_t index = 0; index < c.fields.size() + 2; ++index) {
      EXPECT_EQ(CommandField(c.record, index), FieldAt(c.fields, index)) << "field " << index;
    }
  }
}

}  // namespace
