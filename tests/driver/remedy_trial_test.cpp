// The check's remedies as command lines: spelt as the user types them, tried
// on the model before they are proposed, and translating when typed.
#include "driver/remedy_trial.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::RunInDirectory;
using test_support::RunProgramWith;
using test_support::RunResult;
using test_support::ScopedTempDir;
using test_support::ShellQuoted;
using test_support::WriteFile;

TEST(RemedyCommand, RepeatsTheDirectoriesAndTheOperand) {
  const struct {
    const char* name;
    std::string operand;
    std::vector<std::string> directories;
    RebuildOptions reading;
    std::string want;
  } cases[] = {
      {"no operand", "", {}, {ModelMode::kSkin}, "cdb2bem --skin"},
      {"the operand last", "TetBeam.cdb", {}, {ModelMode::kSkin}, "cdb2bem --skin TetBeam.cdb"},
      {"the file as written", "m.cdb", {}, {}, "cdb2bem m.cdb"},
      {"renumbered", "m.cdb", {}, {ModelMode::kRenumbered}, "cdb2bem --renumber m.cdb"},
      {"blanks quoted",
       "my model.cdb",
       {"a b", "c"},
       {ModelMode::kSkin},
       "cdb2bem -C \"a b\" -C c --skin \"my model.cdb\""},
      {"a quote quoted", "it's.cdb", {}, {}, "cdb2bem \"it's.cdb\""},
      // A list without --skin renumbers: the option says it alone.
      {"types left out",
       "m.cdb",
       {"box"},
       RebuildOptions(ModelMode::kAsWritten, ParseLeaveOut("2,5-7").list),
       "cdb2bem -C box --leave-out 2,5-7 m.cdb"},
      {"types left out of the skin",
       "m.cdb",
       {},
       RebuildOptions(ModelMode::kSkin, ParseLeaveOut("3,conta174").list),
       "cdb2bem --skin --leave-out 3,CONTA174 m.cdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunFiles files = RunFilesFor(c.operand);
    files.directories = c.directories;
    EXPECT_EQ(CommandFor(files, ModeOptions(c.reading)), c.want);
  }
}

std::string Line(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// A unit brick of SOLID185 (element 2, nodes 1-8) with a COMBIN14 spring
// from node 2 to node 9 (element 1) and a CONTA174 on its top face
// (element 3), its bottom fixed. Records: 22 to 24 are the elements.
std::string MixedVolumeModel() {
  std::string text =
      "/PREP7\n*ELSE\nNUMOFF,NODE,        9\nNUMOFF,ELEM,        3\n"
      "ET,1,185\nET,2,14\nET,3,174\nNBLOCK,6,SOLID\n(3i9,6e21.13e3)\n";
  const double xyz[9][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1},
                            {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {2, 0, 0}};
  for (int n = 0; n < 9; ++n) {
    text += Line("%9d%9d%9d%21.13E%21.13E%21.13E\n", n + 1, 0, 0, xyz[n][0], xyz[n][1], xyz[n][2]);
  }
  text += "N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID\n(19i9)\n";
  const char* attributes = "%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d";
  text += Line(attributes, 1, 2, 1, 1, 0, 0, 0, 0, 2, 0, 1) + Line("%9d%9d\n", 2, 9);
  text += Line(attributes, 1, 1, 1, 1, 0, 0, 0, 0, 8, 0, 2) +
          Line("%9d%9d%9d%9d%9d%9d%9d%9d\n", 1, 2, 3, 4, 5, 6, 7, 8);
  text += Line(attributes, 1, 3, 1, 1, 0, 0, 0, 0, 4, 0, 3) + Line("%9d%9d%9d%9d\n", 5, 6, 7, 8);
  text += "       -1\n";
  for (int n = 1; n <= 4; ++n) {
    for (const char* label : {"UX", "UY", "UZ"})
      text += Line("D,%7d,%-4s,%16.9E,%16.9E\n", n, label, 0.0, 0.0);
  }
  return text + "FINISH\n";
}

// The command of the remedy, the indented line after "likely remedy: ...:".
std::vector<std::string> RemedyCommands(const std::string& out) {
  std::vector<std::string> commands;
  for (std::size_t at = out.find("\n  cdb2bem "); at != std::string::npos;
       at = out.find("\n  cdb2bem ", at + 1)) {
    commands.push_back(out.substr(at + 3, out.find('\n', at + 1) - at - 3));
  }
  return commands;
}

// Runs a printed command line as typed: the shell splits it, the built
// program stands for "cdb2bem".
RunResult RunTyped(const fs::path& directory, const std::string& command) {
  return RunInDirectory(
      directory, ShellQuoted(CDB2BEM_BINARY) + command.substr(std::string("cdb2bem").size()));
}

TEST(RemedyCommand, MixedVolumeModelGetsOneCommandThatTranslates) {
  const std::string remedy =
      "likely remedy: translate the outer surface of the volume mesh, leaving out the elements "
      "of type 2, COMBIN14 and type 3, CONTA174 (tried on the model, it gets through):\n"
      "  cdb2bem -C box --skin --leave-out 2,3 mixed.cdb\n";
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string stop;
  } cases[] = {
      {"as written",
       {"-C", "box", "--check", "mixed.cdb"},
       "  - the run stopped at element 1 (record 22), of type 2, COMBIN14: a line element, not a "
       "surface element\n"},
      // The skin stops at the spring too, and is not proposed again alone.
      {"--skin",
       {"-C", "box", "--skin", "--check", "mixed.cdb"},
       "  - the run stopped at element 1 (record 22), of type 2, COMBIN14: a line element, not a "
       "volume element, of which --skin makes the skin\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    fs::create_directory(dir.path() / "box");
    WriteFile(dir.path() / "box" / "mixed.cdb", MixedVolumeModel());
    const RunResult check = RunProgramWith(dir.path(), c.args);
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_NE(check.out.find(c.stop), std::string::npos) << check.out;
    EXPECT_NE(check.out.find(remedy), std::string::npos) << check.out;
    ASSERT_EQ(RemedyCommands(check.out).size(), 1u) << check.out;
    // Typed as printed, it translates; checked, it is the brick's skin.
    const RunResult run = RunTyped(dir.path(), RemedyCommands(check.out)[0]);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(dir.path() / "box" / "input.dat"));
    const RunResult skin = RunTyped(dir.path(), RemedyCommands(check.out)[0] + " --check");
    EXPECT_NE(skin.out.find("\nskin faces: 6\ninterior faces: 0\nelement types: 1\n"),
              std::string::npos)
        << skin.out;
  }
}

// A unit square of SHELL181 whose node 2 has rotated axes and a UY
// constraint.
std::string RotatedNodeModel() {
  std::string text =
      "/PREP7\n*ELSE\nNUMOFF,NODE,        4\nNUMOFF,ELEM,        1\nET,1,181\n"
      "NBLOCK,6,SOLID\n(3i9,6e21.13e3)\n";
  const double xyz[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (int n = 0; n < 4; ++n) {
    text += Line("%9d%9d%9d%21.13E%21.13E%21.13E%21.13E\n", n + 1, 0, 0, xyz[n][0], xyz[n][1],
                 xyz[n][2], n == 1 ? 45.0 : 0.0);
  }
  text += "N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID\n(19i9)\n";
  text += Line("%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d", 1, 1, 1, 1, 0, 0, 0, 0, 4, 0, 1) +
          Line("%9d%9d%9d%9d\n", 1, 2, 3, 4) + "       -1\n";
  return text + Line("D,%7d,%-4s,%16.9E,%16.9E\n", 2, "UY", 0.0, 0.0) + "FINISH\n";
}

// What the model is and where the run stopped, whatever stopped it; and no
// remedy that leads to another refusal.
TEST(RemedyCommand, ChecksNameTheModelsKindAndTheStop) {
  const auto e2e = [](const char* name) {
    return test_support::ReadFile(fs::path(CDB2BEM_SOURCE_DIR) / "tests" / "e2e" / name /
                                  "ANSYS_Model.cdb");
  };
  const struct {
    const char* name;
    std::string model;
    std::vector<std::string> lines;
    const char* absent;
    const char* mode = nullptr;
    int status = 1;
  } cases[] = {
      {"a fragment after an early FINISH",
       "/PREP7\nFINISH\n*ELSE\nNUMOFF,NODE,        1\nNUMOFF,ELEM,        0\n"
       "NBLOCK,6,SOLID\n(3i9,6e21.13e3)\n        1        0        0\nN,R5.3,LOC,       -1,\n"
       "FINISH\n",
       {"  - the run stopped at the FINISH of record 2 before the offset header: the run takes it "
        "for the end of the model\n",
        "  - the file is a fragment: it holds no element block (no record begins EBLOCK)\n",
        "likely remedy: nothing in cdb2bem translates a fragment: write the whole meshed model "
        "with CDWRITE (CDWRITE,DB)\n"},
       "delete records"},
      {"a constrained node with rotated axes",
       RotatedNodeModel(),
       {"  - the run stopped at node 2: its axes are rotated, and its UY constraint does not act "
        "along the global axis the solver takes\n",
        "likely remedy: nothing in cdb2bem applies a constraint along rotated axes: in ANSYS, "
        "give node 2 the global axes (NROTAT) before constraining it, or constrain all three of "
        "its directions to zero\n"},
       "none found"},
      // Element 2's corner "4x" in record 24; a D value "0.0025,0.0" with
      // two points in record 32; an SFE element "4x" in record 37.
      {"an element field not an integer",
       e2e("fail_element_syntax"),
       {"  - the run stopped at record 24: a value in it that the reading rules do not read as a "
        "number (diagnostic 59)\n"},
       "  cdb2bem",
       nullptr,
       59},
      {"a D value not a real",
       e2e("fail_constraint_value"),
       {"  - the run stopped at record 32: a value in it that the reading rules do not read as a "
        "number (diagnostic 547)\n"},
       "  cdb2bem",
       "--renumber",
       547},
      // Element 3 in record 25 names node 9 of a model of 4.
      {"a corner beyond the header's nodes",
       e2e("corner_outside_nodes"),
       {"  - the run stopped at element 3 (record 25): its corner node 9 lies outside 1 to the "
        "header's node count\n"},
       "  cdb2bem"},
      {"an SFE element not an integer",
       e2e("fail_pressure_element_text"),
       {"  - the run stopped at record 37: a value in it that the reading rules do not read as a "
        "number (diagnostic 545)\n"},
       "  cdb2bem",
       nullptr,
       545},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFile(dir.path() / "m.cdb", c.model);
    std::vector<std::string> args = {"--check", "m.cdb"};
    if (c.mode != nullptr) args.insert(args.begin(), c.mode);
    const RunResult check = RunProgramWith(dir.path(), args);
    EXPECT_EQ(check.status, c.status % 256) << check.err;  // as a POSIX shell sees it
    for (const std::string& line : c.lines) {
      EXPECT_NE(check.out.find(line), std::string::npos) << line << "\nin\n" << check.out;
    }
    EXPECT_EQ(check.out.find(c.absent), std::string::npos) << check.out;
    EXPECT_TRUE(RemedyCommands(check.out).empty()) << check.out;
  }
}

// At a terminal, the refused run names the check and the remedy with the
// user's directory and operand (quoted: it holds a blank).
TEST(RemedyCommand, TerminalHintsCarryTheOperand) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "script (util-linux) gives the run a terminal; it is not installed";
  }
  ScopedTempDir dir;
  fs::create_directory(dir.path() / "box");
  WriteFile(dir.path() / "box" / "mixed model.cdb", MixedVolumeModel());
  const std::string run = ShellQuoted(CDB2BEM_BINARY) + " -C box 'mixed model.cdb'";
  const RunResult result =
      RunInDirectory(dir.path(), "script -qec " + ShellQuoted(run) + " /dev/null");
  EXPECT_NE(result.out.find("cdb2bem: run 'cdb2bem -C box --check \"mixed model.cdb\"' to see "
                            "why and what to do\r\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("cdb2bem: a volume model: 'cdb2bem -C box --skin --leave-out 2,3 "
                            "\"mixed model.cdb\"' translates its outer surface\r\n"),
            std::string::npos)
      << result.out;
}

// Every refusal of a sample, in every mode: its printed command, typed as
// printed, translates; without one, the check says that nothing in cdb2bem
// translates the model.
TEST(RemedyCommand, SamplesRemediesTranslateWhenTyped) {
  const fs::path samples = test_support::SamplesDirectory();
  for (const char* file : {"ErnoRadiation.cdb", "TetBeam.cdb", "hypermesh.cdb", "mesh200.cdb",
                           "plane182_183.cdb", "sector.cdb"}) {
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{}, {"--skin"}, {"--renumber"}}) {
      SCOPED_TRACE(std::string(file) + (mode.empty() ? "" : " " + mode[0]));
      ScopedTempDir dir;
      fs::create_directory(dir.path() / "models");
      fs::copy_file(samples / file, dir.path() / "models" / file);
      std::vector<std::string> args = {"-C", "models", "--check", file};
      args.insert(args.begin() + 2, mode.begin(), mode.end());
      const RunResult check = RunProgramWith(dir.path(), args);
      if (check.status == 0 || check.status == 3) continue;
      const std::vector<std::string> commands = RemedyCommands(check.out);
      if (commands.empty()) {
        EXPECT_NE(check.out.find("likely remedy: nothing in cdb2bem "), std::string::npos)
            << check.out;
        continue;
      }
      ASSERT_EQ(commands.size(), 1u) << check.out;
      EXPECT_TRUE(commands[0].starts_with("cdb2bem -C models ")) << commands[0];
      EXPECT_TRUE(commands[0].ends_with(std::string(" ") + file)) << commands[0];
      const RunResult run = RunTyped(dir.path(), commands[0]);
      EXPECT_EQ(run.status, 0) << commands[0] << "\n" << run.err;
    }
  }
}

}  // namespace
