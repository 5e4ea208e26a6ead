// Surface-effect elements on a volume model's faces (--skin): each takes
// the skin face it lies on, and its pressures of key 1 become the face's.
// Expected outputs are those of the volume model alone with the face
// pressures each rule gives, written by hand.
#include "model/surface_effect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "model/model_text.h"
#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

using model_text::CubeNodes;
using model_text::Element;
using model_text::Model;
using model_text::Sfe;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

// A brick (type 1), SURF154 (type 2) and a tetrahedron (type 3).
constexpr const char* kTypes = "ET,        1,185\nET,        2,154\nET,        3,285\n";

// The brick on the unit cube's nodes 1 to 8; its faces by key: 1 J-I-L-K
// (2 1 4 3), 2 I-J-N-M (1 2 6 5), 3 J-K-O-N, 4 K-L-P-O, 5 L-I-M-P, 6 M-N-O-P
// (5 6 7 8). The tetrahedron on nodes 1 2 3 5: face 1 J-I-K (2 1 3).
const Element kBrick{1, 1, {1, 2, 3, 4, 5, 6, 7, 8}};
const Element kTetrahedron{3, 1, {1, 2, 3, 5}};

// A SURF154 element of material 2 with eight nodes, the midside ones 0.
Element Surf(int number, std::vector<int> corners) {
  corners.resize(8, 0);
  return {2, number, corners, 2};
}

std::string Line(const std::string& text) { return text + "\r\n"; }

TEST(SurfaceEffectOnSkin, KeyOnePressuresGoToTheFaceTheElementLiesOn) {
  const std::string off_skin = Line(PressuresDropped(2, kPressuresOffTheSkin));
  struct Row {
    const char* what;
    Element volume;
    std::vector<Element> surfaces;
    std::string after;
    std::string equivalent_after;  // the volume element's own pressures
    std::string err;
  };
  const Row rows[] = {
      {"both ways round, off the skin, key 2",
       kBrick,
       // 11 on face 6 shifted; 12 on face 1 the other way round; 13 across
       // the brick and 14, a triangle, on no face.
       {Surf(11, {6, 7, 8, 5}), Surf(12, {1, 2, 3, 4}), Surf(13, {1, 2, 7, 8}),
        Surf(14, {1, 2, 6, 6})},
       Sfe(11, 1, 1, 2, 3, 6) + Sfe(12, 1, 5, 5, 5, 5) + Sfe(12, 2, 7, 7, 7, 7) +
           Sfe(13, 1, 9, 9, 9, 9) + Sfe(14, 1, 9, 9, 9, 9),
       Sfe(1, 6, 1, 2, 3, 6) + Sfe(1, 1, -5, -5, -5, -5),
       Line(SurfaceEffectsOffTheSkin(2)) + Line(PressureKeyNotFacePressure(12, 2)) + off_skin},
      {"a surface element's pressure after the volume element's",
       kBrick,
       {Surf(11, {5, 6, 7, 8})},
       Sfe(1, 6, 3, 3, 3, 3) + Sfe(11, 1, 10, 10, 10, 10),
       Sfe(1, 6, 10, 10, 10, 10),
       ""},
      {"the volume element's pressure after a surface element's",
       kBrick,
       {Surf(11, {7, 8, 5, 6})},
       Sfe(11, 1, 10, 10, 10, 10) + Sfe(1, 6, 3, 3, 3, 3),
       Sfe(1, 6, 3, 3, 3, 3),
       ""},
      {"two surface elements on one face, the later the other way round",
       kBrick,
       {Surf(11, {5, 6, 7, 8}), Surf(15, {8, 7, 6, 5})},
       Sfe(11, 1, 10, 10, 10, 10) + Sfe(15, 1, 4, 4, 4, 4),
       Sfe(1, 6, -4, -4, -4, -4),
       ""},
      {"a triangle on a tetrahedron's face, K given twice",
       kTetrahedron,
       {Surf(21, {1, 3, 2, 2}), Surf(22, {5, 3, 2, 2})},
       Sfe(21, 1, 4, 4, 4, 4) + Sfe(22, 1, 1, 2, 3, 6),
       Sfe(1, 1, 4, 4, 4, 0) + Sfe(1, 3, -3, -3, -3, 0),
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedTempDir dir;
    Model model{kTypes, CubeNodes(1), {row.volume}, row.after};
    model.elements.insert(model.elements.end(), row.surfaces.begin(), row.surfaces.end());
    const Model equivalent{kTypes, CubeNodes(1), {row.volume}, row.equivalent_after};
    model_text::ExpectSameAs(model, ModelMode::kSkin, equivalent, ModelMode::kSkin, row.err);
  }
}

TEST(SurfaceEffectOnSkin, AQuadrilateralCrossedOnAFaceIsRefused) {
  ScopedTempDir dir;
  const Model model{kTypes, CubeNodes(1), {kBrick, Surf(16, {5, 7, 6, 8})}, ""};
  WriteFile("ANSYS_Model.cdb", CdbText(model));
  const test_support::RunResult run = model_text::Run(ModelMode::kSkin);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, Line(SurfaceEffectCrossed(16, "SURF154")));
  EXPECT_EQ(SurfaceEffectCrossed(16, "SURF154"),
            " ANSYS cdb file error: element 16 (SURF154) lies on a skin face with its corners "
            "crossed");
  EXPECT_FALSE(std::filesystem::exists("input.dat"));
}

// The figures of a check report by label.
std::map<std::string, std::string> Figures(const std::string& report) {
  std::map<std::string, std::string> figures;
  std::size_t begin = 0;
  for (std::size_t end; (end = report.find('\n', begin)) != std::string::npos; begin = end + 1) {
    const std::string line = report.substr(begin, end - begin);
    if (line.empty()) break;
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos) figures[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return figures;
}

TEST(SurfaceEffectOnSkin, TheRadiationSampleKeepsItsSurfaceElementsOnTheSkin) {
  // 27 bricks in a 3 x 3 x 3 block on a 4 x 4 x 4 grid of nodes: the skin
  // is 6 x 9 faces, 108 triangles, on the 64 - 8 nodes that are not inside.
  // Its nine SURF152 elements (82 to 90) cover one side: a pressure on each
  // loads nine faces, eighteen triangles.
  ScopedTempDir dir;
  std::string text = ReadFile(test_support::SamplesDirectory() / "ErnoRadiation.cdb");
  ASSERT_TRUE(text.ends_with("FINISH\n"));
  std::string pressures;
  for (int element = 82; element <= 90; ++element) pressures += Sfe(element, 1, 2, 2, 2, 2);
  text.insert(text.size() - 7, pressures);
  WriteFile("ANSYS_Model.cdb", text);
  const test_support::RunResult check = model_text::Run(ModelMode::kSkin, true);
  std::map<std::string, std::string> figures = Figures(check.out);
  const std::map<std::string, std::string> expected = {{"nodes", "56"},
                                                       {"triangles", "108"},
                                                       {"skin faces", "54"},
                                                       {"pressure records", "9"},
                                                       {"pressures applied", "9"},
                                                       {"loaded elements", "9"},
                                                       {"loaded triangles", "18"},
                                                       {"closed shells", "1"},
                                                       {"orientation conflicts", "0"}};
  for (const auto& [label, value] : expected) EXPECT_EQ(figures[label], value) << label;
  const test_support::RunResult run = model_text::Run(ModelMode::kSkin);
  EXPECT_EQ(run.status, 0);
  // Only the notes of what the solver does not take: no element or
  // pressure dropped, and the radiation elements' material is no second one.
  EXPECT_EQ(run.err.find("ignored"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("materials"), std::string::npos) << run.err;
}

}  // namespace
