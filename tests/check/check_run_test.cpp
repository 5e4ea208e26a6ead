// The model check as the shell sees it: report, statuses, refusals and their
// causes, on the bundled example, the e2e models and the real samples.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "check/refusal_cause.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::RunProgramWith;
using test_support::RunResult;
using test_support::ScopedTempDir;
using test_support::WriteFile;

const fs::path kSourceDir = CDB2BEM_SOURCE_DIR;

std::vector<std::string> Entries(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CheckRun, ExampleReportWritesNoFile) {
  ScopedTempDir dir;
  fs::create_directory(dir.path() / "house");
  fs::copy_file(kSourceDir / "examples" / "ANSYS_Model.cdb",
                dir.path() / "house" / "ANSYS_Model.cdb");
  const RunResult check = RunProgramWith(dir.path(), {"-C", "house", "--check"});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.err, "");
  // The house: a box of five quadrilaterals sheared by 0.25 (volume 2 x 1 x 1)
  // under a pyramid of four triangles 0.6180339887499 high (2 x 1 x h / 3),
  // fixed at its base (two triangles), pressed on elements 4 and 6: the
  // quadrilateral 4 gives two loaded triangles, the triangle 6 one.
  EXPECT_EQ(check.out,
            "nodes: 9\n"
            "elements: 9\n"
            "triangles: 14\n"
            "field points: 9\n"
            "field cells: 4\n"
            "element types: 2\n"
            "displacement triangles: 2\n"
            "traction triangles: 12\n"
            "loaded triangles: 3\n"
            "loaded elements: 2\n"
            "pressure records: 2\n"
            "pressures applied: 2\n"
            "open edges: 0\n"
            "non-manifold edges: 0\n"
            "orientation conflicts: 0\n"
            "shells: 1\n"
            "closed shells: 1\n"
            "enclosed volume: 2.41202265917e+00\n"
            "degenerate triangles: 0\n"
            "coincident nodes: 0\n"
            "unused nodes: 0\n"
            "problems: 0\n"
            "\n"
            "elements by type (1):\n"
            "  SHELL181: class S3, 13 elements\n"
            "shells (1):\n"
            "  from triangle 1 (element 1): 14 triangles, closed, volume 2.41202265917e+00\n");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"house"});
  EXPECT_EQ(Entries(dir.path() / "house"), std::vector<std::string>{"ANSYS_Model.cdb"});
}

TEST(CheckRun, ProblemsEndWithStatusThree) {
  ScopedTempDir dir;
  // The example without its constraints: nothing holds the body.
  std::string model = ReadFile(kSourceDir / "examples" / "ANSYS_Model.cdb");
  for (std::size_t at; (at = model.find("\nD,")) != std::string::npos;) {
    model.erase(at + 1, model.find('\n', at + 1) - at);
  }
  WriteFile(dir.path() / "ANSYS_Model.cdb", model);
  const RunResult check = RunProgramWith(dir.path(), {"--check"});
  EXPECT_EQ(check.status, 3);
  EXPECT_NE(check.out.find("\ndisplacement triangles: 0\n"), std::string::npos) << check.out;
  EXPECT_NE(
      check.out.find("\nproblems: 1\n\nproblems (1):\n  no triangle has a displacement condition"),
      std::string::npos)
      << check.out;
}

// A model the translation refuses is refused by the check with the same
// line and status, and the check then says what it finds.
TEST(CheckRun, RefusalsKeepTheTranslationsDiagnostic) {
  for (const char* name :
       {"fail_element_syntax", "fail_node_conversion", "fail_structure_error",
        "fail_missing_finish", "fail_constraint_value", "fail_pressure_element_text",
        "corner_outside_nodes", "fail_missing_model"}) {
    SCOPED_TRACE(name);
    ScopedTempDir checked;
    ScopedTempDir translated;
    const fs::path model = kSourceDir / "tests" / "e2e" / name / "ANSYS_Model.cdb";
    for (const ScopedTempDir* dir : {&checked, &translated}) {
      if (fs::exists(model)) fs::copy_file(model, dir->path() / "ANSYS_Model.cdb");
    }
    const RunResult check = RunProgramWith(checked.path(), {"--check"});
    const RunResult translation = RunProgramWith(translated.path(), {});
    EXPECT_NE(check.status, 0);
    EXPECT_EQ(check.status, translation.status);
    std::string want_err = translation.err;
    for (std::size_t at; (at = want_err.find(translated.path().string())) != std::string::npos;) {
      want_err.replace(at, translated.path().string().size(), checked.path().string());
    }
    EXPECT_EQ(check.err, want_err);
    EXPECT_TRUE(check.out.starts_with("refused: ")) << check.out;
    EXPECT_EQ(Entries(checked.path()).size(), fs::exists(model) ? 1u : 0u);
  }
}

// Each real sample that the run refuses gets the cause that is true of it,
// read off the file by hand.
TEST(CheckRun, RefusedSamplesGetTheirCause) {
  const fs::path samples = test_support::SamplesDirectory();
  const struct {
    const char* file;
    int status;
    std::vector<std::string> lines;
  } cases[] = {
      // The run reads the header's 678 nodes past the block's 655 into the
      // N record; the model is a volume model that --skin translates.
      {"sector.cdb",
       64,
       {"  - the run stopped at record 694: a value in it that the reading rules do not read as "
        "a number (diagnostic 64)\n",
        "  - the header promises 678 nodes, 655 node records follow: the run reads on past the "
        "block into record 694 (\"N,R5.3,LOC,       -1,\")\n",
        "  - record 687 holds node 672 where node 649 is expected",
        "  - the header promises 328 elements, 105 element records follow",
        "  - record 697 holds element 224 where element 1 is expected",
        "  - element 224 (record 697) is of type 2, SOLID185, a volume element, not a surface "
        "element\n",
        "likely remedy: compress the numbering in ANSYS before writing the file (NUMCMP,ALL), so "
        "that the nodes are numbered 1 to 655 and the elements 1 to 105, without gaps\n",
        "likely remedy: translate the outer surface of the volume mesh (tried on the model, it "
        "gets through):\n  cdb2bem --skin\n"}},
      // Its SURF152 elements lie on the skin of its SOLID70 bricks.
      {"ErnoRadiation.cdb",
       1,
       {"  - the run stopped at element 1 (record 126), of type 1, SOLID70: a volume element, not "
        "a surface element\n",
        "likely remedy: translate the outer surface of the volume mesh (tried on the model, it "
        "gets through):\n  cdb2bem --skin\n"}},
      {"TetBeam.cdb",
       1,
       {"  - the run stopped at element 1 (record 1081), of type 3, SOLID187: a volume element, "
        "not a surface element\n",
        "likely remedy: translate the outer surface of the volume mesh (tried on the model, it "
        "gets through):\n  cdb2bem --skin\n"}},
      {"mesh200.cdb",
       1,
       {"  - the run stopped at element 1 (record 5007), of type 1, MESH200: a volume element, not "
        "a surface element\n",
        "  - element 1 (record 5007, type 1, MESH200) has 20 nodes and continues on the next "
        "record",
        "likely remedy: translate the outer surface of the volume mesh (tried on the model, it "
        "gets through):\n  cdb2bem --skin\n"}},
      // The FINISH of record 4 ends a part before the model; the model's
      // 3000 element rows are 1500 of each of its two 2-D types.
      {"plane182_183.cdb",
       1,
       {"  - the run stopped at the FINISH of record 4 before the offset header: the run takes it "
        "for the end of the model\n",
        "  - the element rows are of type 1, PLANE182 (1500 elements) and type 2, PLANE183 (1500 "
        "elements): a 2-D model\n",
        "\nlikely remedy: nothing in cdb2bem translates a 2-D model: it has no surface in space; "
        "model the body in 3-D and translate its surface\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ScopedTempDir dir;
    fs::copy_file(samples / c.file, dir.path() / "ANSYS_Model.cdb");
    const RunResult check = RunProgramWith(dir.path(), {"--check"});
    EXPECT_EQ(check.status, c.status) << check.err;
    EXPECT_NE(check.out.find("refused: a second look at ANSYS_Model.cdb finds\n"),
              std::string::npos);
    for (const std::string& line : c.lines) {
      EXPECT_NE(check.out.find(line), std::string::npos) << "missing [" << line << "] in\n"
                                                         << check.out;
    }
    // A sample with gaps in its numbering is not told it needs a surface mesh for that.
    if (c.status == 1 && std::string_view(c.file) != "ErnoRadiation.cdb") {
      EXPECT_EQ(check.out.find("NUMCMP"), std::string::npos) << check.out;
    }
    // A 2-D model gets no remedy that leads to its 2-D refusal.
    if (std::string_view(c.file) == "plane182_183.cdb") {
      EXPECT_EQ(check.out.find("delete records"), std::string::npos) << check.out;
    }
  }
}

// A small model: a triangle element whose record and components are varied.
constexpr const char* kHead =
    "*ELSE\nNUMOFF,NODE,        5\nNUMOFF,ELEM,        2\n"
    "NBLOCK,6,SOLID,         5,         5\n(3i9,6e21.13e3)\n"
    "        1        0        0\n        2        0        0 1.0\n        3        0        0 0.0 "
    "1.0\n"
    "        4        0        0 2.0\n        5        0        0 3.0\nN,R5.3,LOC,       -1,\n"
    "EBLOCK,19,SOLID,         2,         2\n(19i9)\n";
constexpr const char* kElement1 =
    "        1        1        1        1        0        0        0        0        3        0"
    "        1        1        2        3        3\n";

TEST(RefusalCause, FieldComponentsShortRecordsAndMissingFinish) {
  const struct {
    const char* name;
    std::string text;
    std::string want;
  } cases[] = {
      {"FIELDPOINTS before FIELDCELLS",
       std::string(kHead) + kElement1 +
           "        1        1        1        1        0        0        0        0        4      "
           "  0"
           "        2        4        5        4        5\n       -1\n"
           "CMBLOCK,FIELDPOINTS,NODE,       2\n(8i10)\n         4        -5\n"
           "CMBLOCK,FIELDCELLS,ELEM,       1\n(8i10)\n         2\nFINISH\n",
       "  - the component FIELDPOINTS (record 17) comes before the component FIELDCELLS (record "
       "20): "
       "the run looks for FIELDPOINTS only after FIELDCELLS"},
      {"FIELDCELLS after FINISH",
       std::string(kHead) + kElement1 + kElement1 +
           "       -1\nFINISH\n"
           "CMBLOCK,FIELDCELLS,ELEM,       1\n(8i10)\n         2\n",
       "  - the component FIELDCELLS (record 18) comes after the FINISH of record 17"},
      {"element record with three node fields",
       std::string(kHead) +
           "        1        1        1        1        0        0        0        0        3      "
           "  0"
           "        1        1        2        3\n" +
           kElement1 + "       -1\nFINISH\n",
       "  - element 1 (record 14, type 1) has 3 node fields: the run takes the values it lacks "
       "from the next record"},
      {"a line element, its type named",
       "ET,1,LINK180\n" + std::string(kHead) +
           "        1        1        1        1        0        0        0        0        2      "
           "  0        1        1        2\n"
           "        1        1        1        1        0        0        0        0        3      "
           "  0        2        1        2        3        3\n       -1\nFINISH\n",
       "  - element 1 (record 15) is of type 1, LINK180, a line element, not a surface element\n"
       "  - element 1 (record 15, type 1, LINK180) has 2 node fields: the run takes the values it "
       "lacks from the next record, and the records after it are read out of step\n"
       "likely remedy: leave the elements of type 1, LINK180 out of the selection before CDWRITE "
       "(ESEL,U,TYPE,,1), instead of rewriting their records\n"},
      {"no node block", "*ELSE\nNUMOFF,NODE,        5\nNUMOFF,ELEM,        2\nFINISH\n",
       "  - no node block: no record begins NBLOCK, so the file holds no finite-element model\n"},
      {"element record with one node field",
       std::string(kHead) +
           "        1        1        1        1        0        0        0        0        3      "
           "  0        1        1\n" +
           kElement1 + "       -1\nFINISH\n",
       "  - element 1 (record 14, type 1) has 1 node field: the run takes"},
      // Counts of one agree with their nouns.
      {"a header of one node and one element",
       "*ELSE\nNUMOFF,NODE,        1\nNUMOFF,ELEM,        1\n"
       "NBLOCK,6,SOLID,         2,         2\n(3i9,6e21.13e3)\n"
       "        1        0        0\n        2        0        0 1.0\nN,R5.3,LOC,       -1,\n"
       "EBLOCK,19,SOLID,         1,         1\n(19i9)\n" +
           std::string(kElement1) + "       -1\nFINISH\n",
       "  - header (records 2 and 3): 1 node and 1 element\n"
       "  - node block (record 4): 2 node records, node numbers up to 2\n"
       "  - the header promises 1 node, 2 node records follow\n"
       "  - element block (record 9): 1 element record, element numbers up to 1\n"},
      {"no FINISH", std::string(kHead) + kElement1 + kElement1 + "       -1\n",
       "  - no record begins FINI"},
      {"no offset header", "/PREP7\nFINISH\n", "  - no offset header: no record begins *ELSE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFile("ANSYS_Model.cdb", c.text);
    const RunEnded refused{24};
    const std::string text = ExplainRefusal(
        "ANSYS_Model.cdb", refused, SurveyRefusedModel("ANSYS_Model.cdb", refused), true, {});
    EXPECT_NE(text.find(c.want), std::string::npos) << "missing [" << c.want << "] in\n" << text;
    EXPECT_NE(text.find("\nlikely remedy: "), std::string::npos) << text;
  }
  const RunEnded absent{29};
  EXPECT_EQ(
      ExplainRefusal("absent.cdb", absent, SurveyRefusedModel("absent.cdb", absent), true, {}),
      "refused: the model file absent.cdb cannot be opened in the working directory; no "
      "second look is possible\n");
}

TEST(CheckVtk, FiguresAgreeWithVtkOnGeneratedModels) {
  CDB2BEM_NEED_PYTHON_MODULES("vtkmodules", "python3-vtk9");
  std::string command = "/usr/bin/python3 '" +
                        (kSourceDir / "tests" / "check" / "check_vtk.py").string() + "' '" +
                        CDB2BEM_BINARY + "'";
  // The one real surface mesh among the samples, with four reversed triangles.
  command += " '" + (test_support::SamplesDirectory() / "hypermesh.cdb").string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
