// Faults from the system and from damaged model files, each a whole run of the
// built program in a fresh directory: the exact diagnostic line (CR LF ended),
// the exit status as the shell sees it (the low 8 bits), and output files of
// an earlier run left byte for byte as they were.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::ScopedTempDir;
using test_support::WriteFile;

// A complete model: four nodes, four three-node elements, a constraint and a
// pressure. Its pieces, some cut short, make the damaged models below.
const std::string kHeader = "/PREP7\n*ELSE\nNUMOFF,NODE,        4\nNUMOFF,ELEM,        4\n";
const std::string kNodeRecords =
    "       1       0       0 0.000000000E+00 0.000000000E+00 0.000000000E+00\n"
    "       2       0       0 1.000000000E+00 0.000000000E+00 0.000000000E+00\n"
    "       3       0       0 0.000000000E+00 1.000000000E+00 0.000000000E+00\n"
    "       4       0       0 0.000000000E+00 0.000000000E+00 1.000000000E+00\n";
const std::string kNodes = "NBLOCK,6,SOLID,4\n(3i8,6e16.9)\n" + kNodeRecords;
const std::string kElements =  // free-form records: attributes, number, I, J, K, L
    "N,R5.3,LOC,     -1,\nEBLOCK,19,SOLID,4\n(19i8)\n"
    "1 1 1 1 0 0 0 0 3 0 1 1 3 2 2\n1 1 1 1 0 0 0 0 3 0 2 1 2 4 4\n"
    "1 1 1 1 0 0 0 0 3 0 3 1 4 3 3\n1 1 1 1 0 0 0 0 3 0 4 2 3 4 4\n";
const std::string kConstraint = "D,      1,UX  , 0.250000000E-02, 0.000000000E+00\n";
const std::string kPressure = "SFE,        4,   1,PRES, 0,R5.0\n  1.0  1.0  1.0  1.0\n";
const std::string kFinish = "FINISH\n";
const std::string kComponents =
    "CMBLOCK,FIELDCELLS,ELEM,       1\n(8i10)\n         5        -5\n"
    "CMBLOCK,FIELDPOINTS,NODE,       1\n(8i10)\n         5        -5\n";
const std::string kModel =
    kHeader + kNodes + kElements + "      -1\n" + kConstraint + kPressure + "/GO\n/COM\n" + kFinish;

// An offset header and the end of the model, nothing between.
std::string CountsOnly(const std::string& nodes, const std::string& elements) {
  return "*ELSE\nNUMOFF,NODE," + nodes + "\nNUMOFF,ELEM," + elements + "\nFINISH\n";
}

// The first `count` lines of `text`.
std::string Lines(const std::string& text, int count) {
  std::size_t end = 0;
  for (int i = 0; i < count; ++i) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

const std::map<int, std::string> kTexts = {
    {9, "permission to access file denied"},
    {24, "end-of-file during read"},
    {29, "file not found"},
    {30, "open failure"},
    {38, "error during write"},
    {43, "file name specification error"},
    {59, "list-directed I/O syntax error"},
    {64, "input conversion error"},
    {545, "invalid INTEGER"},
    {547, "invalid REAL"},
    {41, "insufficient virtual memory"},
    {179, "Cannot allocate array - overflow on array size calculation."}};

// The diagnostic line; diagnostics 41, 179, 545 and 547 name no file.
std::string Diagnostic(int number, int unit = 0, const fs::path& file = {}) {
  std::string line = "runerr: severe (" + std::to_string(number) + "): " + kTexts.at(number);
  if (unit != 0) line += ", unit " + std::to_string(unit) + ", file " + file.string();
  return line + "\r\n";
}

const char* const kOutputs[] = {"input.dat", "input.plt"};

void WriteEarlierOutputs(const fs::path& dir) {
  for (const char* name : kOutputs)
    WriteFile(dir / name, std::string(name) + " of an earlier run\r\n");
}

// The outputs that are regular files, with their content.
std::map<std::string, std::string> RegularOutputs(const fs::path& dir) {
  std::map<std::string, std::string> found;
  for (const char* name : kOutputs) {
    if (fs::is_regular_file(fs::symlink_status(dir / name))) found[name] = ReadFile(dir / name);
  }
  return found;
}

// The complete model first, so that each damaged one fails for its damage only.
TEST(SystemFaults, CompleteModelTranslates) {
  ScopedTempDir dir;
  WriteFile(dir.path() / "ANSYS_Model.cdb", kModel);
  const RunResult run = RunProgram(dir.path());
  // A closed tetrahedron whose node 1 alone is constrained, in x.
  EXPECT_EQ(run.err,
            " Warning: 1 constrained node reaches no triangle: a triangle takes a displacement "
            "only where all three corners are constrained in its direction; constrain whole "
            "faces\r\n");
  EXPECT_EQ(run.out, "  Data Translation from ANSYS to BEM is done!\r\n");
  EXPECT_EQ(run.status, 0);
}

enum class Setup { kPlain, kNoFiles, kDirectory, kFullDevice, kUnreadable };

struct FaultCase {
  const char* name;
  std::string model;
  int number;
  int unit = 5;                          // 0 for the diagnostics that name no file
  const char* file = "ANSYS_Model.cdb";  // the file named, and the one `setup` acts on
  Setup setup = Setup::kPlain;           // besides the model and the earlier outputs
};

void CheckFault(const FaultCase& fault, std::string_view runner = {}) {
  SCOPED_TRACE(fault.name);
  ScopedTempDir dir;
  const fs::path target = dir.path() / fault.file;
  if (fault.setup != Setup::kNoFiles) {
    WriteFile(dir.path() / "ANSYS_Model.cdb", fault.model);
    WriteEarlierOutputs(dir.path());
  }
  if (fault.setup == Setup::kDirectory || fault.setup == Setup::kFullDevice) fs::remove(target);
  if (fault.setup == Setup::kDirectory) fs::create_directory(target);
  if (fault.setup == Setup::kFullDevice) fs::create_symlink("/dev/full", target);
  if (fault.setup == Setup::kUnreadable) {
    fs::permissions(target, fs::perms::none);
    fs::permissions(dir.path(), fs::perms::all);  // another user may work in it
  }
  const std::map<std::string, std::string> before = RegularOutputs(dir.path());
  const RunResult run =
      runner.empty()
          ? RunProgram(dir.path())
          : test_support::RunInDirectory(
                dir.path(), std::string(runner) + " " +
                                test_support::ShellQuoted(test_support::ProgramAnyoneCanRun()));
  EXPECT_EQ(run.err, Diagnostic(fault.number, fault.unit, fs::canonical(dir.path()) / fault.file));
  EXPECT_EQ(run.status, fault.number & 255);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(RegularOutputs(dir.path()), before);  // none when there were none
  // The link to the device is left as it was, not replaced by a file.
  if (fault.setup == Setup::kFullDevice) {
    EXPECT_EQ(fs::read_symlink(target), "/dev/full");
  }
}

const FaultCase kFaultCases[] = {
    {"model missing", "", 29, 5, "ANSYS_Model.cdb", Setup::kNoFiles},
    {"model is a directory", kModel, 30, 5, "ANSYS_Model.cdb", Setup::kDirectory},
    {"input.dat is a directory", kModel, 30, 6, "input.dat", Setup::kDirectory},
    {"input.plt is a directory", kModel, 30, 8, "input.plt", Setup::kDirectory},
    // The model file ends inside each kind of read.
    {"size scan, before the offset header", "/PREP7\nNUMOFF,NODE,        4\n", 24},
    {"size scan, in the offset records", "/PREP7\n*ELSE\nNUMOFF,NODE,        4\n", 24},
    {"size scan, looking for the components", kHeader + kNodes + kElements, 24},
    {"load scan, no FINI after the components", kHeader + kComponents + kNodes, 24},
    {"node block", kHeader + kFinish + Lines(kNodes, 4), 24},
    {"element block", kHeader + kFinish + kNodes + Lines(kElements, 5), 24},
    {"constraints, no FI after the elements", kHeader + kConstraint + kFinish + kNodes + kElements,
     24},
    {"pressure pass, FINISH as the row of the second value set",
     kHeader + kNodes + kElements + kPressure + "SFE,        4,   1,PRES, 2,R5.0\n" + kFinish, 24},
    // A table of more than 4294967295 bytes is refused before it is allocated:
    // at 3 x 8 bytes a node and 3 x 8 x 2 an element (the triangle values),
    // 178956970 nodes and 89478485 elements are the most that fit.
    {"89478486 elements", CountsOnly("        4", " 89478486"), 179, 0},
    {"999999999 elements", CountsOnly("        4", "999999999"), 179, 0},
    {"178956971 nodes", CountsOnly("178956971", "        1"), 179, 0},
    // Conversion failures.
    {"offset record integer field", Replaced(kModel, "NODE,        4", "NODE,      4.0"), 64},
    {"element record value", Replaced(kModel, "2 3 4 4\n", "2 3 4 4a\n"), 59},
    {"constraint node text", Replaced(kModel, "D,      1,", "D,    1x1,"), 545, 0},
    {"constraint value text", Replaced(kModel, "0.250000000E-02,", "0.0025,0.0      "), 547, 0},
};

TEST(SystemFaults, EachFaultEndsWithItsDiagnosticAndKeepsEarlierOutputs) {
  for (const FaultCase& fault : kFaultCases) CheckFault(fault);
}

TEST(SystemFaults, WriteToAFullDevice) {
  if (!fs::is_character_file("/dev/full")) {
    GTEST_SKIP() << "this host has no /dev/full device, which fails every write";
  }
  // The failed write ends the run before input.plt is begun.
  CheckFault({"input.dat is /dev/full", kModel, 38, 6, "input.dat", Setup::kFullDevice});
}

TEST(SystemFaults, UnreadableModel) {
  // Root may read a file whatever its mode, so root runs the program as
  // nobody, a copy of it that nobody may reach.
  std::string_view runner;
  if (::geteuid() == 0) {
    runner = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    const std::string probe = std::string(runner) + " test -x " +
                              test_support::ShellQuoted(test_support::ProgramAnyoneCanRun()) +
                              " 2>/dev/null";
    if (std::system(probe.c_str()) != 0) {
      GTEST_SKIP() << "run as root, the test runs the program as user nobody (setpriv "
                      "--reuid=65534), and setpriv cannot switch users here";
    }
  }
  CheckFault({"model unreadable", kModel, 9, 5, "ANSYS_Model.cdb", Setup::kUnreadable}, runner);
}

// A model path of 256 characters is read (its end of file names it); one of
// 257 or more is refused at the open.
TEST(SystemFaults, ModelPathLongerThan256Characters) {
  ScopedTempDir dir;
  for (std::size_t length : {std::size_t{256}, std::size_t{257}, std::size_t{400}}) {
    SCOPED_TRACE(length);
    fs::path deep = fs::canonical(dir.path()) / std::to_string(length);
    // Nested directories of at most 100 characters fill the path to `length`.
    std::size_t left = length - deep.string().size() - std::string_view("/ANSYS_Model.cdb").size();
    while (left > 0) {
      std::size_t part = std::min<std::size_t>(left, 101);
      if (left - part == 1) --part;  // no name may be empty
      deep /= std::string(part - 1, 'd');
      left -= part;
    }
    fs::create_directories(deep);
    WriteFile(deep / "ANSYS_Model.cdb", "/PREP7\n");
    WriteEarlierOutputs(deep);
    const std::map<std::string, std::string> before = RegularOutputs(deep);
    const fs::path model = deep / "ANSYS_Model.cdb";
    ASSERT_EQ(model.string().size(), length);
    const RunResult run = RunProgram(deep);
    EXPECT_EQ(run.err, Diagnostic(length <= 256 ? 24 : 43, 5, model));
    EXPECT_EQ(run.status, length <= 256 ? 24 : 43);
    EXPECT_EQ(RegularOutputs(deep), before);
  }
}

// Runs the program in `dir` as a child of its own; wait4 gives that one
// child's peak resident memory, in kilobytes.
RunResult RunMeasured(const fs::path& dir, long& peak_kilobytes) {
  const std::string err_path = (dir / ".stderr").string();
  const pid_t child = ::fork();
  if (child == 0) {
    int null_fd = ::open("/dev/null", O_WRONLY);
    int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::chdir(dir.c_str()) != 0 || null_fd < 0 || err_fd < 0) ::_exit(127);
    ::dup2(null_fd, STDOUT_FILENO);
    ::dup2(err_fd, STDERR_FILENO);
    ::execl(CDB2BEM_BINARY, CDB2BEM_BINARY, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  RunResult run;
  int raw = 0;
  struct rusage usage {};
  if (child < 0 || ::wait4(child, &raw, 0, &usage) != child) return run;
  peak_kilobytes = usage.ru_maxrss;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = ReadFile(err_path);
  return run;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizer marks the shadow of each big block (an eighth of its size)
// for a moment; the program itself touches none of it.
constexpr long kPeakLimitKilobytes = 1024 * 1024;
#else
constexpr long kPeakLimitKilobytes = 64 * 1024;
#endif

// About 1 KB claiming 150 million nodes: two node tables of 3.6 GB each are
// allocated, and the file ends after twelve node records.
TEST(HostileHeaders, ClaimedNodesCostNoMemoryBeforeTheFileEnds) {
  ScopedTempDir dir;
  std::string model = CountsOnly("150000000", "        1") + "(3i8,6e16.9)\n";
  for (int i = 0; i < 3; ++i) model += kNodeRecords;
  ASSERT_LT(model.size(), std::size_t{1100});
  WriteFile(dir.path() / "ANSYS_Model.cdb", model);
  long peak_kilobytes = 0;
  const RunResult run = RunMeasured(dir.path(), peak_kilobytes);
  EXPECT_EQ(run.err, Diagnostic(24, 5, fs::canonical(dir.path()) / "ANSYS_Model.cdb"));
  EXPECT_EQ(run.status, 24);
  EXPECT_LT(peak_kilobytes, kPeakLimitKilobytes);
}

// The headers that claim the most a table may hold: two node tables of
// 4294967280 bytes, or an element table of 4294967280 bytes and three of
// half that. The run allocates them untouched, and the file then ends before
// its node block (24), or it cannot have them (41).
const std::pair<const char*, const char*> kLargestCounts[] = {{"        4", " 89478485"},
                                                              {"178956970", "        1"}};

// Which of 24 and 41 this host gives, and why: 0 when it cannot be told.
// Under the kernel's heuristic overcommit (vm.overcommit_memory 0) an
// allocation is refused only when it alone exceeds memory and swap together;
// under 1 none is refused; under 2 the answer depends on what else the
// machine holds at the moment.
int LargestTablesStatusOfThisHost(std::string& why) {
  std::ifstream policy_file("/proc/sys/vm/overcommit_memory");
  int policy = -1;
  policy_file >> policy;
  why = "vm.overcommit_memory " + std::to_string(policy);
  if (policy == 1) return 24;
  if (policy != 0) return 0;
  std::ifstream meminfo("/proc/meminfo");
  std::int64_t memory_and_swap_kilobytes = 0;
  std::string key, unit;
  for (std::int64_t kilobytes = 0; meminfo >> key >> kilobytes >> unit;) {
    if (key == "MemTotal:" || key == "SwapTotal:") memory_and_swap_kilobytes += kilobytes;
  }
  why += ", memory and swap " + std::to_string(memory_and_swap_kilobytes) + " kB";
  return memory_and_swap_kilobytes * 1024 >= std::int64_t{4294967280} ? 24 : 41;
}

TEST(HostileHeaders, LargestTablesAreAllocated) {
  std::string why;
  const int expected = LargestTablesStatusOfThisHost(why);
  if (expected == 0) GTEST_SKIP() << "strict overcommit (" << why << "): no status to expect";
  SCOPED_TRACE(why);
  for (const auto& [nodes, elements] : kLargestCounts) {
    SCOPED_TRACE(std::string(nodes) + " nodes, " + elements + " elements");
    ScopedTempDir dir;
    WriteFile(dir.path() / "ANSYS_Model.cdb", CountsOnly(nodes, elements));
    const RunResult run = RunProgram(dir.path());
    EXPECT_EQ(run.status, expected);
    EXPECT_EQ(run.err, expected == 24
                           ? Diagnostic(24, 5, fs::canonical(dir.path()) / "ANSYS_Model.cdb")
                           : Diagnostic(41));
  }
}

// With its address space held to 1 GB, the same run cannot have its first
// table of 4 GB and ends with 41, on any host.
TEST(HostileHeaders, LargestTablesRefusedInASmallAddressSpace) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve terabytes of address space at start";
#else
  for (const auto& [nodes, elements] : kLargestCounts) {
    SCOPED_TRACE(std::string(nodes) + " nodes, " + elements + " elements");
    ScopedTempDir dir;
    WriteFile(dir.path() / "ANSYS_Model.cdb", CountsOnly(nodes, elements));
    const RunResult run = RunProgram(dir.path(), "ulimit -v 1048576 &&");
    EXPECT_EQ(run.status, 41);
    EXPECT_EQ(run.err, Diagnostic(41));
  }
#endif
}

}  // namespace
