// The node block in every layout a model file may give it, read alike by the
// plain run, --renumber and --skin: the four-node example (its expected files
// are the case folder's) with its node block written in each layout.
#include <gtest/gtest.h>

#include <filesystem>
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

struct LayoutCase {
  const char* format;
  std::vector<int> integer_widths;
  int real_width;
  int reals;  // the real fields written after x, y and z are 0
};

std::string Field(const std::string& text, int width) {
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

// The node block of the four-node example (nodes 1 to 4 at the origin and
// on the three axes at 1) in the layout of `c`, trailing blank fields left out.
std::string NodeBlock(const LayoutCase& c) {
  const char* coordinates[4][3] = {{"", "", ""},
                                   {"1.0E+000", "", ""},
                                   {"0.0E+000", "1.0E+000", ""},
                                   {"0.0E+000", "0.0E+000", "1.0E+000"}};
  std::string block = "NBLOCK,6,SOLID,         4,         4\r\n" + std::string(c.format) + "\r\n";
  for (int n = 0; n < 4; ++n) {
    block += Field(std::to_string(n + 1), c.integer_widths[0]) + Field("0", c.integer_widths[1]) +
             Field("0", c.integer_widths[2]);
    for (const char* value : coordinates[n]) {
      if (*value != '\0') block += Field(value, c.real_width);
    }
    if (n == 3) {
      for (int k = 3; k < c.reals; ++k) block += Field("0.0", c.real_width);
    }
    block += "\r\n";
  }
  return block;
}

// The lines of `dat` from its counts line to the end of its nodes.
std::string CountsAndNodes(const std::string& dat) {
  const std::size_t begin = dat.find("\r\n", dat.find("Solver Type")) + 2;
  return dat.substr(begin, dat.find(" $ Elements") - begin);
}

TEST(NodeLayouts, EveryModeReadsEachLayout) {
  const LayoutCase cases[] = {
      {"(3i8,6e16.9)", {8, 8, 8}, 16, 6},
      {"(3i8,6e20.13)", {8, 8, 8}, 20, 6},
      {"(3i9,6e20.13)", {9, 9, 9}, 20, 6},
      {"(3i9,6e21.13e3)", {9, 9, 9}, 21, 6},
      {"(1i7,2i9,6e21.13)", {7, 9, 9}, 21, 6},
      {"(3i9,3e20.13)", {9, 9, 9}, 20, 3},
      {"(3i8,6e16.9e2)", {8, 8, 8}, 16, 6},
      {"(2i6,1i10,4e12.5)", {6, 6, 10}, 12, 4},
      {"(1i9,1i9,1i9,3e20.13,2e20.13)", {9, 9, 9}, 20, 5},
  };
  const fs::path case_dir = e2e_case::kE2eDir / "four_node_example";
  const std::string model = ReadFile(case_dir / "ANSYS_Model.cdb");
  const std::size_t block_begin = model.find("NBLOCK");
  const std::size_t block_end = model.find("N,R5.3");
  ASSERT_NE(block_end, std::string::npos);
  const std::string dat = MaskDate(ReadFile(case_dir / "input.dat"));
  const std::string plt = ReadFile(case_dir / "input.plt");
  // The same tetrahedron as one volume element (a SOLID185 brick with
  // K = L and M = N = O = P): its skin is the same four nodes.
  const std::string surface_elements = model.substr(
      model.find("EBLOCK"), model.find("\r\nD,", block_end) + 2 - model.find("EBLOCK"));
  const std::string volume_elements =
      "EBLOCK,19,SOLID,         1,         1\r\n(19i9)\r\n"
      "        1        1        1        1        0        0        0        0        8        0"
      "        1        1        2        3        3        4        4        4        4\r\n"
      "       -1\r\n";
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.format);
    std::string text = model;
    text.replace(block_begin, block_end - block_begin, NodeBlock(c));
    for (const char* mode : {"", "--renumber", "--skin", "--check"}) {
      SCOPED_TRACE(mode);
      ScopedTempDir temp;
      const fs::path work = fs::canonical(temp.path());
      std::string run_text = text;
      if (std::string_view(mode) == "--skin") {
        run_text.replace(run_text.find("ET,        1,181"), 16, "ET,        1,185");
        run_text.replace(run_text.find("EBLOCK"), surface_elements.size(), volume_elements);
      }
      test_support::WriteFile(work / "ANSYS_Model.cdb", run_text);
      const RunResult run = *mode == '\0' ? test_support::RunProgram(work)
                                          : test_support::RunProgramWith(work, {mode});
      ASSERT_EQ(run.status, 0) << run.err;
      if (std::string_view(mode) == "--check") {
        EXPECT_NE(run.out.find("nodes: 4\nelements: 4\ntriangles: 4\n"), std::string::npos);
        EXPECT_NE(run.out.find("problems: 0\n"), std::string::npos);
        continue;
      }
      EXPECT_EQ(run.out, ReadFile(case_dir / "stdout.txt"));
      const std::string written = MaskDate(ReadFile(work / "input.dat"));
      if (std::string_view(mode) == "--skin") {
        EXPECT_EQ(CountsAndNodes(written), CountsAndNodes(dat));
      } else {
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(written, dat);
        EXPECT_EQ(ReadFile(work / "input.plt"), plt);
      }
    }
  }
}

// A declaration that breaks the rules is no node format record, as an
// unknown layout was not: every mode reads on to the end of the file.
TEST(NodeLayouts, MalformedDeclarationsAreNoFormat) {
  const LayoutCase cases[] = {
      {"(3i9,3e21.13,3e20.13)", {9, 9, 9}, 21, 6},
      {"(2i9,6e21.13)", {9, 9, 9}, 21, 6},
      {"(3i9,7e21.13)", {9, 9, 9}, 21, 7},
      {"(3i9,6e21.13,1i9)", {9, 9, 9}, 21, 6},
  };
  const std::string model = ReadFile(e2e_case::kE2eDir / "four_node_example" / "ANSYS_Model.cdb");
  const std::size_t block_begin = model.find("NBLOCK");
  const std::size_t block_end = model.find("N,R5.3");
  for (const LayoutCase& c : cases) {
    std::string text = model;
    text.replace(block_begin, block_end - block_begin, NodeBlock(c));
    for (const char* mode : {"", "--renumber", "--skin"}) {
      SCOPED_TRACE(std::string(c.format) + " " + mode);
      ScopedTempDir temp;
      const fs::path work = fs::canonical(temp.path());
      test_support::WriteFile(work / "ANSYS_Model.cdb", text);
      const RunResult run = *mode == '\0' ? test_support::RunProgram(work)
                                          : test_support::RunProgramWith(work, {mode});
      EXPECT_EQ(run.status, 24);
      EXPECT_EQ(run.err, "runerr: severe (24): end-of-file during read, unit 5, file " +
                             (work / "ANSYS_Model.cdb").string() + "\r\n");
      EXPECT_FALSE(fs::exists(work / "input.dat"));
    }
    // The check names the format (record 15, after NBLOCK) as none the run reads.
    ScopedTempDir temp;
    test_support::WriteFile(temp.path() / "ANSYS_Model.cdb", text);
    const RunResult check = test_support::RunProgramWith(temp.path(), {"--check"});
    EXPECT_EQ(check.status, 24);
    EXPECT_NE(check.out.find("  - the node format (record 15, \"" + std::string(c.format) +
                             "\") is none the run reads: "),
              std::string::npos)
        << check.out;
  }
}

}  // namespace
