// Table2D: column-major with 1-based indices, and every index checked in the
// builds that keep assertions (debug, sanitizer and fuzz builds).
#include "model/run_tables.h"

#include <gtest/gtest.h>

namespace {

TEST(Table2D, ColumnsHoldTheirRowsInARow) {
  Table2D<int> table;
  ASSERT_TRUE(table.Allocate(3, 2));
  for (int column = 1; column <= 2; ++column) {
    for (int row = 1; row <= 3; ++row) table(row, column) = 10 * row + column;
  }
  EXPECT_EQ(table.size(), 6);
  const int expected[] = {11, 21, 31, 12, 22, 32};  // column 1, then column 2
  for (int k = 0; k < 6; ++k) EXPECT_EQ(table.data()[k], expected[k]) << k;
  EXPECT_EQ(table.Column(2)[0], 12);
  EXPECT_EQ(table.Column(2)[2], 32);

  Table2D<double> empty;
  ASSERT_TRUE(empty.Allocate(3, -5, /*zeroed=*/true));  // a negative extent gives no items
  EXPECT_EQ(empty.size(), 0);
}

TEST(Table2DDeathTest, IndicesOutsideTheTableStopTheRun) {
#ifdef NDEBUG
  GTEST_SKIP() << "assertions are off in this build (NDEBUG); the debug build checks indices";
#else
  Table2D<int> table;
  ASSERT_TRUE(table.Allocate(3, 2));
  const Table2D<int>& read_only = table;
  EXPECT_DEATH(table.Column(0), "");
  EXPECT_DEATH(table.Column(3), "");
  EXPECT_DEATH(read_only.Column(3), "");
  EXPECT_DEATH(table(4, 1), "");
  EXPECT_DEATH(table(1, 0), "");
#endif
}

}  // namespace
