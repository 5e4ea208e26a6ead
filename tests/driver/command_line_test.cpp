// The command line, run as a whole process: each case gives the arguments
// and what must come of them (console texts, status, files written), in a
// scratch tree holding a model in model/ (as ANSYS_Model.cdb and as job.cdb),
// another as top.cdb, an empty directory model/empty/ and a plain file afile.
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// The files a case must leave that were not there before, by their names in
// the tree; nothing else may change. An input.plt must be the four-node
// example's.
using Made = std::vector<std::string>;
const Made kNothingWritten = {};
const Made kTranslatedInModel = {"model/input.dat", "model/input.plt"};
const Made kTranslatedInWork = {"input.dat", "input.plt"};

struct Case {
  std::vector<std::string> args;  // "@WORK@" stands for the scratch tree's absolute path
  int status;
  std::string out;  // "@HELP@" / "@VERSION@": the program's usage / version text
  std::string err;  // "@WORK@" stands for the scratch tree's absolute path
  Made made;
};

std::string WithWork(std::string text, const fs::path& work) {
  if (const std::size_t at = text.find("@WORK@"); at != std::string::npos) {
    text.replace(at, 6, work.string());
  }
  return text;
}

// A refused command line: the reason, the hint, status 2, nothing written.
Case Refused(std::vector<std::string> args, const char* reason) {
  std::string err = "cdb2bem: ";
  err.append(reason).append("\n").append(kTry);
  return {std::move(args), 2, "", err, kNothingWritten};
}

class CommandLineRun : public testing::Test {
 protected:
  void SetUp() override {
    work_ = fs::canonical(temp_.path()) / "work";
    fs::create_directories(work_ / "model" / "empty");
    fs::copy_file(kFourNodeCase / "ANSYS_Model.cdb", work_ / "model" / "ANSYS_Model.cdb");
    fs::copy_file(kFourNodeCase / "ANSYS_Model.cdb", work_ / "model" / "job.cdb");
    fs::copy_file(kFourNodeCase / "ANSYS_Model.cdb", work_ / "top.cdb");
    WriteFile(work_ / "afile", "not a directory\n");
  }

  void Check(const Case& c) {
    std::string shown = "cdb2bem";
    for (const std::string& arg : c.args) shown.append(" [").append(arg).append("]");
    SCOPED_TRACE(shown);
    const std::map<std::string, std::string> before = Snapshot(work_);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(WithWork(arg, work_));
    const RunResult result = RunProgramWith(work_, args);
    EXPECT_EQ(result.status, c.status);
    std::string out = c.out == "@HELP@" ? HelpText() : c.out;
    if (c.out == "@VERSION@") out = VersionText(CDB2BEM_VERSION);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, WithWork(c.err, work_));

    std::map<std::string, std::string> after = Snapshot(work_);
    for (const std::string& name : c.made) {
      EXPECT_EQ(before.count(name), 0u) << name;
      ASSERT_EQ(after.count(name), 1u) << name << " not written";
      if (name.ends_with("input.plt")) {
        EXPECT_EQ(after[name], ReadFile(kFourNodeCase / "input.plt"));
      }
      after.erase(name);
      fs::remove(work_ / name);  // the next case starts without it
    }
    EXPECT_EQ(after, before) << "files other than those made changed";
  }

  ScopedTempDir temp_;
  fs::path work_;
};

TEST_F(CommandLineRun, DirectoryOptionRunsTheTranslationThere) {
  const Case cases[] = {
      {{"-C", "model"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"-Cmodel"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"--directory=model"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"--directory", "model"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"--dir=model"}, 0, kClosingLine, "", kTranslatedInModel},
      // The number of threads changes nothing that is written.
      {{"-C", "model", "-j", "1"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"-C", "model", "-j3"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"--jobs=256", "-C", "model"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"--jobs", "2", "--jobs", "1", "-Cmodel"}, 0, kClosingLine, "", kTranslatedInModel},
      // Each -C is taken relative to the one before, as with make -C.
      {{"-C", "model/empty", "-C", ".."}, 0, kClosingLine, "", kTranslatedInModel},
      {{"--"},
       29,
       "",
       "runerr: severe (29): file not found, unit 5, file @WORK@/ANSYS_Model.cdb\r\n",
       kNothingWritten},
      // Diagnostics name the files of the directory changed to.
      {{"-C", "model/empty"},
       29,
       "",
       "runerr: severe (29): file not found, unit 5, file @WORK@/model/empty/ANSYS_Model.cdb\r\n",
       kNothingWritten},
      {{"-C", "missing"},
       2,
       "",
       "cdb2bem: cannot change to directory 'missing': No such file or directory\n",
       kNothingWritten},
      {{"--directory=afile"},
       2,
       "",
       "cdb2bem: cannot change to directory 'afile': Not a directory\n",
       kNothingWritten},
      {{"-C", "model", "-C", "missing"},
       2,
       "",
       "cdb2bem: cannot change to directory 'missing': No such file or directory\n",
       kNothingWritten},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(CommandLineRun, HelpAndVersionPrintAndDoNothingElse) {
  const Case cases[] = {
      {{"--help"}, 0, "@HELP@", "", kNothingWritten},
      {{"--he"}, 0, "@HELP@", "", kNothingWritten},
      {{"-C", "model", "--help"}, 0, "@HELP@", "", kNothingWritten},
      {{"--version"}, 0, "@VERSION@", "", kNothingWritten},
      {{"--version", "-C", "missing"}, 0, "@VERSION@", "", kNothingWritten},
      {{"--help", "--version"}, 0, "@HELP@", "", kNothingWritten},
      {{"-h"}, 0, "@HELP@", "", kNothingWritten},
      {{"-h", "model/job.cdb"}, 0, "@HELP@", "", kNothingWritten},
  };
  for (const Case& c : cases) Check(c);
}

// The operand MODEL: read where it is named, the outputs written beside it,
// diagnostics naming it as it was opened.
TEST_F(CommandLineRun, ModelOperandIsReadAndTheOutputsGoBesideIt) {
  const Made pair_and_vtu = {"model/input.dat", "model/input.plt", "model/m.vtu"};
  auto refused_vtu = [&](const char* name) {
    return "cdb2bem: --vtu '" + std::string(name) +
           "': the name does not end in .vtu; the file would be replaced\n"
           "Try 'cdb2bem --help' for more information.\n";
  };
  const Case cases[] = {
      // Absent: ANSYS_Model.cdb of the working directory, as always.
      {{"-C", "model"}, 0, kClosingLine, "", kTranslatedInModel},
      // In the working directory, under any name.
      {{"top.cdb"}, 0, kClosingLine, "", kTranslatedInWork},
      {{"./top.cdb", "-j", "2"}, 0, kClosingLine, "", kTranslatedInWork},
      // In another directory: the outputs go there, not to the working directory.
      {{"model/job.cdb"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"@WORK@/model/job.cdb"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"-C", "model/empty", "../job.cdb"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"--", "model/job.cdb"}, 0, kClosingLine, "", kTranslatedInModel},
      // With -C: taken in DIR.
      {{"-C", "model", "job.cdb"}, 0, kClosingLine, "", kTranslatedInModel},
      {{"job.cdb", "--directory=model"}, 0, kClosingLine, "", kTranslatedInModel},
      // A relative .vtu goes beside the model too; a name that does not end
      // in .vtu (the model's, the pair's) is refused.
      {{"--vtu", "m.vtu", "model/job.cdb"}, 0, kClosingLine, "", pair_and_vtu},
      {{"--vtu", "job.cdb", "model/job.cdb"}, 2, "", refused_vtu("job.cdb"), kNothingWritten},
      {{"--vtu", "input.plt", "model/job.cdb"}, 2, "", refused_vtu("input.plt"), kNothingWritten},
      {{"--vtu", "@WORK@/model/input.dat", "model/job.cdb"},
       2,
       "",
       refused_vtu("@WORK@/model/input.dat"),
       kNothingWritten},
      // The .vtu's folder is missing: refused before anything is written,
      // the pair included (all outputs or none).
      {{"--vtu", "nodir/m.vtu", "model/job.cdb"},
       30,
       "",
       "runerr: severe (30): open failure, unit 9, file @WORK@/model/nodir/m.vtu\r\n",
       kNothingWritten},
      // A directory, a missing file, a missing folder: nothing written.
      {{"model/empty"},
       30,
       "",
       "runerr: severe (30): open failure, unit 5, file @WORK@/model/empty\r\n",
       kNothingWritten},
      {{"model/missing.cdb"},
       29,
       "",
       "runerr: severe (29): file not found, unit 5, file @WORK@/model/missing.cdb\r\n",
       kNothingWritten},
      {{"nodir/job.cdb"},
       29,
       "",
       "runerr: severe (29): file not found, unit 5, file @WORK@/nodir/job.cdb\r\n",
       kNothingWritten},
      {{"afile/job.cdb"},
       29,
       "",
       "runerr: severe (29): file not found, unit 5, file @WORK@/afile/job.cdb\r\n",
       kNothingWritten},
      {{"--check", "model/missing.cdb"},
       29,
       "refused: the model file model/missing.cdb cannot be opened in the working directory; no "
       "second look is possible\n",
       "runerr: severe (29): file not found, unit 5, file @WORK@/model/missing.cdb\r\n",
       kNothingWritten},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(CommandLineRun, RefusedCommandLinesReadAndWriteNothing) {
  const Case cases[] = {
      Refused({"--foo"}, "unrecognized option '--foo'"),
      Refused({"--foo=bar"}, "unrecognized option '--foo=bar'"),
      Refused({"-x"}, "invalid option -- 'x'"),
      Refused({"x", "y"}, "unexpected argument 'y': one model file at most"),
      Refused({"-C", "model", "job.cdb", "ANSYS_Model.cdb"},
              "unexpected argument 'ANSYS_Model.cdb': one model file at most"),
      Refused({"--", "-", "--help"}, "unexpected argument '--help': one model file at most"),
      Refused({""}, "the model file's name is empty"),
      Refused({"-C", "model", ""}, "the model file's name is empty"),
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
          "option '--=x' is ambiguous; possibilities: '--directory' '--check' '--skin' '--renumber' '--leave-out' '--vtu' '--material' '--jobs' '--help' '--version'"),
      Refused({"-hx"}, "invalid option -- 'x'"),
      // A refusal wins over --help and --version wherever it stands.
      Refused({"--help", "--foo"}, "unrecognized option '--foo'"),
      Refused({"--version", "x", "y"}, "unexpected argument 'y': one model file at most"),
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
  EXPECT_TRUE(help.starts_with("Usage: cdb2bem [OPTION]... [MODEL]\n")) << help;
  for (const char* part :
       {"\n  -C, --directory=DIR  ", "\n  -j, --jobs=N         ", "\n  -h, --help   ",
        "\n      --version   ", "ANSYS_Model.cdb", "input.dat", "input.plt",
        "Exit status:", "\nFull documentation: man cdb2bem\n"}) {
    EXPECT_NE(help.find(part), std::string::npos) << "missing [" << part << "] in\n" << help;
  }
  for (std::size_t start = 0, end; (end = help.find('\n', start)) != std::string::npos;
       start = end + 1) {
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
  }
}

TEST(CommandLineTexts, VersionIsTheProjectVersionInTheGnuForm) {
  const std::string version = CDB2BEM_VERSION;
  const std::string text = VersionText(version);
  ASSERT_TRUE(text.starts_with("cdb2bem " + version + "\n")) << text;
  EXPECT_EQ(text.substr(version.size() + 9),
            "Copyright (C) 2026 the cdb2bem authors.\n"
            "License MIT: <https://opensource.org/license/mit>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n");
  // The licence it names is the one of the source tree and of the package.
  const std::string licence = ReadFile(fs::path(CDB2BEM_SOURCE_DIR) / "LICENSE");
  EXPECT_TRUE(licence.starts_with("MIT License\n\nCopyright (c) 2026 the cdb2bem authors\n"))
      << licence;
  const std::string copyright = ReadFile(fs::path(CDB2BEM_SOURCE_DIR) / "doc" / "copyright");
  EXPECT_NE(copyright.find("\nCopyright: 2026 the cdb2bem authors\nLicense: Expat\n"),
            std::string::npos)
      << copyright;
}

}  // namespace
