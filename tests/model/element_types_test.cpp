// What each element is: the built-in ANSYS element table against the shared
// file it was written from, and whole runs of the bundled example with its
// type records varied (ET, ETBLOCK, KEYOP), each refused by name or
// translated exactly as before, on one thread and on two.
#include "model/element_types.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;

TEST(AnsysElementTable, EqualsTheSharedTable) {
  const fs::path file = test_support::SamplesDirectory().parent_path() / "ansys-element-types.tsv";
  std::ifstream in(file);
  ASSERT_TRUE(in) << file;
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#' || line.starts_with("number\t")) continue;
    rows.push_back(line);
  }
  std::vector<std::string> built;
  for (const AnsysElement& row : AnsysElements()) {
    std::string code(ClassCode(row.element_class));
    built.push_back(std::to_string(row.number) + "\t" + std::string(row.name) + "\t" + code);
  }
  EXPECT_EQ(built, rows);
}

// The bundled example: boundary elements of local type 1, field cells
// (elements 10-13) of local type 2, both SHELL181.
const fs::path kExample = fs::path(CDB2BEM_SOURCE_DIR) / "examples" / "ANSYS_Model.cdb";
const fs::path kExpected = fs::path(CDB2BEM_SOURCE_DIR) / "tests" / "e2e" / "bundled_example";
constexpr std::string_view kTypeRecords = "ET,        1,181\r\nET,        2,181\r\n";

// The example with its two ET records replaced by `types` (LF line ends
// turned into CR LF), and `after` put after the element block.
std::string Variant(std::string_view types, std::string_view after = {}) {
  std::string model = ReadFile(kExample);
  model.replace(model.find(kTypeRecords), kTypeRecords.size(), test_support::WithCrLf(types));
  const std::string end = "       -1\r\n";
  model.insert(model.find(end) + end.size(), test_support::WithCrLf(after));
  return model;
}

// Empty: translated as the example; otherwise the element and what it is.
struct TypeCase {
  const char* name;
  std::string types;
  std::string refused = {};
  std::string after = {};
};

std::string Refusal(int element, std::string_view name, std::string_view what) {
  return " ANSYS cdb file error: element " + std::to_string(element) + " (" + std::string(name) +
         ") is " + std::string(what) + ", not a surface element\r\n";
}

TEST(ElementTypes, ModelsRefusedByNameOrTranslatedAsBefore) {
  const std::string volume = "a volume element";
  const std::string keyopt_head =
      "ETBLOCK,        2,        2\n(2i9,19a9)\n"
      "        1      181        0        0        0        0        0        0        0\n";
  std::vector<TypeCase> cases = {
      {"no type records", ""},
      {"short fields", "ET,1,181\nET,2,181\n"},
      {"a volume element", "ET,        1,185\nET,        2,181\n", Refusal(1, "SOLID185", volume)},
      {"named in ET, any case", "ET,1,solid185\nET,2,SHELL181\n", Refusal(1, "SOLID185", volume)},
      {"a name not in the table", "ET,1,USER300\nET,2,181\n"},
      {"an unknown number", "ET,1,999\nET,2,181\n"},
      {"ETBLOCK (2i9,19a9)",
       "ETBLOCK,        2,        2\n(2i9,19a9)\n"
       "        1      186        0        0        0        0        0        0        0\n"
       "        2      181        0        0        0        0        0        0        0\n"
       "       -1\n",
       Refusal(1, "SOLID186", volume)},
      {"ETBLOCK (21i9)",
       "ETBLOCK,        2,        2\n(21i9)\n        1      182        0        0\n"
       "        2      181        0        0\n       -1\n",
       Refusal(1, "PLANE182", "a 2-D element")},
      {"field cells of a refused type", "ET,1,181\nET,2,187\n", Refusal(10, "SOLID187", volume)},
      {"a later definition replaces", "ET,1,185\nET,2,181\nET,1,181\n"},
      {"a later definition refuses", "ET,1,181\nET,2,181\nET,1,188\n",
       Refusal(1, "BEAM188", "a line element")},
      {"ET after ETBLOCK", keyopt_head + "        2      181\n       -1\nET,2,21\n",
       Refusal(10, "MASS21", "a point element")},
      {"defined after the element block", "ET,1,181\nET,2,181\n", "", "ET,1,185\n"},
      {"an undefined local type", "ET,        3,185\n"},
      {"a contact element", "ET,1,174\nET,2,181\n", Refusal(1, "CONTA174", "a contact element")},
      {"an axisymmetric element", "ET,1,272\nET,2,181\n",
       Refusal(1, "SOLID272", "an axisymmetric element")},
      {"a special element", "ET,1,27\nET,2,181\n", Refusal(1, "MATRIX27", "a special element")},
      {"an infinite element", "ET,1,111\nET,2,181\n", Refusal(1, "INFIN111", "a special element")},
      {"MESH200 without KEYOPT(1)", "ET,1,200\nET,2,181\n"},
      {"KEYOPT spelled out", "ET,1,200\nKEYOPT,1,1,10\nET,2,181\n", Refusal(1, "MESH200", volume)},
      {"KEYOPT(1) in ET", "ET,1,200,9\nET,2,181\n", Refusal(1, "MESH200", volume)},
      {"other KEYOPTs change nothing", "ET,1,200\nKEYOP,1,2,10\nET,2,181\n"},
      {"a redefinition drops KEYOPT(1)", "ET,1,200\nKEYOP,1,1,10\nET,1,200\nET,2,181\n"},
  };
  // MESH200 by KEYOPT(1): 0-1 2-D lines, 2-3 3-D lines, 4-7 surfaces, 8-11 volumes.
  for (int keyopt = 0; keyopt <= 11; ++keyopt) {
    const std::string what = keyopt <= 3 ? "a line element" : keyopt >= 8 ? volume : "";
    cases.push_back(
        {"MESH200",
         "ET,        1,200\nKEYOP,        1, 1," + std::to_string(keyopt) + "\nET,        2,181\n",
         what.empty() ? "" : Refusal(1, "MESH200", what)});
  }
  const std::string dat = test_support::MaskDate(ReadFile(kExpected / "input.dat"));
  const std::string plt = ReadFile(kExpected / "input.plt");
  for (const TypeCase& c : cases) {
    for (int jobs : {1, 2}) {
      SCOPED_TRACE(std::string(c.name) + ": " + c.types + ", jobs " + std::to_string(jobs));
      test_support::ScopedTempDir dir;
      test_support::WriteFile("ANSYS_Model.cdb", Variant(c.types, c.after));
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      const int status = RunTranslation({}, jobs);
      const std::string out = testing::internal::GetCapturedStdout();
      const std::string err = testing::internal::GetCapturedStderr();
      if (!c.refused.empty()) {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err, c.refused);
        EXPECT_EQ(out, "");
        EXPECT_FALSE(fs::exists("input.dat"));
        continue;
      }
      ASSERT_EQ(status, 0) << err;
      EXPECT_EQ(err, "");
      EXPECT_EQ(test_support::MaskDate(ReadFile("input.dat")), dat);
      EXPECT_EQ(ReadFile("input.plt"), plt);
    }
  }
}

}  // namespace

namespace {

// On a terminal a refusal says where to look next; on a pipe the diagnostic
// stands alone, as scripts compare it.
TEST(ElementTypes, RefusalOnATerminalPointsToTheCheck) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no 'script' command (Debian package bsdutils) to give the run a terminal";
  }
  test_support::ScopedTempDir dir;
  test_support::WriteFile("ANSYS_Model.cdb", Variant("ET,1,185\nET,2,181\n"));
  const std::string refusal = Refusal(1, "SOLID185", "a volume element");
  const std::string hint = "cdb2bem: run 'cdb2bem --check' to see why and what to do";
  const test_support::RunResult piped = test_support::RunProgram(dir.path());
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(piped.err, refusal);
  const test_support::RunResult terminal = test_support::RunInDirectory(
      dir.path(), "script -qec " + test_support::ShellQuoted(CDB2BEM_BINARY) + " /dev/null");
  // The terminal turns line ends into its own; the texts stay.
  EXPECT_NE(terminal.out.find(refusal.substr(0, refusal.size() - 2)), std::string::npos)
      << terminal.out;
  EXPECT_NE(terminal.out.find(hint), std::string::npos) << terminal.out;
  // Its elements are of four nodes: the skin, tried, finds no volume
  // element's corners in them and is not proposed.
  EXPECT_EQ(terminal.out.find("'cdb2bem --skin"), std::string::npos) << terminal.out;
  EXPECT_EQ(terminal.out.find("--renumber"), std::string::npos) << terminal.out;

  // A surface model whose element numbers have a gap (element 9 numbered 19).
  std::string gapped = Variant(kTypeRecords);
  const std::string element9 = "        0        9        8        5        9";
  gapped.replace(gapped.find(element9), element9.size(),
                 "        0       19        8        5        9");
  test_support::WriteFile("ANSYS_Model.cdb", gapped);
  const test_support::RunResult renumber = test_support::RunInDirectory(
      dir.path(), "script -qec " + test_support::ShellQuoted(CDB2BEM_BINARY) + " /dev/null");
  EXPECT_NE(renumber.out.find("element number 19, outside 1 to 9"), std::string::npos)
      << renumber.out;
  EXPECT_NE(renumber.out.find("cdb2bem: 'cdb2bem --renumber' translates the model, its nodes "
                              "and elements numbered anew"),
            std::string::npos)
      << renumber.out;
}

// Which volume elements keep four corners first: the tetrahedron families
// of the table, and MESH200 meshing tetrahedra.
TEST(AnsysElementTable, VolumeCorners) {
  const struct {
    std::int32_t number, keyopt1;
    int corners;
  } cases[] = {
      {185, 0, 8},  {186, 0, 8}, {187, 0, 4}, {45, 0, 8},    {92, 0, 4},
      {72, 0, 4},   {285, 0, 4}, {291, 0, 4}, {200, 8, 4},   {200, 9, 4},
      {200, 10, 8}, {200, 7, 8}, {190, 0, 8}, {99999, 0, 8},  // a number the table does not hold
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + " " + std::to_string(c.keyopt1));
    EXPECT_EQ(VolumeCorners(c.number, c.keyopt1), c.corners);
  }
}

}  // namespace
