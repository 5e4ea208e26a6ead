// The element block reader: format records, the cut of quadrilaterals, the
// rows of ElementTriangles, field cells, and numbers outside the tables.
#include "model/element_block.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

using Point = std::array<double, 3>;

struct ElementPass {
  RunTables run;
  int status = -1;  // the status the reader ended the run with, -1 when it returned
  std::string err;
  std::string next;                           // the record after the last one read
  std::vector<std::array<int, 3>> triangles;  // TriangleNodes, columns 1 to TriangleCount
  std::vector<std::array<int, 2>> rows;       // ElementTriangles, rows 1 to ElementCount
};

// Reads the element block of `text`, NodeCoords holding `points` in its first columns.
ElementPass ReadElements(const std::string& text, const std::vector<Point>& points, int nodes,
                         int elements, int cells = 0, int jobs = 1) {
  test_support::WriteFile("ANSYS_Model.cdb", text);
  InputFile model("ANSYS_Model.cdb", kModelUnit);
  ElementPass pass;
  RunTables& run = pass.run;
  run.NodeCount = nodes;
  run.ElementCount = elements;
  run.FieldCellCount = cells;
  AllocateTables(run);
  for (std::size_t n = 0; n < points.size(); ++n)
    std::copy_n(points[n].data(), 3, run.NodeCoords.Column(int(n) + 1));
  const test_support::RunResult ended = test_support::CatchRunEnded([&] {
    ReadElementBlock(model, run, jobs);
    pass.next = model.ReadRecord();
  });
  pass.status = ended.status;
  pass.err = ended.err;
  for (int t = 1; pass.status == -1 && t <= run.TriangleCount; ++t) {
    pass.triangles.push_back(
        {run.TriangleNodes(1, t), run.TriangleNodes(2, t), run.TriangleNodes(3, t)});
  }
  for (int e = 1; e <= elements; ++e)
    pass.rows.push_back({run.ElementTriangles(e, 1), run.ElementTriangles(e, 2)});
  return pass;
}

const std::vector<Point> kRectangle = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
const std::vector<Point> kRhombus = {{0, 0, 0}, {1, -2, 0}, {2, 0, 0}, {1, 2, 0}};

TEST(ReadElementBlock, TrianglesAndTheirRows) {
  struct Case {
    const char* name;
    std::vector<Point> points;
    std::string records;  // from the element format record on
    std::vector<std::array<int, 3>> triangles;
    std::vector<std::array<int, 2>> rows;
  };
  const Case cases[] = {
      {"triangle element",
       kRectangle,
       "(19i8) and text\n1 1 1 0 0 0 0 0 3 0 1 1 2 3 3\n",
       {{1, 2, 3}},
       {{1, 1}}},
      {"rectangle: equal diagonals, cut along J-L",
       kRectangle,
       "(19i9)\n       1       1       1       1       0       0       0       0       4       0       1       1"
       "       2       3       4\n",
       {{1, 2, 4}, {2, 3, 4}},
       {{1, 2}}},
      {"rhombus: J-L longer, cut along I-K",
       kRhombus,
       "(19i10)\n1 1 1 0 0 0 0 0 4 0 1 1 2 3 4\n",
       {{1, 2, 3}, {1, 3, 4}},
       {{1, 2}}},
      {"rhombus from its second corner",
       kRhombus,
       "(19i8)\n1,1,1,0,0,0,0,0,4,0,1,2,3,4,1\n",
       {{2, 3, 1}, {3, 4, 1}},
       {{1, 2}}},
      {"a length not a number cuts along J-L",
       {{NAN, 0, 0}, {1, -2, 0}, {2, 0, 0}, {1, 2, 0}},
       "(19i8)\n1 1 1 0 0 0 0 0 4 0 1 1 2 3 4\n",
       {{1, 2, 4}, {2, 3, 4}},
       {{1, 2}}},
      // A node count (ninth value) above 8 with exactly fifteen values, 1 or 2 on a record of
      // fifteen, a trailing comma: read as they stand.
      {"node counts that read as they stand",
       kRectangle,
       "(19i8)\n1 1 1 0 0 0 0 0 20 0 1 1 2 3 3\n1 1 1 0 0 0 0 0 2 0 2 1 3 4 4\n"
       "1 1 1 0 0 0 0 0 10 0 3 2 3 4 4 , \n",
       {{1, 2, 3}, {1, 3, 4}, {2, 3, 4}},
       {{1, 1}, {2, 2}, {3, 3}}},
      // Out of order, one record on two lines, an eight-node shell (19 values), J equal to K.
      {"rows by element number",
       kRhombus,
       "(19i8)\n1 1 1 0 0 0 0 0 4 0 3 1 2 3 4\n1 1 1 0 0 0 0 0 3 0\n\n  1 4 1 2 2\n"
       "1 1 1 0 0 0 0 0 8 0 2 2 3 3 4 9 9 9 9\n",
       {{1, 2, 3}, {1, 3, 4}, {4, 1, 2}, {2, 3, 4}, {3, 3, 4}},
       {{3, 3}, {4, 5}, {1, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::ScopedTempDir dir;
    const ElementPass pass = ReadElements("EBLOCK,19,SOLID\n" + c.records + "      -1\n", c.points,
                                          4, int(c.rows.size()));
    ASSERT_EQ(pass.status, -1) << pass.err;
    EXPECT_EQ(pass.triangles, c.triangles);
    EXPECT_EQ(pass.rows, c.rows);
    EXPECT_EQ(pass.next, "      -1");
  }
}

// Field cells follow the boundary elements directly; their corners become
// field-point numbers, stored unchanged whatever they are.
TEST(ReadElementBlock, FieldCellsAsFieldPointNumbers) {
  for (int elements : {0, 1}) {
    SCOPED_TRACE(elements);
    test_support::ScopedTempDir dir;
    const std::string element = elements ? "1 1 1 0 0 0 0 0 3 0 1 1 2 3 3\n" : "";
    const ElementPass pass =
        ReadElements("(19i8)\n" + element + "1 1 1 0 0 0 0 0 4 0 2 101 102 103 104\n" +
                         "1 1 1 0 0 0 0 0 4 0 3 105 50 0 105\nD,      1,UX  ,0\n",
                     {}, 100, elements, 2);
    ASSERT_EQ(pass.status, -1) << pass.err;
    EXPECT_EQ(int(pass.triangles.size()), elements);
    const std::vector<int> expected = {1, 2, 3, 4, 5, -50, -100, 5};
    EXPECT_EQ(
        std::vector<int>(pass.run.FieldCellNodes.Column(1), pass.run.FieldCellNodes.Column(1) + 8),
        expected);
    EXPECT_EQ(pass.next, "D,      1,UX  ,0");
  }
}

TEST(ReadElementBlock, OtherFormatRecordsAreNotRecognised) {
  test_support::ScopedTempDir dir;
  const ElementPass pass =
      ReadElements("(19i7)\n(19I8)\n( 19i8)\n(19i100)\n(19i1)\n1 1 1 0 0 0 0 0 3 0 1 1 2 3 3\n",
                   kRectangle, 4, 1);
  EXPECT_EQ(pass.status, 24);
  EXPECT_EQ(pass.err, "runerr: severe (24): end-of-file during read, unit 5, file " +
                          (std::filesystem::current_path() / "ANSYS_Model.cdb").string() + "\r\n");
}

// Volume, line and mass elements: the node count (ninth value) above 8 with
// the node list going on, or 1 or 2 with the values taken from more than one
// record, refuses the model before the record's other checks. A diagnostic of
// the read itself comes first.
TEST(ReadElementBlock, NonSurfaceElementsRefuseTheModel) {
  const struct {
    const char* name;
    std::string records;  // after "(19i9)"
    int elements, cells;
    std::string err;  // the line without its CR LF, or the number of a diagnostic
  } cases[] = {
      {"20 nodes, continuation in range",
       "1 1 1 1 0 0 0 0 20 0 1 1 2 3 4 5 6 7 8\n9 10 11 12 13 14 15 16 17 18 2 20\n"
       "1 1 1 1 0 0 0 0 4 0 2 1 2 3 4\n",
       2, 0, "element 1 has 20 nodes"},
      {"10 nodes first, number outside the table", "1 1 1 1 0 0 0 0 10 0 7 1 2 3 4 5 6 7 8\n9 10\n",
       2, 0, "element 7 has 10 nodes"},
      {"line element in the middle",
       "1 1 1 1 0 0 0 0 4 0 1 1 2 3 4\n1 1 1 1 0 0 0 0 2 0 2 5 6\n1 1 1 1 0 0 0 0 4 0 3 1 2 3 4\n",
       3, 0, "element 2 has 2 nodes"},
      {"mass element, corner 0", "1 1 1 1 0 0 0 0 1 0 1 0\n1 1 1 1 0 0 0 0 4 0 2 1 2 3 4\n", 2, 0,
       "element 1 has 1 node"},
      {"20-node field cell", "1 1 1 1 0 0 0 0 20 0 1 21 22 23 24 25 26 27 28\n29 30\n", 0, 1,
       "element 1 has 20 nodes"},
      // Whichever records the fifteen values come from, values left on the
      // record of the fifteenth refuse a count above 8; none left do not.
      {"fifteen values over two records, more left",
       "1 1 1 1 0 0 0 0 20 0\n3 1 2 3 4 5 6 7\n1 1 1 1 0 0 0 0 4 0 1 1 2 3 4\n", 3, 0,
       "element 3 has 20 nodes"},
      {"fifteen values over two records, none left, then a line element",
       "1 1 1 1 0 0 0 0 20 0\n1 1 2 3 4\n1 1 1 1 0 0 0 0 1 0 2 5\n6 7 8\n", 2, 0,
       "element 2 has 1 node"},
      {"syntax error before the count is seen", "1 1 1 1 0 0 0 0 2 0 1 5 6\nCMBLOCK,FIELDCELLS\n",
       1, 0, "59"},
  };
  for (const auto& c : cases) {
    for (int jobs : {1, 2}) {
      SCOPED_TRACE(std::string(c.name) + ", jobs " + std::to_string(jobs));
      test_support::ScopedTempDir dir;
      const ElementPass pass =
          ReadElements("(19i9)\n" + c.records + "      -1\n", {}, 40, c.elements, c.cells, jobs);
      if (c.err == "59") {
        EXPECT_EQ(pass.status, 59);
        EXPECT_TRUE(pass.err.starts_with("runerr: severe (59): ")) << pass.err;
        continue;
      }
      EXPECT_EQ(pass.status, 1);
      EXPECT_EQ(pass.err, " ANSYS cdb file error: " + c.err + ", not a surface element\r\n");
    }
  }
}

// Element numbers and corners outside the tables end the run with status 1.
// Numbers that fill their columns are read by them, also in the record that
// is read alone.
TEST(ReadElementBlock, NumbersOutsideTheTablesEndTheRun) {
  const std::string attributes8 =
      "       1       1       1       0       0       0       0       0";
  const std::string attributes10 =
      "         1         1         1         0         0         0         0         0";
  const std::array<std::string, 3> cases[] = {
      {"1 1 1 0 0 0 0 0 4 0 17 1 2 3 912", "element 17 has node 912", "500"},
      {"1 1 1 0 0 0 0 0 4 0 17 0 2 3 4", "element 17 has node 0", "500"},
      {"1 1 1 0 0 0 0 0 3 0 17 1 -3 501 501", "element 17 has node -3", "500"},
      {"1 1 1 0 0 0 0 0 3 0 17 1 2 501 501", "element 17 has node 501", "500"},
      {"1 1 1 0 0 0 0 0 4 0 21 1 2 3 4", "element number 21", "20"},
      {attributes8 + "       4       012345678       1       2       3       4",
       "element number 12345678", "20"},
      {"(19i10)\n" + attributes10 + "         4         0        17         1         2" +
           "2147483647         4",
       "element 17 has node 2147483647", "500"},
  };
  for (const auto& [record, names, range] : cases) {
    SCOPED_TRACE(record);
    test_support::ScopedTempDir dir;
    const ElementPass pass =
        ReadElements((record.starts_with("(") ? "" : "(19i8)\n") + record + "\n", {}, 500, 20);
    EXPECT_EQ(pass.status, 1);
    EXPECT_TRUE(pass.err.starts_with(" ANSYS cdb file error: ") &&
                pass.err.find(names) != std::string::npos &&
                pass.err.ends_with(std::string(", outside 1 to ") + range + "\r\n") &&
                pass.err.find('\n') == pass.err.size() - 1)
        << pass.err;
  }
}

}  // namespace
