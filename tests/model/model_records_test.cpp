// The model read whole for the rebuilt models: the rows of the field
// components, "n -m" ranges and rows over several records among them, up to
// the first record that is no row, whatever count their header gives.
#include "model/model_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

TEST(ModelRecords, FieldComponentRows) {
  const std::string nodes =
      "NBLOCK,6,SOLID\n(3i9,6e21.13e3)\n        1        0        0\nN,R5.3,LOC,       -1,\n";
  const struct {
    const char* name;
    std::string components;
    int status;  // -1: read
    std::vector<std::int32_t> points, cells;
  } cases[] = {
      {"a range, the header counting its members",
       "CMBLOCK,FIELDPOINTS,NODE,       4\n(8i10)\n         1        -4\n"
       "CMBLOCK,FIELDCELLS,ELEM,       1\n(8i10)\n         5\n",
       -1,
       {1, -4},
       {5}},
      {"rows over two records, the header counting its values",
       "CMBLOCK,FIELDPOINTS,NODE,      10\n(8i10)\n"
       "         1         3         5         7         9        11        13        15\n"
       "        17       -20\nD,      1,UX  , 0.0\n",
       -1,
       {1, 3, 5, 7, 9, 11, 13, 15, 17, -20},
       {}},
      {"a letter in a row", "CMBLOCK,FIELDCELLS,ELEM,       1\n(8i10)\n         5x\n", 59, {}, {}},
      {"the file ends inside the rows", "CMBLOCK,FIELDCELLS,ELEM,       1\n(8i10)\n", 24, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::ScopedTempDir dir;
    test_support::WriteFile("m.cdb", nodes + c.components + (c.status == 24 ? "" : "FINISH\n"));
    InputFile model("m.cdb", kModelUnit);
    ModelRecords records;
    const test_support::RunResult ended =
        test_support::CatchRunEnded([&] { ReadModelRecords(model, records); });
    ASSERT_EQ(ended.status, c.status) << ended.err;
    if (c.status != -1) continue;
    EXPECT_EQ(records.field_point_values, c.points);
    EXPECT_EQ(records.field_cell_values, c.cells);
    EXPECT_EQ(records.node_numbers, std::vector<std::int32_t>{1});
  }
}

// A declared node format is the one record right after NBLOCK: not one after
// a FINISH or another record, where the scan for a format goes on.
TEST(ModelRecords, DeclaredNodeFormatRightAfterNblock) {
  const std::string node = "      1        0        0 1.5000000000000E+000\n";
  const struct {
    std::string before;  // the records before the node records
    std::vector<std::int32_t> numbers;
  } cases[] = {
      {"NBLOCK,6,SOLID\n(1i7,2i9,3e21.13)\n", {1}},
      {"NBLOCK,6,SOLID\nFINISH\n(1i7,2i9,3e21.13)\n", {}},
      {"NBLOCK,6,SOLID\n/COM\n(1i7,2i9,3e21.13)\n", {}},
      {"(1i7,2i9,3e21.13)\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    test_support::ScopedTempDir dir;
    test_support::WriteFile("m.cdb", c.before + node + "N,R5.3,LOC,       -1,\nFINISH\n");
    InputFile model("m.cdb", kModelUnit);
    ModelRecords records;
    const test_support::RunResult ended =
        test_support::CatchRunEnded([&] { ReadModelRecords(model, records); });
    // Without a node block the reading goes on to the end of the file.
    ASSERT_EQ(ended.status, c.numbers.empty() ? 24 : -1) << ended.err;
    EXPECT_EQ(records.node_numbers, c.numbers);
    if (!c.numbers.empty()) {
      EXPECT_EQ(records.node_coords, (std::vector<double>{1.5, 0.0, 0.0}));
    }
  }
}

}  // namespace
