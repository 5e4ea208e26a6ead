// The command line, run as a whole process: each case gives the arguments
// and what must come of them (console texts, status, files written), in a
// scratch tree holding a model in model/, an empty directory model/empty/
// and a plain file afile.
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::RunProgramWith;
using test_support::RunResult;
using test_support::ScopedTempDir;
using test_support::WriteFile;

const fs::path kFourNodeCase = fs::path(CDB2BEM_SOURCE_DIR) / "tests" / "e2e" / "four_node_example";
constexpr const char* kClosingLine = "  Data Translation from ANSYS to BEM is done!\r\n";
constexpr const char* kTry = "Try 'cdb2bem --help' for more information.\n";

// Every file of the tree under `root` with its content.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    files[name] = entry.is_regular_file() ? ReadFile(entry.path()) : "(directory)";
  }
  return files;
}

enum class Outcome { kNothingWritten, kTranslatedInModel };

struct Case {
  std::vector<std::string> args;
  int status;
  std::string out;  // "@HELP@" / "@VERSION@": the program's usage / version text
  std::string err;  // "@WORK@" stands for the scratch tree's absolute path
  Outcome outcome;
};

// A refused command line: the reason, the hint, status 2, nothing written.
Case Refused(std::vector<std::string> args, const char* reason) {
  std::string err = "cdb2bem: ";
  err.append(reason).append("\n").append(kTry);
  return {std::move(args), 2, "", err, Outcome::kNothingWritten};
}

class CommandLineRun : public testing::Test {
 protected:
  void SetUp() override {
    work_ = fs::canonical(temp_.path()) / "work";
    fs::create_directories(work_ / "model" / "empty");
    fs::copy_file(kFourNodeCase / "ANSYS_Model.cdb", work_ / "model" / "ANSYS_Model.cdb");
    WriteFile(work_ / "afile", "not a directory\n");
  }

  void Check(const Case& c) {
    std::string shown = "cdb2bem";
    for (const std::string& arg : c.args) shown.append(" [").append(arg).append("]");
    SCOPED_TRACE(shown);
    fs::remove(work_ / "model" / "input.dat");  // left by an earlier case
    fs::remove(work_ / "model" / "input.plt");
    const std::map<std::string, std::string> before = Snapshot(work_);
    const RunResult result = RunProgramWith(work_, c.args);
    EXPECT_EQ(result.status, c.status);
    std::string out = c.out == "@HELP@" ? HelpText() : c.out;
    if (c.out == "@VERSION@") out = VersionText(CDB2BEM_VERSION);
    EXPECT_EQ(result.out, out);
    std::string err = c.err;
    if (const std::size_t at = err.find("@WORK@"); at != std::string::npos) {
      err.replace(at, 6, work_.string());
    }
    EXPECT_EQ(result.err, err);

    std::map<std::string, std::string> after = Snapshot(work_);
    if (c.outcome == Outcome::kTranslatedInModel) {
      ASSERT_EQ(after.count("model/input.dat"), 1u);
      ASSERT_EQ(after.count("model/input.plt"), 1u);
      EXPECT_EQ(after["model/input.plt"], ReadFile(kFourNodeCase / "input.plt"));
      after.erase("model/input.dat");
      after.erase("model/input.plt");
    }
    EXPECT_EQ(after, before) << "files other than the outputs in model/ changed";
  }

  ScopedTempDir temp_;
  fs::path work_;
};

TEST_F(CommandLineRun, DirectoryOptionRunsTheTranslationThere) {
  const Case cases[] = {
      {{"-C", "model"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"-Cmodel"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"--directory=model"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"--directory", "model"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"--dir=model"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      // The number of threads changes nothing that is written.
      {{"-C", "model", "-j", "1"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"-C", "model", "-j3"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"--jobs=256", "-C", "model"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"--jobs", "2", "--jobs", "1", "-Cmodel"}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      // Each -C is taken relative to the one before, as with make -C.
      {{"-C", "model/empty", "-C", ".."}, 0, kClosingLine, "", Outcome::kTranslatedInModel},
      {{"--"},
       29,
       "",
       "runerr: severe (29): file not found, unit 5, file @WORK@/ANSYS_Model.cdb\r\n",
       Outcome::kNothingWritten},
      // Diagnostics name the files of the directory changed to.
      {{"-C", "model/empty"},
       29,
       "",
       "runerr: severe (29): file not found, unit 5, file @WORK@/model/empty/ANSYS_Model.cdb\r\n",
       Outcome::kNothingWritten},
      {{"-C", "missing"},
       2,
       "",
       "cdb2bem: cannot change to directory 'missing': No such file or directory\n",
       Outcome::kNothingWritten},
      {{"--directory=afile"},
       2,
       "",
       "cdb2bem: cannot change to directory 'afile': Not a directory\n",
       Outcome::kNothingWritten},
      {{"-C", "model", "-C", "missing"},
       2,
       "",
       "cdb2bem: cannot change to directory 'missing': No such file or directory\n",
       Outcome::kNothingWritten},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(CommandLineRun, HelpAndVersionPrintAndDoNothingElse) {
  const Case cases[] = {
      {{"--help"}, 0, "@HELP@", "", Outcome::kNothingWritten},
      {{"--he"}, 0, "@HELP@", "", Outcome::kNothingWritten},
      {{"-C", "model", "--help"}, 0, "@HELP@", "", Outcome::kNothingWritten},
      {{"--version"}, 0, "@VERSION@", "", Outcome::kNothingWritten},
      {{"--version", "-C", "missing"}, 0, "@VERSION@", "", Outcome::kNothingWritten},
      {{"--help", "--version"}, 0, "@HELP@", "", Outcome::kNothingWritten},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(CommandLineRun, RefusedCommandLinesReadAndWriteNothing) {
  const Case cases[] = {
      Refused({"--foo"}, "unrecognized option '--foo'"),
      Refused({"--foo=bar"}, "unrecognized option '--foo=bar'"),
      Refused({"-x"}, "invalid option -- 'x'"),
      Refused({"x"}, "unexpected argument 'x'"),
      Refused({"-"}, "unexpected argument '-'"),
      Refused({"--", "--help"}, "unexpected argument '--help'"),
      Refused({"-C", "model", "ANSYS_Model.cdb"}, "unexpected argument 'ANSYS_Model.cdb'"),
      Refused({"-C"}, "option requires an argument -- 'C'"),
      Refused({"--directory"}, "option '--directory' requires an argument"),
      Refused({"--help=yes"}, "option '--help' doesn't allow an argument"),
      Refused({"--vtu="}, "option '--vtu' requires a file name"),
      Refused({"--check", "--vtu", "m.vtu"}, "--check writes no file; it does not go with --vtu"),
      // Threads from 1 to 256, in plain decimal digits.
      Refused({"-j", "0"}, "invalid argument '0' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"-j-1"}, "invalid argument '-1' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"--jobs=257"},
              "invalid argument '257' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"--jobs=99999999999"},
              "invalid argument '99999999999' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"-j", "+2"}, "invalid argument '+2' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"-j", "2x"}, "invalid argument '2x' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"-j", " 2"}, "invalid argument ' 2' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"--jobs="}, "invalid argument '' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"-j", "two", "-C", "model"},
              "invalid argument 'two' for '--jobs': a number from 1 to 256 is needed"),
      Refused({"-j"}, "option requires an argument -- 'j'"),
      // An empty name fits every option.
      Refused(
          {"--=x"},
          "option '--=x' is ambiguous; possibilities: '--directory' '--check' '--skin' '--renumber' '--vtu' '--jobs' '--help' '--version'"),
      // A refusal wins over --help and --version wherever it stands.
      Refused({"--help", "--foo"}, "unrecognized option '--foo'"),
      Refused({"--version", "x"}, "unexpected argument 'x'"),
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(CommandLineRun, HelpWrittenToAFullDeviceIsAFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  const RunResult result = RunProgramWith(work_, {"--help"}, "/dev/full");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "cdb2bem: cannot write to standard output: No space left on device\n");
}

TEST(CommandLineTexts, HelpNamesEveryOptionTheFilesAndTheManualWithinEightyColumns) {
  const std::string help = HelpText();
  EXPECT_TRUE(help.starts_with("Usage: cdb2bem [OPTION]...\n")) << help;
  for (const char* part :
       {"\n  -C, --directory=DIR  ", "\n  -j, --jobs=N         ", "\n      --help   ",
        "\n      --version   ", "ANSYS_Model.cdb", "input.dat", "input.plt",
        "Exit status:", "\nFull documentation: man cdb2bem\n"}) {
    EXPECT_NE(help.find(part), std::string::npos) << "missing [" << part << "] in\n" << help;
  }
  for (std::size_t start = 0, end; (end = help.find('\n', start)) != std::string::npos;
       start = end + 1) {
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
  }
}

TEST(CommandLineTexts, VersionIsTheProjectVersionAndOneLineOfDescription) {
  const std::string version = CDB2BEM_VERSION;
  // X.Y.Z, each a decimal number.
  int dots = 0;
  for (char c : version) dots += c == '.';
  EXPECT_EQ(dots, 2) << version;
  EXPECT_EQ(version.find_first_not_of("0123456789."), std::string::npos) << version;
  const std::string text = VersionText(version);
  ASSERT_TRUE(text.starts_with("cdb2bem " + version + "\n")) << text;
  const std::string description = text.substr(version.size() + 9);
  EXPECT_FALSE(description.empty());
  EXPECT_EQ(description.find('\n'), description.size() - 1) << text;
}

}  // namespace
