// The translations that rebuild the model: its skin (--skin) and the model
// renumbered (--renumber). Expected outputs are derived by hand, or are the
// plain translation of the equivalent surface model written by hand.
#include "model/skin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/check_run.h"
#include "driver/model_reading.h"
#include "driver/translation_run.h"
#include "model/model_text.h"
#include "test_support.h"

namespace {

using test_support::ReadFile;
using test_support::RunResult;
using test_support::ScopedTempDir;
using test_support::WriteFile;

using model_text::CdbText;
using model_text::Component;
using model_text::Element;
using model_text::Format;
using model_text::Model;
using model_text::Node;
using model_text::Sfe;

std::string D(int node, const char* label, double value) {
  return Format("D,%7d,%-4s,%16.9E,%16.9E\n", node, label, value, 0.0);
}

RunResult Translate(ModelMode mode, int jobs = 1, std::string_view vtu = {}) {
  RunResult result;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  result.status = RunTranslation(vtu, jobs, mode);
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

RunResult Check(ModelMode mode) {
  RunResult result;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  result.status = RunCheck(1, mode);
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

// The figures of a check report by label.
std::map<std::string, std::string> Figures(const std::string& report) {
  std::map<std::string, std::string> figures;
  std::size_t begin = 0;
  while (begin < report.size()) {
    std::size_t end = report.find('\n', begin);
    if (end == std::string::npos) end = report.size();
    const std::string line = report.substr(begin, end - begin);
    if (line.empty()) break;
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos) figures[line.substr(0, colon)] = line.substr(colon + 2);
    begin = end + 1;
  }
  return figures;
}

// Translates `rebuilt` in `mode` and `equivalent` (the surface model it must
// amount to) plainly; the pair must be the same bytes, and the warnings of
// the outputs those of the plain run, after the lines of what the rebuilding
// dropped (`expected_err`).
std::string ExpectSameAsPlain(const Model& rebuilt, ModelMode mode, const Model& equivalent,
                              const std::string& expected_err = "") {
  WriteFile("ANSYS_Model.cdb", CdbText(equivalent));
  const RunResult plain = Translate(ModelMode::kAsWritten);
  EXPECT_EQ(plain.status, 0) << plain.err;
  const std::string dat = ReadFile("input.dat");
  const std::string plt = ReadFile("input.plt");
  WriteFile("ANSYS_Model.cdb", CdbText(rebuilt));
  const RunResult run = Translate(mode);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, expected_err + plain.err);
  EXPECT_EQ(ReadFile("input.dat"), dat);
  EXPECT_EQ(ReadFile("input.plt"), plt);
  return run.err;
}

// A unit cube x, y, z in [x0, x0 + 1] x [0, 1] x [0, 1], its nodes numbered
// from `first` by `step`, corners I J K L at z = 0 counter-clockwise from
// the origin, M N O P above them.
std::vector<Node> CubeNodes(int first, int step, double x0 = 0.0) {
  const double corners[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  std::vector<Node> nodes;
  for (int k = 0; k < 8; ++k) {
    nodes.push_back({first + k * step, x0 + corners[k][0], corners[k][1], corners[k][2]});
  }
  return nodes;
}

// The faces of the cube of CubeNodes(1, 1) as surface elements 1 to 6:
// J-I-L-K, I-J-N-M, J-K-O-N, K-L-P-O, L-I-M-P, M-N-O-P.
std::vector<Element> CubeFaces() {
  return {{1, 1, {2, 1, 4, 3}}, {1, 2, {1, 2, 6, 5}}, {1, 3, {2, 3, 7, 6}},
          {1, 4, {3, 4, 8, 7}}, {1, 5, {4, 1, 5, 8}}, {1, 6, {5, 6, 7, 8}}};
}

constexpr const char* kSolid185 = "ET,        1,185\n";

TEST(SkinTranslation, CubeIsItsSixFacesInFaceOrder) {
  // Nodes 10, 20, ..., 80 and element 7 become nodes 1 to 8 and the faces
  // J-I-L-K, I-J-N-M, J-K-O-N, K-L-P-O, L-I-M-P, M-N-O-P as quadrilaterals.
  Model cube{kSolid185, CubeNodes(10, 10), {{1, 7, {10, 20, 30, 40, 50, 60, 70, 80}}}, ""};
  cube.after = D(10, "UZ", 0.0) + D(20, "UZ", 0.0) + D(30, "UZ", 0.0) + D(40, "UZ", 0.0) +
               Sfe(7, 6, 1, 2, 3, 6) + Sfe(7, 4, 5, 5, 5, 5);
  Model surface{"ET,        1,181\n", CubeNodes(1, 1), {}, ""};
  surface.elements = CubeFaces();
  surface.after = D(1, "UZ", 0.0) + D(2, "UZ", 0.0) + D(3, "UZ", 0.0) + D(4, "UZ", 0.0) +
                  Sfe(6, 1, 1, 2, 3, 6) + Sfe(4, 1, 5, 5, 5, 5);
  ScopedTempDir dir;
  ExpectSameAsPlain(cube, ModelMode::kSkin, surface);

  // Every face's diagonals are equal: each is cut along J-L into two triangles.
  std::string map = "kind,number,ansys_number,ansys_face\r\n";
  for (int i = 1; i <= 8; ++i) map += Format("node,%d,%d,\r\n", i, 10 * i);
  for (int t = 1; t <= 12; ++t) map += Format("triangle,%d,7,%d\r\n", t, (t + 1) / 2);
  EXPECT_EQ(ReadFile("input-map.csv"), map);
  const std::string dat = ReadFile("input.dat");
  // Face 1 (J-I-L-K = 2 1 4 3) cut along J-L: (2, 1, 3) and (1, 4, 3), fixed
  // in z. Face 2's (1, 2, 5) has two fixed corners only: no displacement.
  // Face 4 (3 4 8 7): (3, 4, 7) and (4, 8, 7), the pressure 5 against its
  // outward normal +y; face 6 (5 6 7 8): (5, 6, 8), the mean 3 against +z.
  const std::string zero = "   0.000000000000000D+00";
  const std::vector<std::string> records = {
      "         1          2       1       3       2   2   1    " + zero + zero + zero,
      "         3          1       2       5       2   2   2    " + zero + zero + zero,
      "         7          3       4       7       2   2   2    " + zero +
          "  -0.500000000000000D+01" + zero,
      "        11          5       6       8       2   2   2    " + zero + zero +
          "  -0.300000000000000D+01"};
  for (const std::string& record : records) {
    EXPECT_NE(dat.find("\r\n" + record + "\r\n"), std::string::npos) << record;
  }
}

struct SkinCase {
  const char* name;
  std::string types;
  std::vector<Node> nodes;
  std::vector<Element> elements;
  int skin_faces;
  int interior_faces;
  int triangles;
  int shells;
  const char* volume;
};

std::vector<Node> Midpoints(const std::vector<Node>& corners, const int pairs[][2], int count,
                            int first) {
  std::vector<Node> nodes;
  for (int k = 0; k < count; ++k) {
    const Node& a = corners[static_cast<std::size_t>(pairs[k][0])];
    const Node& b = corners[static_cast<std::size_t>(pairs[k][1])];
    nodes.push_back({first + k, (a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2});
  }
  return nodes;
}

std::vector<Node> Joined(std::vector<Node> a, const std::vector<Node>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A 2 x 2 x 2 block of unit bricks: nodes 1 to 27 (x fastest), elements 1 to 8.
void BrickGrid(std::vector<Node>& nodes, std::vector<Element>& elements) {
  auto number = [](int i, int j, int k) { return 1 + i + 3 * j + 9 * k; };
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) nodes.push_back({number(i, j, k), 1.0 * i, 1.0 * j, 1.0 * k});
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 2; ++i) {
        elements.push_back({1,
                            static_cast<int>(elements.size()) + 1,
                            {number(i, j, k), number(i + 1, j, k), number(i + 1, j + 1, k),
                             number(i, j + 1, k), number(i, j, k + 1), number(i + 1, j, k + 1),
                             number(i + 1, j + 1, k + 1), number(i, j + 1, k + 1)}});
      }
}

// The material is that of the volume elements: the skin warns of it as the
// plain run of the faces warns of theirs.
TEST(SkinTranslation, MaterialsOfTheVolumeElements) {
  const std::vector<int> brick = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::string fixed = D(1, "UZ", 0.0) + D(2, "UZ", 0.0) + D(3, "UZ", 0.0) + D(4, "UZ", 0.0);
  const std::string constants = "MP,EX,3,2.1E5\nMP,PRXY,3,0.25\nMP,EX,1,1\n";
  Model cube{kSolid185, CubeNodes(1, 1), {{1, 7, brick, 3}}, fixed + constants};
  Model surface{"ET,        1,181\n", CubeNodes(1, 1), CubeFaces(), fixed + constants};
  for (Element& face : surface.elements) face.material = 3;
  ScopedTempDir dir;
  EXPECT_EQ(ExpectSameAsPlain(cube, ModelMode::kSkin, surface),
            " Warning: material 3 has EX 2.1E5 and PRXY 0.25; input.dat gives the solver E = 1.0 "
            "and v = 0.3: translate with --material to give it the model's\r\n");
}

TEST(SkinTranslation, EverySkinIsClosedAndEnclosesItsElements) {
  const std::vector<Node> tet_corners = {{1, 0, 0, 0}, {2, 1, 0, 0}, {3, 0, 1, 0}, {4, 0, 0, 1}};
  const int tet_edges[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
  const std::vector<Node> tet10 = Joined(tet_corners, Midpoints(tet_corners, tet_edges, 6, 5));
  const std::vector<Node> cube = CubeNodes(1, 1);
  const int brick_edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                  {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  const std::vector<Node> brick20 = Joined(cube, Midpoints(cube, brick_edges, 12, 9));
  std::vector<int> brick20_nodes;
  for (int n = 1; n <= 20; ++n) brick20_nodes.push_back(n);
  std::vector<int> brick20_gaps = brick20_nodes;
  brick20_gaps[9] = brick20_gaps[14] = brick20_gaps[19] = 0;  // absent midside nodes
  const std::vector<Node> prism = {{1, 0, 0, 0}, {2, 1, 0, 0}, {3, 0, 1, 0},
                                   {4, 0, 0, 1}, {5, 1, 0, 1}, {6, 0, 1, 1}};
  const std::vector<Node> pyramid = {
      {1, 0, 0, 0}, {2, 1, 0, 0}, {3, 1, 1, 0}, {4, 0, 1, 0}, {5, 0, 0, 1}};
  std::vector<Node> grid;
  std::vector<Element> grid_elements;
  BrickGrid(grid, grid_elements);
  const std::string solid187 = "ET,        1,187\n";
  const std::vector<SkinCase> cases = {
      {"brick",
       kSolid185,
       cube,
       {{1, 1, {1, 2, 3, 4, 5, 6, 7, 8}}},
       6,
       0,
       12,
       1,
       "1.00000000000e+00"},
      {"prism: K = L, O = P",
       kSolid185,
       prism,
       {{1, 1, {1, 2, 3, 3, 4, 5, 6, 6}}},
       5,
       0,
       8,
       1,
       "5.00000000000e-01"},
      {"pyramid: M = N = O = P",
       kSolid185,
       pyramid,
       {{1, 1, {1, 2, 3, 4, 5, 5, 5, 5}}},
       5,
       0,
       6,
       1,
       "3.33333333333e-01"},
      {"tetrahedron from a brick",
       kSolid185,
       tet_corners,
       {{1, 1, {1, 2, 3, 3, 4, 4, 4, 4}}},
       4,
       0,
       4,
       1,
       "1.66666666667e-01"},
      {"10-node tetrahedron, nodes on two records",
       solid187,
       tet10,
       {{1, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}},
       4,
       0,
       4,
       1,
       "1.66666666667e-01"},
      {"tetrahedron without midside nodes",
       solid187,
       tet_corners,
       {{1, 1, {1, 2, 3, 4}}},
       4,
       0,
       4,
       1,
       "1.66666666667e-01"},
      {"10-node tetrahedron, midside nodes 0",
       solid187,
       tet_corners,
       {{1, 1, {1, 2, 3, 4, 0, 0, 0, 0, 0, 0}}},
       4,
       0,
       4,
       1,
       "1.66666666667e-01"},
      {"20-node brick",
       "ET,1,SOLID186\n",
       brick20,
       {{1, 1, brick20_nodes}},
       6,
       0,
       12,
       1,
       "1.00000000000e+00"},
      {"20-node brick, some midside nodes 0",
       "ET,1,186\n",
       brick20,
       {{1, 1, brick20_gaps}},
       6,
       0,
       12,
       1,
       "1.00000000000e+00"},
      {"MESH200 brick (KEYOPT(1) 11)",
       "ET,        1,200\nKEYOP,        1, 1,       11\n",
       brick20,
       {{1, 1, brick20_nodes}},
       6,
       0,
       12,
       1,
       "1.00000000000e+00"},
      {"MESH200 tetrahedron (KEYOPT(1) 9) by ETBLOCK",
       "ETBLOCK,        1,        1\n(2i9,19a9)\n        1      200        9\n       -1\n",
       tet10,
       {{1, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}},
       4,
       0,
       4,
       1,
       "1.66666666667e-01"},
      {"brick by ETBLOCK",
       "ETBLOCK,1,1\n(21i9)\n        3      185        0\n       -1\n",
       cube,
       {{3, 1, {1, 2, 3, 4, 5, 6, 7, 8}}},
       6,
       0,
       12,
       1,
       "1.00000000000e+00"},
      {"a brick and a tetrahedron apart",
       "ET,1,185\nET,2,187\n",
       Joined(cube, {{11, 3, 0, 0}, {12, 4, 0, 0}, {13, 3, 1, 0}, {14, 3, 0, 1}}),
       {{1, 1, {1, 2, 3, 4, 5, 6, 7, 8}}, {2, 2, {11, 12, 13, 14}}},
       10,
       0,
       16,
       2,
       "1.16666666667e+00"},
      // The second brick's corners at x = 1 are the first one's 2, 3, 6, 7.
      {"two bricks sharing a face",
       kSolid185,
       Joined(cube, CubeNodes(101, 1, 1.0)),
       {{1, 1, {1, 2, 3, 4, 5, 6, 7, 8}}, {1, 2, {2, 102, 103, 3, 6, 106, 107, 7}}},
       10,
       1,
       20,
       1,
       "2.00000000000e+00"},
      // Three inner planes of four faces each.
      {"2 x 2 x 2 bricks", kSolid185, grid, grid_elements, 24, 12, 48, 1, "8.00000000000e+00"},
  };
  for (const SkinCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFile("ANSYS_Model.cdb", CdbText({c.types, c.nodes, c.elements, ""}));
    const RunResult check = Check(ModelMode::kSkin);
    ASSERT_EQ(check.err, "");
    auto f = Figures(check.out);
    EXPECT_EQ(f["skin faces"], std::to_string(c.skin_faces));
    EXPECT_EQ(f["interior faces"], std::to_string(c.interior_faces));
    // Every case defines the types its elements name: each is read.
    std::set<int> types;
    for (const Element& element : c.elements) types.insert(element.type);
    EXPECT_EQ(f["element types"], std::to_string(types.size()));
    EXPECT_EQ(f["triangles"], std::to_string(c.triangles));
    EXPECT_EQ(f["open edges"], "0");
    EXPECT_EQ(f["non-manifold edges"], "0");
    EXPECT_EQ(f["orientation conflicts"], "0");
    EXPECT_EQ(f["degenerate triangles"], "0");
    EXPECT_EQ(f["closed shells"], std::to_string(c.shells));
    EXPECT_EQ(f["enclosed volume"], c.volume);
    // One thread or two, the same files.
    ASSERT_EQ(Translate(ModelMode::kSkin, 1).status, 0);
    const std::string dat = ReadFile("input.dat");
    const std::string map = ReadFile("input-map.csv");
    ASSERT_EQ(Translate(ModelMode::kSkin, 2).status, 0);
    EXPECT_EQ(ReadFile("input.dat"), dat);
    EXPECT_EQ(ReadFile("input-map.csv"), map);
  }
}

TEST(SkinTranslation, PressuresAndConstraintsGoToTheSkinOrAreCounted) {
  // Brick 5 (x in [0, 1]) and brick 9 (x in [1, 2]) share brick 5's face 3
  // and brick 9's face 5; tetrahedron 12 stands apart. Skin faces: brick 5's
  // 1, 2, 4, 5, 6 (elements 1-5), brick 9's 1, 2, 3, 4, 6 (6-10), the
  // tetrahedron's 1-4 (11-14); every brick face is two triangles.
  Model model{"ET,1,185\nET,2,187\n",
              Joined(Joined(CubeNodes(1, 1), CubeNodes(101, 1, 1.0)),
                     {{21, 5, 0, 0}, {22, 6, 0, 0}, {23, 5, 1, 0}, {24, 5, 0, 1}, {99, 9, 9, 9}}),
              {{1, 5, {1, 2, 3, 4, 5, 6, 7, 8}},
               {1, 9, {2, 102, 103, 3, 6, 106, 107, 7}},
               {2, 12, {21, 22, 23, 24}}},
              ""};
  model.after = D(1, "UZ", 0.5) + D(2, "UZ", 0.5) + D(3, "UZ", 0.5) + D(4, "UZ", 0.5) +
                D(99, "UZ", 1.0) + D(1234, "UX", 1.0) + Sfe(5, 6, 1, 2, 3, 6) +
                Sfe(5, 3, 7, 7, 7, 7) + Sfe(5, 7, 7, 7, 7, 7) + Sfe(99, 1, 7, 7, 7, 7) +
                "SFEBLOCK,2,PRES,         1,         2,0\n(i9,i4,i4,6(pg20.9))\n"
                "        9   1   1      4.00000000          4.00000000          4.00000000"
                "          4.00000000\n"
                "        9   1   2      9.00000000          9.00000000          9.00000000"
                "          9.00000000\n"
                "SFE,end,LOC,       -1,\n" +
                Sfe(12, 1, -100, -100, -100, 0) + Sfe(5, 6, 2, 2, 2, 2);
  ScopedTempDir dir;
  WriteFile("ANSYS_Model.cdb", CdbText(model));
  RunTables run;
  SurfaceOrigins origins;
  const RunResult read = test_support::CatchRunEnded([&] {
    InputFile file("ANSYS_Model.cdb", kModelUnit);
    ReadRebuiltModel(file, ModelMode::kSkin, run, origins, 1);
  });
  EXPECT_EQ(read.status, -1);
  EXPECT_EQ(read.err,
            " Warning: 2 constraints ignored, on nodes that are not on the skin\r\n"
            " Warning: 3 pressures ignored, not on a skin face (an interior or collapsed face, a "
            "key out of range, or no such volume element)\r\n");
  ASSERT_EQ(run.ElementCount, 14);
  ASSERT_EQ(run.TriangleCount, 24);
  EXPECT_EQ(origins.skin_faces, 14);
  EXPECT_EQ(origins.interior_faces, 1);
  const std::vector<std::int8_t> faces = {1, 2, 4, 5, 6, 1, 2, 3, 4, 6, 1, 2, 3, 4};
  EXPECT_EQ(origins.element_faces, faces);
  // The displacement of brick 5's bottom (triangles 1, 2) in z only.
  for (int t : {1, 2}) {
    EXPECT_EQ(run.TriangleBcKinds(3, t), kDisplacementPrescribed);
    EXPECT_EQ(run.TriangleBcValues(3, t), 0.5);
    EXPECT_EQ(run.TriangleBcKinds(1, t), kTractionPrescribed);
  }
  // Brick 5's top (triangles 9, 10): the later pressure 2 pushes down.
  // Brick 9's bottom (11, 12): 4 pushes up. The tetrahedron's face J-I-K
  // (21), outward normal -z: the mean of its three values, -100, pulls down.
  const std::map<int, double> z_traction = {
      {9, -2.0}, {10, -2.0}, {11, 4.0}, {12, 4.0}, {21, -100.0}};
  for (int t = 1; t <= run.TriangleCount; ++t) {
    SCOPED_TRACE(t);
    const auto loaded = z_traction.find(t);
    const double expected = loaded == z_traction.end() ? (t <= 2 ? 0.5 : 0.0) : loaded->second;
    EXPECT_EQ(run.TriangleBcValues(3, t) + 0.0, expected);
    if (loaded != z_traction.end()) {
      EXPECT_EQ(run.TriangleBcValues(1, t) + 0.0, 0.0);
      EXPECT_EQ(run.TriangleBcValues(2, t) + 0.0, 0.0);
    }
  }
}

TEST(SkinTranslation, FieldPointsAndCellsFollowTheSkin) {
  // Field points 904, 901, 902, 903 in the order of the block (one before
  // the cube's nodes); field cell 2001 on them.
  Model model{"ET,1,185\nET,2,181\n",
              Joined(Joined({{904, 0.5, 0.5, 0.2}}, CubeNodes(1, 1)),
                     {{901, 0.2, 0.2, 0.5}, {902, 0.8, 0.2, 0.5}, {903, 0.8, 0.8, 0.5}}),
              {{1, 3, {1, 2, 3, 4, 5, 6, 7, 8}}, {2, 2001, {901, 902, 903, 904}}},
              Component("FIELDCELLS", "ELEM", "      2001", 1) +
                  Component("FIELDPOINTS", "NODE", "       901      -904", 2)};
  Model surface{
      "ET,1,181\n",
      Joined(CubeNodes(1, 1),
             {{9, 0.5, 0.5, 0.2}, {10, 0.2, 0.2, 0.5}, {11, 0.8, 0.2, 0.5}, {12, 0.8, 0.8, 0.5}}),
      {},
      Component("FIELDCELLS", "ELEM", "         7        -7", 1) +
          Component("FIELDPOINTS", "NODE", "         9       -12", 2)};
  surface.elements = CubeFaces();
  surface.elements.push_back({1, 7, {10, 11, 12, 9}});
  ScopedTempDir dir;
  ExpectSameAsPlain(model, ModelMode::kSkin, surface);
  std::string map = "kind,number,ansys_number,ansys_face\r\n";
  for (int i = 1; i <= 8; ++i) map += Format("node,%d,%d,\r\n", i, i);
  map +=
      "field point,1,904,\r\nfield point,2,901,\r\nfield point,3,902,\r\n"
      "field point,4,903,\r\n";
  for (int t = 1; t <= 12; ++t) map += Format("triangle,%d,3,%d\r\n", t, (t + 1) / 2);
  map += "field cell,1,2001,\r\n";
  EXPECT_EQ(ReadFile("input-map.csv"), map);
}

TEST(RenumberTranslation, GappedSurfaceIsTheSurfaceNumberedInOrder) {
  // Nodes 40, 10, 30, 20 in the block become 1 to 4 by number; element 7 (a
  // triangle of three nodes) and element 50 become 1 and 2.
  Model gapped{
      "ET,1,181\n",
      {{40, 0, 1, 0}, {10, 0, 0, 0}, {30, 1, 1, 0.25}, {20, 2, 0, 0}},
      {{1, 50, {10, 20, 30, 40}}, {1, 7, {10, 20, 40}}},
      D(20, "UX", 0.5) + D(15, "UX", 1.0) + Sfe(50, 2, 1, 1, 1, 1) + Sfe(8, 1, 1, 1, 1, 1)};
  Model renumbered{"ET,1,181\n",
                   {{1, 0, 0, 0}, {2, 2, 0, 0}, {3, 1, 1, 0.25}, {4, 0, 1, 0}},
                   {{1, 1, {1, 2, 4, 4}}, {1, 2, {1, 2, 3, 4}}},
                   D(2, "UX", 0.5) + Sfe(2, 2, 1, 1, 1, 1)};
  ScopedTempDir dir;
  ExpectSameAsPlain(gapped, ModelMode::kRenumbered, renumbered,
                    " Warning: 1 constraint ignored, on nodes that are not in the model\r\n"
                    " Warning: 1 pressure ignored, on elements that are not in the model\r\n");
  // Element 1 (ANSYS 7) is one triangle; element 2 (ANSYS 50) has diagonals
  // I-K of length sqrt(1 + 1 + 1/16) and J-L of sqrt(4 + 1): cut along I-K.
  EXPECT_EQ(ReadFile("input-map.csv"),
            "kind,number,ansys_number,ansys_face\r\nnode,1,10,\r\nnode,2,20,\r\nnode,3,30,\r\n"
            "node,4,40,\r\ntriangle,1,7,\r\ntriangle,2,50,\r\ntriangle,3,50,\r\n");
  // The check reports on the renumbered surface: an open one of 3 triangles.
  const RunResult check = Check(ModelMode::kRenumbered);
  auto f = Figures(check.out);
  EXPECT_EQ(f["nodes"], "4");
  EXPECT_EQ(f["elements"], "2");
  EXPECT_EQ(f["triangles"], "3");
  EXPECT_EQ(f["displacement triangles"], "0");
  EXPECT_EQ(f["loaded elements"], "1");
  EXPECT_EQ(f.count("skin faces"), 0u);
}

struct RefusalCase {
  const char* name;
  ModelMode mode;
  std::string types;
  std::vector<Node> nodes;
  std::vector<Element> elements;
  std::string after;
  std::string line;
};

TEST(RebuiltTranslation, RefusalsNameWhatIsWrong) {
  const std::vector<Node> four = {{1, 0, 0, 0}, {2, 1, 0, 0}, {3, 1, 1, 0}, {4, 0, 1, 0}};
  const std::vector<Node> cube = CubeNodes(1, 1);
  const std::vector<int> brick = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::string fields = Component("FIELDCELLS", "ELEM", "         9", 1) +
                             Component("FIELDPOINTS", "NODE", "         4", 1);
  const ModelMode renumber = ModelMode::kRenumbered;
  const ModelMode skin = ModelMode::kSkin;
  const std::string error = " ANSYS cdb file error: ";
  const std::vector<RefusalCase> cases = {
      {"a volume element",
       renumber,
       kSolid185,
       cube,
       {{1, 5, brick}},
       "",
       error + "element 5 (SOLID185) is a volume element, not a surface element"},
      {"20 nodes",
       renumber,
       "",
       four,
       {{1, 5, std::vector<int>(20, 1)}},
       "",
       error + "element 5 has 20 nodes, not a surface element"},
      {"2 nodes",
       renumber,
       "",
       four,
       {{1, 5, {1, 2}}},
       "",
       error + "element 5 has 2 nodes, not a surface element"},
      {"a node twice",
       renumber,
       "",
       Joined(four, {{3, 5, 5, 5}}),
       {{1, 5, {1, 2, 3, 4}}},
       "",
       error + "node 3 is given twice"},
      {"an element twice",
       skin,
       kSolid185,
       cube,
       {{1, 5, brick}, {1, 5, brick}},
       "",
       error + "element 5 is given twice"},
      {"corner 0",
       renumber,
       "",
       four,
       {{1, 5, {1, 2, 0, 4}}},
       "",
       error + "element 5 has corner node 0"},
      {"a corner not in the block",
       skin,
       kSolid185,
       cube,
       {{1, 5, {1, 2, 3, 4, 5, 6, 77, 8}}},
       "",
       error + "element 5 has corner node 77, which is not in the node block"},
      {"a corner that is a field point",
       renumber,
       "",
       four,
       {{1, 5, {1, 2, 3, 4}}, {1, 9, {4, 4, 4, 4}}},
       fields,
       error + "element 5 has corner node 4, which is a field point"},
      {"field points alone",
       renumber,
       "",
       four,
       {{1, 5, {1, 2, 3, 4}}},
       Component("FIELDPOINTS", "NODE", "         4", 1),
       error + "a FIELDPOINTS component without a FIELDCELLS component"},
      {"a shell among bricks",
       skin,
       "ET,1,185\nET,2,181\n",
       cube,
       {{1, 5, brick}, {2, 6, {1, 2, 3, 4}}},
       "",
       error + "element 6 (SHELL181) is a surface element, not a volume element"},
      {"no type defined",
       skin,
       "",
       cube,
       {{1, 5, brick}},
       "",
       error + "element 5 (type 1, not defined) is an element of unknown kind, not a volume "
               "element"},
      {"an infinite element",
       skin,
       "ET,1,111\n",
       cube,
       {{1, 5, brick}},
       "",
       error + "element 5 (INFIN111) is a special element, not a volume element"},
      {"a brick of six nodes",
       skin,
       kSolid185,
       cube,
       {{1, 5, {1, 2, 3, 4, 5, 6}}},
       "",
       error + "element 5 has 6 nodes, fewer than its 8 corners"},
      // A part before the model ends in its FINISH; the model's types follow.
      {"a 2-D element after a FINISH before the model",
       skin,
       "ET,1,185\nFINISH\nET,1,182\n",
       cube,
       {{1, 5, brick}},
       "",
       error + "element 5 (PLANE182) is a 2-D element, not a volume element"},
      // ANSYS applies D along a rotated node's own axes: the first such node
      // of the block with a constraint is named by its number.
      {"a constrained node with rotated axes",
       renumber,
       "",
       {{10, 0, 0, 0}, {20, 1, 0, 0, "  45.0"}, {30, 1, 1, 0}, {40, 0, 1, 0}},
       {{1, 5, {10, 20, 30, 40}}},
       D(20, "UY", 0.0) + D(30, "UY", 0.0) + D(10, "UY", 0.0),
       error + "node 20 has rotated axes: its UY constraint does not act along y"},
      {"constrained skin nodes with rotated axes",
       skin,
       kSolid185,
       {{1, 0, 0, 0},
        {2, 1, 0, 0},
        {3, 1, 1, 0, "                -1.0"},
        {4, 0, 1, 0},
        {5, 0, 0, 1},
        {6, 1, 0, 1},
        {7, 1, 1, 1, "  9"},
        {8, 0, 1, 1}},
       {{1, 5, brick}},
       D(7, "UZ", 0.0) + D(3, "UX", 0.0),
       error + "node 3 has rotated axes: its UX constraint does not act along x"},
      {"no element block",
       skin,
       kSolid185,
       cube,
       {},
       "",
       error + "no element block, the file holds no model"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    std::string text = CdbText({c.types, c.nodes, c.elements, c.after});
    if (c.elements.empty()) text.replace(text.find("(19i9)"), 6, "");
    WriteFile("ANSYS_Model.cdb", text);
    const RunResult run = Translate(c.mode);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.line + "\r\n");
    EXPECT_FALSE(std::filesystem::exists("input-map.csv"));
    EXPECT_FALSE(std::filesystem::exists("input.dat"));
  }
}

TEST(SkinFaces, FacesDropRepeatedCornersAndSharedSetsAreInterior) {
  // Two bricks 0-7 and 1, 8, 9, 2, 5, 10, 11, 6 sharing the set {1, 2, 5, 6}.
  const std::vector<std::int32_t> corners = {0, 1, 2, 3, 4, 5, 6, 7, 1, 8, 9, 2, 5, 10, 11, 6};
  const std::vector<std::uint8_t> tetrahedron = {0, 0};
  std::int64_t interior = 0;
  const std::vector<std::uint32_t> skin = FindSkinFaces(corners, tetrahedron, 12, interior, 2);
  EXPECT_EQ(skin, (std::vector<std::uint32_t>{1, 2, 4, 5, 6, 9, 10, 11, 12, 14}));
  EXPECT_EQ(interior, 1);
  std::int32_t out[4];
  const std::int32_t prism[8] = {0, 1, 2, 2, 3, 4, 5, 5};
  EXPECT_EQ(FaceCorners(prism, false, 1, out), 3);
  EXPECT_EQ(std::vector<std::int32_t>(out, out + 3), (std::vector<std::int32_t>{1, 0, 2}));
  EXPECT_EQ(FaceCorners(prism, false, 4, out), 2);
  EXPECT_EQ(FaceCorners(prism, false, 5, out), 4);
  EXPECT_EQ(std::vector<std::int32_t>(out, out + 4), (std::vector<std::int32_t>{2, 0, 3, 5}));
  const std::int32_t tet[8] = {7, 8, 9, 10};
  EXPECT_EQ(FaceCorners(tet, true, 4, out), 3);
  EXPECT_EQ(std::vector<std::int32_t>(out, out + 3), (std::vector<std::int32_t>{9, 7, 10}));
}

TEST(SkinTranslation, RecordsContinuedAcrossReadingBatchesOnThreads) {
  // 33 000 separate 10-node tetrahedra, midside nodes 0: 66 000 element
  // records, more than one batch of the threaded reading, whose boundary
  // falls between a record and its continuation.
  constexpr int kTetrahedra = 33000;
  Model model{"ET,1,187\n", {}, {}, ""};
  for (int e = 0; e < kTetrahedra; ++e) {
    const int n = 4 * e + 1;
    const double x = 2.0 * e;
    model.nodes.insert(model.nodes.end(),
                       {{n, x, 0, 0}, {n + 1, x + 1, 0, 0}, {n + 2, x, 1, 0}, {n + 3, x, 0, 1}});
    model.elements.push_back({1, e + 1, {n, n + 1, n + 2, n + 3, 0, 0, 0, 0, 0, 0}});
  }
  ScopedTempDir dir;
  WriteFile("ANSYS_Model.cdb", CdbText(model));
  for (int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    RunTables run;
    SurfaceOrigins origins;
    InputFile file("ANSYS_Model.cdb", kModelUnit);
    ReadRebuiltModel(file, ModelMode::kSkin, run, origins, jobs);
    EXPECT_EQ(origins.skin_faces, 4 * kTetrahedra);
    EXPECT_EQ(run.NodeCount, 4 * kTetrahedra);
    ASSERT_EQ(origins.element_numbers.size(), std::size_t{4 * kTetrahedra});
    EXPECT_EQ(origins.element_numbers.back(), kTetrahedra);
    // The last tetrahedron's face K-I-L: nodes 4e + 3, 4e + 1, 4e + 4.
    const std::int32_t* last = run.TriangleNodes.Column(run.TriangleCount);
    EXPECT_EQ(
        std::vector<std::int32_t>(last, last + 3),
        (std::vector<std::int32_t>{4 * kTetrahedra - 1, 4 * kTetrahedra - 3, 4 * kTetrahedra}));
  }
}

TEST(SkinTranslation, TheProgramTakesBothOptions) {
  ScopedTempDir dir;
  WriteFile(
      "ANSYS_Model.cdb",
      CdbText({kSolid185, CubeNodes(10, 10), {{1, 7, {10, 20, 30, 40, 50, 60, 70, 80}}}, ""}));
  const auto run = [&](const std::vector<std::string>& args) {
    return test_support::RunProgramWith(dir.path(), args);
  };
  RunResult result = run({"--skin", "-j", "2", "--vtu", "cube.vtu"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadFile("input-map.csv").substr(0, 53),
            "kind,number,ansys_number,ansys_face\r\nnode,1,10,\r\nnode");
  EXPECT_NE(ReadFile("cube.vtu").find("Name=\"ansys_face\""), std::string::npos);
  result = run({"--skin", "--check"});
  EXPECT_EQ(result.status, 3);  // nothing holds the cube in place
  EXPECT_NE(result.out.find("\nskin faces: 6\ninterior faces: 0\n"), std::string::npos);
  // --skin renumbers too; --renumber alone refuses the brick.
  EXPECT_EQ(run({"--renumber", "--skin"}).status, 0);
  result = run({"--renumber"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            " ANSYS cdb file error: element 7 (SOLID185) is a volume element, not a surface "
            "element\r\n");
  // The map is no name for the .vtu in these modes: not a .vtu name.
  EXPECT_EQ(run({"--skin", "--vtu", "input-map.csv"}).status, 2);
}

TEST(SkinTranslation, SamplesTranslateAndTheirSkinsAreClosed) {
  const std::filesystem::path samples = test_support::SamplesDirectory();
  for (const char* name : {"TetBeam", "mesh200", "sector"}) {
    SCOPED_TRACE(name);
    ScopedTempDir dir;
    std::filesystem::copy_file(samples / (std::string(name) + ".cdb"), "ANSYS_Model.cdb");
    const RunResult run = Translate(ModelMode::kSkin, 2);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists("input-map.csv"));
    auto f = Figures(Check(ModelMode::kSkin).out);
    EXPECT_EQ(f["open edges"], "0");
    EXPECT_EQ(f["non-manifold edges"], "0");
    EXPECT_EQ(f["orientation conflicts"], "0");
    EXPECT_EQ(f["closed shells"], "1");
  }
  ScopedTempDir dir;
  std::filesystem::copy_file(samples / "sector.cdb", "ANSYS_Model.cdb");
  const RunResult run = Translate(ModelMode::kRenumbered);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            " ANSYS cdb file error: element 224 (SOLID185) is a volume element, not a surface "
            "element\r\n");
}

}  // namespace
