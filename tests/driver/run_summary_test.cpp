// The lines for a person at a terminal (the counts after the closing line,
// the hint at a lower-case model file), the run's files beside the model, and
// a whole run on a terminal and off one.
#include "driver/run_summary.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver/model_reading.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::RunProgramWith;
using test_support::RunResult;
using test_support::ScopedTempDir;
using test_support::ShellQuoted;

TEST(RunSummary, CountsAndAPointerToTheCheck) {
  struct Case {
    std::int64_t nodes, triangles, displacement, loaded, open, non_manifold;
    std::string line;
  };
  const std::string counts = " 9 nodes, 14 triangles: 2 with a displacement condition, 3 with a";
  const Case cases[] = {
      {9, 14, 2, 3, 0, 0, counts + " traction that is not zero"},
      {1, 1, 1, 0, 0, 0,
       " 1 node, 1 triangle: 1 with a displacement condition, 0 with a traction that is not zero"},
      {9, 14, 2, 3, 3, 0,
       counts + " traction that is not zero; the model has 3 open edges: see "
                "cdb2bem --check"},
      {9, 14, 2, 3, 1, 1,
       counts + " traction that is not zero; the model has 1 open edge and 1 "
                "non-manifold edge: see cdb2bem --check"},
      {9, 14, 0, 3, 0, 2,
       " 9 nodes, 14 triangles: 0 with a displacement condition, 3 with a "
       "traction that is not zero; the model has 2 non-manifold edges and no "
       "displacement condition: see cdb2bem --check"},
      {4, 4, 0, 0, 1, 1,
       " 4 nodes, 4 triangles: 0 with a displacement condition, 0 with a "
       "traction that is not zero; the model has 1 open edge, 1 non-manifold "
       "edge and no displacement condition: see cdb2bem --check"},
  };
  for (const Case& c : cases) {
    SurfaceFindings f;
    f.nodes = c.nodes;
    f.triangles = c.triangles;
    f.displacement_triangles = c.displacement;
    f.loaded_triangles = c.loaded;
    f.open_edges = c.open;
    f.non_manifold_edges = c.non_manifold;
    f.no_displacement = c.displacement == 0;
    // Findings the pointer leaves to the report itself.
    f.orientation_conflicts = 5;
    f.coincident_nodes = 2;
    EXPECT_EQ(RunSummaryLine(f), c.line);
  }
}

TEST(RunFiles, OutputsAreNamedInTheModelsDirectory) {
  struct Case {
    const char* model;  // as the command line gives it; empty: none
    const char* output;
    const char* expected;
  };
  const Case cases[] = {
      {"", "input.dat", "input.dat"},
      {"job.cdb", "input.dat", "input.dat"},
      {"models/job.cdb", "input.plt", "models/input.plt"},
      {"../a/b/job.cdb", "m.vtu", "../a/b/m.vtu"},
      {"/abs/job.cdb", "input.dat", "/abs/input.dat"},
      {"/job.cdb", "input.dat", "/input.dat"},
      {"models/job.cdb", "/tmp/m.vtu", "/tmp/m.vtu"},
      {"models/job.cdb", "sub/m.vtu", "models/sub/m.vtu"},
      {"Z:job.cdb", "input.dat", "input.dat"},  // a drive only on Windows
  };
  for (const Case& c : cases) {
    const RunFiles files = RunFilesFor(c.model);
    EXPECT_EQ(files.model, *c.model == '\0' ? "ANSYS_Model.cdb" : c.model);
    EXPECT_EQ(files.Output(c.output), c.expected) << c.model;
  }
}

// Runs `args` in `directory` with standard output and error on a terminal
// (script(1) gives the run one): the status and everything shown.
RunResult RunOnATerminal(const fs::path& directory, const std::string& args) {
  const fs::path shown = directory / ".terminal";
  std::string command = "cd " + ShellQuoted(directory.string()) + " && script -qec " +
                        ShellQuoted(ShellQuoted(CDB2BEM_BINARY) + " " + args) + " /dev/null >" +
                        ShellQuoted(shown.string()) + " 2>&1 </dev/null";
  const int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadFile(shown);
  fs::remove(shown);
  return result;
}

// The terminal's line ends: each line feed shown as CR LF, so the run's CR
// LF records come out as CR CR LF.
TEST(RunSummary, OnATerminalOnlyTheRunTellsItsCountsAndTheLowerCaseName) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "script is not installed (Debian package bsdutils)";
  }
  ScopedTempDir temp;
  const fs::path house = temp.path() / "house";
  const fs::path lower = temp.path() / "lower";
  fs::create_directories(house);
  fs::create_directories(lower);
  fs::copy_file(fs::path(CDB2BEM_SOURCE_DIR) / "examples" / "ANSYS_Model.cdb",
                house / "ANSYS_Model.cdb");
  fs::copy_file(house / "ANSYS_Model.cdb", lower / "ansys_model.cdb");

  // The house (see the check's report of it): 2 triangles fixed, the
  // quadrilateral 4 and the triangle 6 pressed.
  const RunResult shown = RunOnATerminal(house, "");
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out,
            "  Data Translation from ANSYS to BEM is done!\r\r\n"
            " 9 nodes, 14 triangles: 2 with a displacement condition, 3 with a traction that is "
            "not zero\r\r\n");
  const RunResult missing = RunOnATerminal(temp.path(), "-C lower");
  EXPECT_EQ(missing.status, 29);
  const std::string diagnostic =
      "runerr: severe (29): file not found, unit 5, file " + lower.string() + "/ANSYS_Model.cdb";
  EXPECT_EQ(missing.out, diagnostic +
                             "\r\r\n ansys_model.cdb is here; to translate it: cdb2bem [OPTION]... "
                             "ansys_model.cdb\r\r\n");
  // Named, it is translated; the hint is for the default name only.
  EXPECT_EQ(RunOnATerminal(lower, "ansys_model.cdb").status, 0);
  EXPECT_TRUE(fs::exists(lower / "input.dat"));
  EXPECT_EQ(
      RunOnATerminal(lower, "other.cdb").out,
      "runerr: severe (29): file not found, unit 5, file " + lower.string() + "/other.cdb\r\r\n");

  // Off a terminal, the runs print what they always printed.
  const RunResult quiet = RunProgramWith(house, {});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "  Data Translation from ANSYS to BEM is done!\r\n");
  EXPECT_EQ(quiet.err, "");
  const RunResult quiet_missing = RunProgramWith(temp.path(), {"-C", "lower"});
  EXPECT_EQ(quiet_missing.status, 29);
  EXPECT_EQ(quiet_missing.err, diagnostic + "\r\n");
}

}  // namespace
