// The lines for a person at a terminal (the counts after the closing line,
// the hint at a lower-case model file), the run's files beside the model, and
// a whole run on a terminal and off one.
#include "driver/run_summary.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/model_reading.h"
#include "e2e/e2e_case.h"
#include "system/files.h"
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

// The line after a model that could not be opened, in a directory of the
// files `files` (a name ending in '/' is a directory).
TEST(MissingModelHint, NamesTheModelFilesThereAndADirectoryNamedAsTheModel) {
  struct Case {
    std::vector<std::string> files;
    int status;
    std::vector<std::string> directories;  // the -C options
    std::string model;
    std::string hint;
  };
  const Case cases[] = {
      {{"notes.txt", "x.cdb/"},
       29,
       {},
       "",
       " no .cdb file is here; to translate a model, name it: cdb2bem [OPTION]... MODEL"},
      {{"TetBeam.cdb", "notes.txt", "old.cdb.bak"},
       29,
       {},
       "",
       " TetBeam.cdb is here; to translate it: cdb2bem TetBeam.cdb"},
      {{"b.cdb", "a b.cdb", "c.cdb"},
       29,
       {"my models", "x"},
       "",
       " 3 .cdb files are here: a b.cdb, b.cdb and c.cdb; to translate one: cdb2bem -C \"my "
       "models\" -C x \"a b.cdb\""},
      {{"e.cdb", "d.cdb", "c.Cdb", "b.cdb", "A.CDB", "f.cdb"},
       29,
       {},
       "",
       " 6 .cdb files are here: A.CDB, b.cdb, c.Cdb, d.cdb and 2 more; to translate one: cdb2bem "
       "A.CDB"},
      {{"ansys_model.cdb", "b.cdb"},
       29,
       {},
       "",
       " ansys_model.cdb is here; to translate it: cdb2bem [OPTION]... ansys_model.cdb"},
      {{"models/", "models/z.cdb", "models/y.cdb"},
       30,
       {"up"},
       "models",
       " models is a directory, not a model file; to translate y.cdb in it: cdb2bem -C up " +
           JoinPath("models", "y.cdb")},
      {{"models/"},
       30,
       {},
       "models",
       " models is a directory, not a model file, and holds no "
       ".cdb file"},
      // A model named that is missing, or a file that is no directory.
      {{"b.cdb"}, 29, {}, "a.cdb", ""},
      {{"a.cdb"}, 30, {}, "a.cdb", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hint);
    ScopedTempDir temp;
    for (const std::string& file : c.files) {
      if (file.ends_with('/')) {
        fs::create_directories(file);
      } else {
        test_support::WriteFile(file, "");
      }
    }
    CommandLineOptions options;
    options.directories = c.directories;
    options.model = c.model;
    EXPECT_EQ(MissingModelHint(c.status, options), c.hint);
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

namespace {

// The bare errors: on a terminal a line says what is there or why; on a pipe
// standard error holds the diagnostic alone, as it always did.
TEST(RunSummary, BareErrorsExplainedOnATerminalOnly) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "script is not installed (Debian package bsdutils)";
  }
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string diagnostic;  // @DIR@ for the run's directory
    std::string terminal;    // the lines on a terminal after the diagnostic
  };
  const std::string not_found = "runerr: severe (29): file not found, unit 5, file @DIR@/";
  const Case cases[] = {
      {{"-C", "models"},
       29,
       not_found + "models/ANSYS_Model.cdb",
       " 2 .cdb files are here: Beam.cdb and plate.cdb; to translate one: cdb2bem -C models "
       "Beam.cdb\r\r\n"},
      {{"models"},
       30,
       "runerr: severe (30): open failure, unit 5, file @DIR@/models",
       " models is a directory, not a model file; to translate Beam.cdb in it: cdb2bem "
       "models/Beam.cdb\r\r\n"},
      {{"-C", "finish"},
       1,
       " ANSYS cdb file error!",
       " record 3 (FINISH) ends the model before the *ELSE record of its node and element "
       "counts\r\r\ncdb2bem: run 'cdb2bem -C finish --check' to see why and what to do\r\n"},
  };
  ScopedTempDir temp;
  const fs::path work = fs::canonical(temp.path());
  fs::create_directories(work / "models");
  fs::create_directories(work / "finish");
  test_support::WriteFile(work / "models" / "plate.cdb", "");
  test_support::WriteFile(work / "models" / "Beam.cdb", "");
  test_support::WriteFile(work / "finish" / "ANSYS_Model.cdb", "/PREP7\n/NOPR\nFINISH\n*ELSE\n");
  for (const Case& c : cases) {
    std::string args;
    for (const std::string& arg : c.args) args += " " + arg;
    SCOPED_TRACE(args);
    const std::string diagnostic = e2e_case::WithDirectory(c.diagnostic, work);
    const RunResult shown = RunOnATerminal(work, args);
    EXPECT_EQ(shown.status, c.status);
    const std::string with_reason = c.status == 1 ? diagnostic : diagnostic + "\r\r\n";
    EXPECT_EQ(shown.out, with_reason + c.terminal);
    const RunResult piped = RunProgramWith(work, c.args);
    EXPECT_EQ(piped.status, c.status);
    EXPECT_EQ(piped.err, diagnostic + "\r\n");
    EXPECT_EQ(piped.out, "");
  }
}

}  // namespace
