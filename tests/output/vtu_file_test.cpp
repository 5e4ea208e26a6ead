// The .vtu file read back by its own layout: the header's offsets and the
// appended blocks (a 64-bit byte count, then the items), array by array.
#include "output/vtu_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

struct ReadArray {
  std::string type;
  int components = 1;
  std::vector<double> values;
};

struct VtuContents {
  long points = -1;
  long cells = -1;
  std::map<std::string, ReadArray> arrays;
};

template <class T>
std::vector<double> Decode(const std::string& bytes) {
  std::vector<double> values(bytes.size() / sizeof(T));
  for (std::size_t k = 0; k < values.size(); ++k) {
    T value;
    std::memcpy(&value, bytes.data() + k * sizeof(T), sizeof(T));
    values[k] = static_cast<double>(value);
  }
  return values;
}

// Reads every array through its offset. The blocks must follow each other
// without a gap in the reverse of the header's order (so that readers that
// renumber offsets as they go cannot mistake one array for another), and the
// last must end at the tail.
VtuContents ReadVtu(const std::string& text) {
  VtuContents file;
  std::smatch piece;
  const std::regex piece_re("<Piece NumberOfPoints=\"(\\d+)\" NumberOfCells=\"(\\d+)\">");
  EXPECT_TRUE(std::regex_search(text, piece, piece_re));
  if (!piece.empty()) {
    file.points = std::stol(piece[1]);
    file.cells = std::stol(piece[2]);
  }
  const std::size_t underscore = text.find("<AppendedData encoding=\"raw\">\n   _");
  EXPECT_NE(underscore, std::string::npos);
  const std::size_t data = text.find('_', underscore) + 1;
  const std::string header = text.substr(0, underscore);
  EXPECT_NE(header.find("byte_order=\"LittleEndian\" header_type=\"UInt64\""), std::string::npos);
  const std::regex array_re(
      "<DataArray type=\"(\\w+)\" Name=\"(\\w+)\"(?: NumberOfComponents=\"(\\d)\")? "
      "format=\"appended\" offset=\"(\\d+)\"/>");
  std::vector<std::smatch> listed(std::sregex_iterator(header.begin(), header.end(), array_re),
                                  std::sregex_iterator());
  std::uint64_t expected_offset = 0;
  for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
    const std::smatch& m = *it;
    ReadArray array;
    array.type = m[1];
    array.components = m[3].matched ? std::stoi(m[3]) : 1;
    const std::uint64_t offset = std::stoull(m[4]);
    EXPECT_EQ(offset, expected_offset) << m[2];
    std::uint64_t bytes = 0;
    if (data + offset + 8 > text.size()) {
      ADD_FAILURE() << m[2] << " begins past the end of the file";
      break;
    }
    std::memcpy(&bytes, text.data() + data + offset, 8);
    const std::string block = text.substr(data + offset + 8, bytes);
    const std::map<std::string, std::function<std::vector<double>(const std::string&)>> decode = {
        {"Int32", Decode<std::int32_t>},
        {"Int64", Decode<std::int64_t>},
        {"UInt8", Decode<std::uint8_t>},
        {"Float64", Decode<double>}};
    array.values = decode.at(array.type)(block);
    file.arrays[m[2]] = array;
    expected_offset = offset + 8 + bytes;
  }
  EXPECT_EQ(text.substr(data + expected_offset), "\n  </AppendedData>\n</VTKFile>\n");
  return file;
}

struct Case {
  const char* name;
  std::function<void(RunTables&)> fill;
  std::vector<std::uint8_t> flags;
  long points;
  long cells;
  std::map<std::string, std::vector<double>> expected;
  std::string warning;
};

void SetColumn(Table2D<std::int32_t>& table, std::int64_t column, std::vector<std::int32_t> v) {
  for (std::size_t k = 0; k < v.size(); ++k) table(static_cast<std::int64_t>(k) + 1, column) = v[k];
}
void SetColumn(Table2D<double>& table, std::int64_t column, std::vector<double> v) {
  for (std::size_t k = 0; k < v.size(); ++k) table(static_cast<std::int64_t>(k) + 1, column) = v[k];
}

// Four nodes; element 2 is a quadrilateral made triangles 1 and 2, element 1
// a triangle made triangle 3, so the element numbers are not in triangle order.
void FourNodesThreeTriangles(RunTables& run) {
  run.NodeCount = 4;
  run.ElementCount = 2;
  AllocateTables(run);
  run.TriangleCount = 3;
  SetColumn(run.NodeCoords, 1, {0, 0, 0});
  SetColumn(run.NodeCoords, 2, {1, 0, 0});
  SetColumn(run.NodeCoords, 3, {1, 1, 0});
  SetColumn(run.NodeCoords, 4, {0, 1, 0.5});
  SetColumn(run.TriangleNodes, 1, {1, 2, 3});
  SetColumn(run.TriangleNodes, 2, {1, 3, 4});
  SetColumn(run.TriangleNodes, 3, {2, 3, 4});
  run.ElementTriangles(2, 1) = 1;
  run.ElementTriangles(2, 2) = 2;
  run.ElementTriangles(1, 1) = 3;
  run.ElementTriangles(1, 2) = 3;
  SetColumn(run.TriangleBcKinds, 1, {1, 1, 1});
  SetColumn(run.TriangleBcKinds, 2, {2, 2, 2});
  SetColumn(run.TriangleBcKinds, 3, {1, 2, 1});
  SetColumn(run.TriangleBcValues, 1, {0, 0, 0.25});
  SetColumn(run.TriangleBcValues, 2, {-1.5, 0, 2.5e-300});
  SetColumn(run.TriangleBcValues, 3, {1e300, -0.577350269189626, 3});
}

// One triangle on three nodes, four field points and three field cells; the
// second cell has a corner 0, no field point.
void FieldCellWithBadCorner(RunTables& run) {
  run.NodeCount = 3;
  run.ElementCount = 1;
  run.FieldPointCount = 4;
  run.FieldCellCount = 3;
  AllocateTables(run);
  run.TriangleCount = 1;
  SetColumn(run.NodeCoords, 1, {0, 0, 0});
  SetColumn(run.NodeCoords, 2, {2, 0, 0});
  SetColumn(run.NodeCoords, 3, {0, 2, 0});
  SetColumn(run.TriangleNodes, 1, {1, 2, 3});
  run.ElementTriangles(1, 1) = 1;
  run.ElementTriangles(1, 2) = 1;
  SetColumn(run.TriangleBcKinds, 1, {2, 1, 2});
  SetColumn(run.TriangleBcValues, 1, {0.5, 0, -0.5});
  for (std::int64_t j = 1; j <= 4; ++j) {
    SetColumn(run.FieldPointCoords, j, {0.1 * static_cast<double>(j), 0.25, 0.5});
  }
  SetColumn(run.FieldCellNodes, 1, {1, 2, 3, 4});
  SetColumn(run.FieldCellNodes, 2, {1, 2, 0, 4});
  SetColumn(run.FieldCellNodes, 3, {4, 3, 2, 1});
}

void EmptyModel(RunTables& run) { AllocateTables(run); }

// Corners no reading leaves behind, but which the writer must not hand on.
void TriangleCornerPastTheNodes(RunTables& run) {
  FourNodesThreeTriangles(run);
  run.TriangleNodes(3, 2) = 5;
}

void TwoFieldCellsWithBadCorners(RunTables& run) {
  FieldCellWithBadCorner(run);
  run.FieldCellNodes(2, 3) = 5;
}

TEST(VtuFile, ArraysThroughTheirOffsets) {
  const Case cases[] = {
      {"three triangles, flags given",
       FourNodesThreeTriangles,
       {1, 2, 3},
       4,
       3,
       {{"node", {1, 2, 3, 4}},
        {"bc_kind", {1, 1, 1, 2, 2, 2, 1, 2, 1}},
        {"bc_value", {0, 0, 0.25, -1.5, 0, 2.5e-300, 1e300, -0.577350269189626, 3}},
        {"element", {2, 2, 1}},
        {"triangle", {1, 2, 3}},
        {"region", {0, 0, 0}},
        {"check", {1, 2, 3}},
        {"Points", {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5}},
        {"connectivity", {0, 1, 2, 0, 2, 3, 1, 2, 3}},
        {"offsets", {3, 6, 9}},
        {"types", {5, 5, 5}}},
       ""},
      {"flags shorter than the triangles",
       FourNodesThreeTriangles,
       {2},
       4,
       3,
       {{"check", {2, 0, 0}}},
       ""},
      {"field cell with a corner that is no field point",
       FieldCellWithBadCorner,
       {},
       7,
       3,
       {{"node", {1, 2, 3, 4, 5, 6, 7}},
        {"bc_kind", {2, 1, 2, 0, 0, 0, 0, 0, 0}},
        {"bc_value", {0.5, 0, -0.5, 0, 0, 0, 0, 0, 0}},
        {"element", {1, 2, 4}},
        {"triangle", {1, 0, 0}},
        {"region", {0, 1, 1}},
        {"check", {0, 0, 0}},
        {"Points",
         {0,    0,   0,   2,    0,  0, 0, 2, 0, 0.1, 0.25, 0.5, 0.2, 0.25, 0.5, 0.30000000000000004,
          0.25, 0.5, 0.4, 0.25, 0.5}},
        {"connectivity", {0, 1, 2, 3, 4, 5, 6, 6, 5, 4, 3}},
        {"offsets", {3, 7, 11}},
        {"types", {5, 9, 9}}},
       " Warning: 1 field cell left out of the .vtu, a corner is no point of it; the first is "
       "field cell 2 with corner 0, outside 1 to 4\r\n"},
      {"triangle with a corner past the nodes",
       TriangleCornerPastTheNodes,
       {1, 2, 3},
       4,
       2,
       {{"bc_kind", {1, 1, 1, 1, 2, 1}},
        {"bc_value", {0, 0, 0.25, 1e300, -0.577350269189626, 3}},
        {"element", {2, 1}},
        {"triangle", {1, 3}},
        {"check", {1, 3}},
        {"connectivity", {0, 1, 2, 1, 2, 3}},
        {"offsets", {3, 6}},
        {"types", {5, 5}}},
       " Warning: 1 triangle left out of the .vtu, a corner is no point of it; the first is "
       "triangle 2 with corner 5, outside 1 to 4\r\n"},
      {"two field cells left out",
       TwoFieldCellsWithBadCorners,
       {},
       7,
       2,
       {{"element", {1, 2}},
        {"region", {0, 1}},
        {"connectivity", {0, 1, 2, 3, 4, 5, 6}},
        {"offsets", {3, 7}},
        {"types", {5, 9}}},
       " Warning: 2 field cells left out of the .vtu, a corner is no point of it; the first is "
       "field cell 2 with corner 0, outside 1 to 4\r\n"},
      {"empty model", EmptyModel, {}, 0, 0, {{"node", {}}, {"Points", {}}, {"offsets", {}}}, ""},
  };
  const std::map<std::string, std::pair<std::string, int>> kinds = {
      {"node", {"Int32", 1}},    {"bc_kind", {"Int32", 3}},  {"bc_value", {"Float64", 3}},
      {"element", {"Int32", 1}}, {"triangle", {"Int32", 1}}, {"region", {"UInt8", 1}},
      {"check", {"UInt8", 1}},   {"Points", {"Float64", 3}}, {"connectivity", {"Int32", 1}},
      {"offsets", {"Int64", 1}}, {"types", {"UInt8", 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::ScopedTempDir dir;
    RunTables run;
    c.fill(run);
    testing::internal::CaptureStderr();
    {
      OutputFile file("model.vtu", kVtuUnit);
      WriteVtuFile(file, run, c.flags);
      file.Close();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning);
    const VtuContents read = ReadVtu(test_support::ReadFile("model.vtu"));
    EXPECT_EQ(read.points, c.points);
    EXPECT_EQ(read.cells, c.cells);
    EXPECT_EQ(read.arrays.size(), kinds.size());
    for (const auto& [name, kind] : kinds) {
      SCOPED_TRACE(name);
      ASSERT_EQ(read.arrays.count(name), 1u);
      EXPECT_EQ(read.arrays.at(name).type, kind.first);
      EXPECT_EQ(read.arrays.at(name).components, kind.second);
    }
    for (const auto& [name, values] : c.expected) {
      SCOPED_TRACE(name);
      EXPECT_EQ(read.arrays.at(name).values, values);
    }
  }
}

TEST(VtuFile, RebuiltModelsCarryTheAnsysNumbersAndFaces) {
  // Field cell 2 (left out, a corner 0) takes its ANSYS number with it.
  test_support::ScopedTempDir dir;
  RunTables run;
  FieldCellWithBadCorner(run);
  SurfaceOrigins origins;
  origins.node_numbers = {17, 5, 30, 905, 901, 902, 903};
  origins.element_numbers = {8};
  origins.element_faces = {3};
  origins.field_cell_numbers = {2001, 2002, 2003};
  testing::internal::CaptureStderr();
  {
    OutputFile file("model.vtu", kVtuUnit);
    WriteVtuFile(file, run, {}, &origins);
    file.Close();
  }
  testing::internal::GetCapturedStderr();
  const VtuContents read = ReadVtu(test_support::ReadFile("model.vtu"));
  EXPECT_EQ(read.arrays.at("node").values, (std::vector<double>{17, 5, 30, 905, 901, 902, 903}));
  EXPECT_EQ(read.arrays.at("element").values, (std::vector<double>{8, 2001, 2003}));
  EXPECT_EQ(read.arrays.at("ansys_face").type, "Int32");
  EXPECT_EQ(read.arrays.at("ansys_face").values, (std::vector<double>{3, 0, 0}));
  EXPECT_EQ(read.arrays.at("triangle").values, (std::vector<double>{1, 0, 0}));
}

TEST(VtuFile, FailedWriteRaisesTheWriteDiagnostic) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  RunTables run;
  FourNodesThreeTriangles(run);
  testing::internal::CaptureStderr();
  int status = -1;
  try {
    OutputFile file("/dev/full", kVtuUnit);
    WriteVtuFile(file, run, {});
    file.Close();
  } catch (const RunEnded& ended) {
    status = ended.status;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "runerr: severe (38): error during write, unit 9, file /dev/full\r\n");
  EXPECT_EQ(status, 38);
}

}  // namespace
