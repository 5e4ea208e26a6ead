// The node block reader: the node layouts column by column, short
// records, and the numbering messages on the console.
#include "model/node_block.h"

#include <array>
#include <optional>
#include <random>
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

// The format records follow "NBLOCK,...": the first is the one after it.
TEST(ReadNodeBlock, EachLayoutColumnByColumn) {
  struct Case {
    const char* formats;  // records up to the node format record
    const char* node1;
    const char* node2;  // a short record
    Point xyz1, xyz2;
    bool rotated1 = false;  // node 1 rotates its axes
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
      // Declared after NBLOCK: integer groups of three fields in all, 3 to 6
      // reals of one width; a 4th real that is not 0 rotates the axes.
      {"(1i7,2i9,6e21.13)",
       "      1        5        7 6.6000000000000E-002-6.6000000000000E-002 1.2500000000000E+000"
       " 9.0000000000000E+001",
       "      2        0        0-4.0000000000000E+000",
       {0.066, -0.066, 1.25},
       {-4.0, 0.0, 0.0},
       true},
      {"(3i9,3e20.13)",
       "        1        0        0 1.5000000000000E+00-2.5000000000000E-01 3.0000000000000E+02"
       " 9.0000000000000E+01",
       "        2        0        0 4.0000000000000E+00",
       {1.5, -0.25, 300.0},
       {4.0, 0.0, 0.0}},
      {"(2i6,1i5,4e12.5e2)",
       "     1     0    0 1.50000E+00-2.50000E-01 3.00000E+02 0.00000E+00",
       "     2     0    0 4.00000E+00",
       {1.5, -0.25, 300.0},
       {4.0, 0.0, 0.0}},
      {"(3i8,3e16.9,3e16.9) text",
       "       1       0       0 1.500000000E+00-2.500000000E-01 3.000000000E+02 0.000000000E+00"
       "                 1.000000000E+00",
       "       2",
       {1.5, -0.25, 300.0},
       {0.0, 0.0, 0.0},
       true},
      // No format records: other text in column 13, capitals, other widths
      // away from NBLOCK, and declarations of two real widths, two integer
      // fields, seven reals, reals first or no reals.
      {"(3i8,6e16.9)x\n(3I9,6E21.13E3)\n(3i8,6e16.8)\nNBLOCK\n(3i9,3e20.13,3e21.13)\nNBLOCK\n"
       "(2i9,6e20.13)\nNBLOCK\n(3i9,7e20.13)\nNBLOCK\n(3e20.13,3i9)\nNBLOCK\n(3i9)\nNBLOCK\n"
       "(3i9,3e20.13)x\nNBLOCK\n(3i9,3e20)\n(3i9,6e21.13eXYZ",
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
    EXPECT_EQ(pass.run.Notes.rotated_nodes.size(), c.rotated1 ? 1u : 0u);
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

namespace {

// The records of node blocks, written out field by field, read as the
// layout read reads them: the same values, the same refusals, the same
// items filled before a refused field. Fields from the usual to the
// irregular (commas, signs, blanks inside, short records).
TEST(ReadNodeFields, EachLayoutReadsAsTheLayoutRead) {
  const char* layouts[] = {"(3i8,6e16.9) ", "(3i8,6e20.13)", "(3i9,6e20.13)", "(3i9,6e21.13e3)"};
  std::mt19937 random(2026);
  const char* integers[] = {"1", "12345678", "-7", "1 2", ",", "x", "", "123456789"};
  const char* reals[] = {
      "1.2345678901234E+00",   "-4.5E-002", "0", "1.5,", ".", "1.0D+01", "INF", "",
      "1.2345678901234567890", "1e"};
  for (const char* format : layouts) {
    const std::optional<NodeLayout> format_layout = NodeFormatOf(format, false);
    ASSERT_TRUE(format_layout.has_value()) << format;
    const Layout layout = format_layout->fields();
    const int integer_width = layout[0].width;
    const int real_width = layout[1].width;
    for (int i = 0; i < 800; ++i) {
      std::string record;
      for (int f = 0; f < 6; ++f) {
        const int width = f < 3 ? integer_width : real_width;
        std::string text =
            f < 3 ? integers[random() % std::size(integers)] : reals[random() % std::size(reals)];
        if (text.size() > static_cast<std::size_t>(width))
          text.resize(static_cast<std::size_t>(width));
        record += std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
      }
      record.resize(random() % 4 == 0 ? random() % record.size() : record.size());
      SCOPED_TRACE("'" + record + "' as " + format);
      std::int32_t loop_ints[3] = {-9, -9, -9}, unrolled_ints[3] = {-9, -9, -9};
      double loop_reals[3] = {-9, -9, -9}, unrolled_reals[3] = {-9, -9, -9};
      const ReadItem loop[] = {loop_ints[0],  loop_ints[1],  loop_ints[2],
                               loop_reals[0], loop_reals[1], loop_reals[2]};
      const ReadItem unrolled[] = {unrolled_ints[0],  unrolled_ints[1],  unrolled_ints[2],
                                   unrolled_reals[0], unrolled_reals[1], unrolled_reals[2]};
      ASSERT_EQ(ReadNodeFields(record, layout, unrolled), ReadFixedFields(record, layout, loop));
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(unrolled_ints[k], loop_ints[k]);
        test_support::ExpectSameReal(loop_reals[k], unrolled_reals[k]);
      }
    }
  }
}

}  // namespace
