// The node block reader: the four node layouts column by column, short
// records, and the numbering messages on the console.
#include "model/node_block.h"

#include <array>
#include <string>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

using Point = std::array<double, 3>;

struct NodePass {
  RunTables run;
  int status = -1;  // the status the reader ended the run with, -1 when it returned
  std::string out;
  std::string next;  // the record after the last one read
};

NodePass ReadNodes(const std::string& text, int nodes, int points) {
  test_support::WriteFile("ANSYS_Model.cdb", test_support::WithCrLf(text));
  InputFile model("ANSYS_Model.cdb", kModelUnit);
  NodePass pass;
  pass.run.NodeCount = nodes;
  pass.run.FieldPointCount = points;
  AllocateTables(pass.run);
  OutputFile console = OutputFile::Console();
  testing::internal::CaptureStdout();
  pass.status = test_support::CatchRunEnded([&] {
                  ReadNodeBlock(model, pass.run, console);
                  pass.next = model.ReadRecord();
                }).status;
  console.Flush();
  pass.out = testing::internal::GetCapturedStdout();
  return pass;
}

Point Column(const Table2D<double>& table, int n) {
  return {table(1, n), table(2, n), table(3, n)};
}

TEST(ReadNodeBlock, EachLayoutColumnByColumn) {
  struct Case {
    const char* formats;  // records up to the node format record
    const char* node1;
    const char* node2;  // a short record
    Point xyz1, xyz2;
  };
  const char* kLayout4 =
      "        1        0        0 6.6000000000000E-002-6.6000000000000E-002 1.2500000000000E+000";
  const Case cases[] = {
      {"(3i8,6e16.9)",
       "       1       0       0 1.500000000E+00-2.500000000E-01 3.000000000E+02",
       "       2       0       0 4.000000000E+00 5.000000000E+00",
       {1.5, -0.25, 300.0},
       {4.0, 5.0, 0.0}},
      {"(3i8,6e16.9) and text",
       "       1       5       7        -6.01203         2.98129          2.3805",
       "       2",
       {-6.01203, 2.98129, 2.3805},
       {0.0, 0.0, 0.0}},
      {"(3i8,6e20.13)",
       "       1       0       0 1.5000000000000E+00-2.5000000000000E-01 3.0000000000000E+02",
       "       2       0       0 4.0000000000000E+00",
       {1.5, -0.25, 300.0},
       {4.0, 0.0, 0.0}},
      {"(3i9,6e20.13)",
       "        1        0        0 1.5000000000000E+00-2.5000000000000E-01 3.0000000000000E+02",
       "        2        0        0 4.0000000000000E+00 5.0000000000000E+00",
       {1.5, -0.25, 300.0},
       {4.0, 5.0, 0.0}},
      {"(3i9,6e21.13e3)",
       kLayout4,
       "        2        0        0-4.0000000000000E+000",
       {0.066, -0.066, 1.25},
       {-4.0, 0.0, 0.0}},
      // No format records: other text in column 13, capitals, other widths.
      {"(3i8,6e16.9)x\n(3I9,6E21.13E3)\n(3i8,6e16.8)\n(3i9,6e21.13eXYZ",
       kLayout4,
       "        2",
       {0.066, -0.066, 1.25},
       {0.0, 0.0, 0.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formats);
    test_support::ScopedTempDir dir;
    const NodePass pass = ReadNodes(std::string("NBLOCK,6,SOLID,       2,       2\n") + c.formats +
                                        "\n" + c.node1 + "\n" + c.node2 + "\nN,R5.3,LOC,     -1,\n",
                                    2, 0);
    ASSERT_EQ(pass.status, -1);
    EXPECT_EQ(pass.out, "");
    EXPECT_EQ(Column(pass.run.NodeCoords, 1), c.xyz1);
    EXPECT_EQ(Column(pass.run.NodeCoords, 2), c.xyz2);
    EXPECT_EQ(pass.next, "N,R5.3,LOC,     -1,");
  }
}

// Field points are compared with NodeCount + j but reported with j.
TEST(ReadNodeBlock, NumberingMismatchesAreReportedAndReadingGoesOn) {
  test_support::ScopedTempDir dir;
  const NodePass pass = ReadNodes(
      "(3i9,6e21.13e3)\n"
      "        1        0        0 1.0000000000000E+000\n"
      "        5        0        0 2.0000000000000E+000\n"
      "        1        0        0 3.0000000000000E+000 4.0000000000000E+000-5.0000000000000E+000\n"
      "        4        0        0 6.0000000000000E+000 7.0000000000000E+000 8.0000000000000E+000\n"
      "        5        0        0\n",
      2, 2);
  EXPECT_EQ(pass.out,
            "  Node number error ni, i =           5           2\r\n"
            "  Node number error ni, i =           1           1\r\n");
  EXPECT_EQ(Column(pass.run.NodeCoords, 2), (Point{2.0, 0.0, 0.0}));
  EXPECT_EQ(Column(pass.run.FieldPointCoords, 1), (Point{3.0, 4.0, -5.0}));
  EXPECT_EQ(Column(pass.run.FieldPointCoords, 2), (Point{6.0, 7.0, 8.0}));
  EXPECT_EQ(pass.next, "        5        0        0");
}

}  // namespace
