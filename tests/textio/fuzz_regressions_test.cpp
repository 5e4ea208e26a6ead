// Inputs that fuzzing found, kept as tests.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string_view>

#include "textio/number_read.h"
#include "textio/number_write.h"

// Written with 15 digits, the largest doubles round up past the largest
// double: '0.179769313486232+309'. Read back, the text must still give a
// finite value within half a unit of its last digit (10^294 / 2) of the
// value written, as every other double does.
TEST(FuzzRegressions, LargestDoublesReadBackFromD24_15) {
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
