// Every mode reads the model file by the same rules. Renumbered, a model
// whose numbering is already compact translates as the plain run translates
// it, byte for byte (the case folders of end_to_end_test.cpp are the expected
// files); a model cut short or malformed is refused alike by the plain run,
// --skin and --renumber.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e/e2e_case.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::MaskDate;
using test_support::ReadFile;
using test_support::RunResult;
using test_support::ScopedTempDir;

using e2e_case::ExpectedText;
using e2e_case::kE2eDir;
using e2e_case::PrepareCase;
using e2e_case::ReadIfPresent;
using e2e_case::WithDirectory;

TEST(CrossMode, RenumberedAsPlainWhereTheNumberingIsCompact) {
  const struct {
    const char* name;
    const char* differs;  // why --renumber differs by design; null where it does not
  } cases[] = {
      {"four_node_example", nullptr},
      {"bundled_example", nullptr},
      {"no_conditions", nullptr},
      {"pressures_spread_over_the_file", nullptr},
      {"field_points_and_cells", nullptr},
      {"overwrite_longer_output", nullptr},
      {"fail_volume_element", nullptr},
      {"fail_volume_element_untyped", nullptr},
      {"fail_missing_model", nullptr},
      {"fail_missing_finish", nullptr},
      {"fail_node_conversion", nullptr},
      {"fail_element_syntax", nullptr},
      {"fail_pressure_element_text", nullptr},
      {"fail_constraint_value", nullptr},
      {"field_points_backwards",
       "a range written backwards counts field points the plain "
       "run's way only; renumbered, the component lists them"},
      {"node_layout1_numbering",
       "node 5 at the fourth place is no numbering error once nodes "
       "are numbered by their place"},
      {"corner_outside_nodes", "renumbered, node 9 is a node the model does not define"},
      {"fail_structure_error", "the offset header sizes only the plain run's tables"},
      {"quadrilaterals_only",
       "elements listed out of number order are renumbered in number "
       "order, and their triangles follow that order"},
      {"field_points_without_cells",
       "a field point numbered 7 at the second place is no "
       "numbering error once points are numbered by their place"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path case_dir = kE2eDir / c.name;
    ScopedTempDir temp;
    const fs::path work = fs::canonical(temp.path());
    PrepareCase(case_dir, work);
    const RunResult run = test_support::RunProgramWith(work, {"--renumber"});
    const int status = std::stoi(ReadFile(case_dir / "status.txt"));
    const std::string out = ExpectedText(case_dir / "stdout.txt", work);
    const std::string err = ExpectedText(case_dir / "stderr.txt", work);
    std::vector<std::string> same_files;
    for (const char* name : {"input.dat", "input.plt"}) {
      std::optional<std::string> expected = ReadIfPresent(case_dir / name);
      if (!expected) expected = ReadIfPresent(case_dir / "existing" / name);
      const std::optional<std::string> actual = ReadIfPresent(work / name);
      const bool same = expected.has_value() == actual.has_value() &&
                        (!expected || MaskDate(*expected) == MaskDate(*actual));
      if (same) same_files.push_back(name);
    }
    const bool same =
        run.status == status && run.out == out && run.err == err && same_files.size() == 2;
    if (c.differs == nullptr) {
      EXPECT_EQ(run.status, status);
      EXPECT_EQ(run.out, out);
      EXPECT_EQ(run.err, err);
      EXPECT_EQ(same_files, (std::vector<std::string>{"input.dat", "input.plt"}));
    } else {
      EXPECT_FALSE(same) << "no longer differs: " << c.differs;
    }
  }
}

// The four-node model with one edit, and the diagnostic every mode ends with.
TEST(CrossMode, EveryModeRefusesAlike) {
  const std::string model = ReadFile(kE2eDir / "four_node_example" / "ANSYS_Model.cdb");
  const std::string element3 =
      "        1        1        1        1        0        0        0        0        4        0"
      "        3        1        4        3        3\r\n";
  const std::string node2 = "        2        0        0 1.0000000000000E+000";
  const std::string constraint = "D,      2,UY  , 0.000000000E+00, 0.000000000E+00";
  ASSERT_NE(model.find(element3), std::string::npos);
  ASSERT_NE(model.find(node2), std::string::npos);
  ASSERT_NE(model.find(constraint), std::string::npos);
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = model;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string kFile = ", unit 5, file @DIR@/ANSYS_Model.cdb\r\n";
  const struct {
    const char* name;
    std::string text;
    int status;  // as the shell sees it
    std::string err;
  } cases[] = {
      {"cut inside the element block", model.substr(0, model.find(element3)), 24,
       "runerr: severe (24): end-of-file during read" + kFile},
      {"cut in the middle of an element record", model.substr(0, model.find(element3) + 123), 24,
       "runerr: severe (24): end-of-file during read" + kFile},
      {"cut before an element's number", model.substr(0, model.find(element3) + 60), 24,
       "runerr: severe (24): end-of-file during read" + kFile},
      {"cut before its FINISH", model.substr(0, model.find("FINISH")), 24,
       "runerr: severe (24): end-of-file during read" + kFile},
      {"a letter in an element field", replaced(element3, element3.substr(0, 133) + "3a\r\n"), 59,
       "runerr: severe (59): list-directed I/O syntax error" + kFile},
      {"a node coordinate with no exponent letter",
       replaced(node2, "        2        0        0 1.0000000000000X+000"), 64,
       "runerr: severe (64): input conversion error" + kFile},
      {"a constraint value that is no real", replaced(constraint, "D,      2,UY  ,0.0025,0.0"),
       547 & 255, "runerr: severe (547): invalid REAL\r\n"},
      {"a constraint node that is no integer",
       replaced(constraint, "D,     2.,UY  , 0.000000000E+00"), 545 & 255,
       "runerr: severe (545): invalid INTEGER\r\n"},
  };
  for (const auto& c : cases) {
    for (const char* mode : {"", "--skin", "--renumber"}) {
      SCOPED_TRACE(std::string(c.name) + " " + mode);
      ScopedTempDir temp;
      const fs::path work = fs::canonical(temp.path());
      test_support::WriteFile(work / "ANSYS_Model.cdb", c.text);
      const RunResult run = std::string_view(mode).empty()
                                ? test_support::RunProgram(work)
                                : test_support::RunProgramWith(work, {mode});
      EXPECT_EQ(run.status, c.status);
      EXPECT_EQ(run.err, WithDirectory(c.err, work));
      EXPECT_EQ(run.out, "");
      EXPECT_FALSE(fs::exists(work / "input.dat"));
    }
  }
}

}  // namespace
