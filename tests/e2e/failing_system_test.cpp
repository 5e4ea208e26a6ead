// Runs of the built program on a failing system: no memory, a file-size
// limit, a full device, an interrupting signal, closed standard streams,
// files that are not files, outputs that are the model or each other, a
// closed pipe. Each ends with its exact diagnostic line and status, and the
// outputs are either the complete new pair or the earlier files byte for
// byte (absent where there were none), with no temporary left behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

const fs::path kE2eDir = fs::path(CDB2BEM_SOURCE_DIR) / "tests" / "e2e";
const fs::path kFourNodeDir = kE2eDir / "four_node_example";
const fs::path kExampleModel = fs::path(CDB2BEM_SOURCE_DIR) / "examples" / "ANSYS_Model.cdb";
constexpr std::string_view kClosingLine = "  Data Translation from ANSYS to BEM is done!\r\n";
const char* const kOutputs[] = {"input.dat", "input.plt"};

std::string Diagnostic(int number, const char* text, int unit = 0, const fs::path& file = {}) {
  std::string line = "runerr: severe (" + std::to_string(number) + "): " + text;
  if (unit != 0) line += ", unit " + std::to_string(unit) + ", file " + file.string();
  return line + "\r\n";
}

// The file name of each output that is a regular file, with its content;
// nothing for an output that is absent or is not a regular file.
std::map<std::string, std::string> Outputs(const fs::path& dir) {
  std::map<std::string, std::string> found;
  for (const char* name : kOutputs) {
    if (fs::is_regular_file(fs::symlink_status(dir / name))) found[name] = ReadFile(dir / name);
  }
  return found;
}

// Every name in the directory but the captured console streams.
std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != ".stdout" && name != ".stderr") names.insert(name);
  }
  return names;
}

void WriteEarlierOutputs(const fs::path& dir) {
  for (const char* name : kOutputs) WriteFile(dir / name, std::string(name) + " of an earlier run\r\n");
}

// The four-node example's reference listings, the date of input.dat masked.
std::map<std::string, std::string> MaskedDate(std::map<std::string, std::string> outputs) {
  if (outputs.count("input.dat") != 0 && outputs["input.dat"].size() > 77) {
    outputs["input.dat"].replace(68, 9, 9, '#');
  }
  return outputs;
}
std::map<std::string, std::string> FourNodeListings() {
  return MaskedDate({{"input.dat", ReadFile(kFourNodeDir / "input.dat")},
                     {"input.plt", ReadFile(kFourNodeDir / "input.plt")}});
}

// How the child is started.
struct Start {
  int limited = -1;  // a setrlimit resource, or -1
  rlim_t limit = 0;
  bool streams_closed = false;  // descriptors 1 and 2 closed
  bool broken_pipe = false;     // standard output a pipe without reader
};

struct Ended {
  int status = -1;  // as a shell shows it: 128 + the signal for a killed run
  std::string out;
  std::string err;
};

// Runs the program in `dir`; `meanwhile` is called with the child's id while
// it runs. A run that takes more than 60 seconds is killed and reported.
Ended RunChild(const fs::path& dir, const Start& start,
               const std::function<void(pid_t)>& meanwhile = {}) {
  const std::string out_path = (dir / ".stdout").string();
  const std::string err_path = (dir / ".stderr").string();
  int pipe_ends[2] = {-1, -1};
  if (start.broken_pipe && ::pipe(pipe_ends) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    if (start.streams_closed) {
      ::close(STDOUT_FILENO);
      ::close(STDERR_FILENO);
    } else {
      int out = start.broken_pipe ? pipe_ends[1] : ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0) ::_exit(126);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      if (start.broken_pipe) ::close(pipe_ends[0]);
    }
    ::signal(SIGPIPE, SIG_DFL);
    if (start.limited >= 0) {
      const struct rlimit limit = {start.limit, start.limit};
      if (::setrlimit(start.limited, &limit) != 0) ::_exit(126);
    }
    ::execl(CDB2BEM_BINARY, CDB2BEM_BINARY, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (start.broken_pipe) {
    ::close(pipe_ends[0]);  // no reader: the first write meets a closed pipe
    ::close(pipe_ends[1]);
  }
  Ended ended;
  if (child < 0) return ended;
  if (meanwhile) meanwhile(child);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int raw = 0;
  while (::waitpid(child, &raw, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the run hangs; killed";
      ::kill(child, SIGKILL);
      ::waitpid(child, &raw, 0);
      break;
    }
    ::usleep(2000);
  }
  ended.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  if (!start.streams_closed) {
    ended.out = ReadFile(out_path);
    ended.err = ReadFile(err_path);
  }
  return ended;
}

// A model of `nodes` nodes on a line and `nodes` - 2 triangles.
std::string GeneratedModel(int nodes) {
  std::string model = "/PREP7\n*ELSE\nNUMOFF,NODE," + std::to_string(nodes) + "\nNUMOFF,ELEM," +
                      std::to_string(nodes - 2) + "\nNBLOCK,6,SOLID\n(3i8,6e16.9)\n";
  char record[96];
  for (int i = 1; i <= nodes; ++i) {
    std::snprintf(record, sizeof record, "%8d%8d%8d%16.9E%16.9E%16.9E\n", i, 0, 0, i * 0.5,
                  (i % 2) * 1.0, (i % 3) * 0.25);
    model += record;
  }
  model += "N,R5.3,LOC,     -1,\nEBLOCK,19,SOLID\n(19i8)\n";
  for (int e = 1; e <= nodes - 2; ++e) {
    std::snprintf(record, sizeof record, "1 1 1 1 0 0 0 0 3 0 %d %d %d %d %d\n", e, e, e + 1, e + 2,
                  e + 2);
    model += record;
  }
  return model + "      -1\nFINISH\n";
}

struct Expected {
  std::string err;
  int status;
  bool new_pair;  // the outputs are the complete new pair (else as before)
};

// Runs and checks: the diagnostic line, the status, the outputs, and no file
// beside them that was not there before.
void RunAndCheck(const fs::path& dir, const Start& start, const Expected& expected,
                 const std::optional<std::map<std::string, std::string>>& new_pair = {},
                 const std::function<void(pid_t)>& meanwhile = {}) {
  const std::map<std::string, std::string> before = Outputs(dir);
  std::set<std::string> entries = Entries(dir);
  const Ended ended = RunChild(dir, start, meanwhile);
  if (!start.streams_closed) {
    EXPECT_EQ(ended.err, expected.err);
  }
  EXPECT_EQ(ended.status, expected.status);
  if (expected.new_pair) {
    for (const char* name : kOutputs) entries.insert(name);
    if (new_pair) {
      EXPECT_EQ(MaskedDate(Outputs(dir)), *new_pair);
    }
  } else {
    EXPECT_EQ(Outputs(dir), before);
  }
  EXPECT_EQ(Entries(dir), entries);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizer reserves terabytes of address space
#else
constexpr bool kSanitized = false;
#endif

// 1. Out of memory: from the smallest address space in which the program
// starts to one in which it translates, every run ends either with the
// complete pair or with diagnostic 41 and the earlier files.
TEST(FailingSystem, OutOfMemoryEndsWith41) {
  if (kSanitized) GTEST_SKIP() << "address-space limits do not apply to a sanitized build";
  const std::string out_of_memory = Diagnostic(41, "insufficient virtual memory");
  rlim_t enough = 0;
  int failed = 0;
  for (rlim_t megabytes = 2; megabytes <= 64 && enough == 0; ++megabytes) {
    SCOPED_TRACE(std::to_string(megabytes) + " MiB of address space");
    ScopedTempDir dir;
    fs::copy_file(kFourNodeDir / "ANSYS_Model.cdb", dir.path() / "ANSYS_Model.cdb");
    WriteEarlierOutputs(dir.path());
    const Start start = {RLIMIT_AS, megabytes << 20};
    const std::map<std::string, std::string> before = Outputs(dir.path());
    const Ended ended = RunChild(dir.path(), start);
    if (ended.status == 127 && ended.err.find("error while loading shared libraries") != std::string::npos) {
      continue;  // too small for the program to be loaded at all
    }
    if (ended.status == 0) {
      enough = megabytes << 20;
      EXPECT_EQ(ended.out, kClosingLine);
      EXPECT_EQ(MaskedDate(Outputs(dir.path())), FourNodeListings());
      continue;
    }
    ++failed;
    EXPECT_EQ(ended.err, out_of_memory);
    EXPECT_EQ(ended.status, 41);
    EXPECT_EQ(Outputs(dir.path()), before);
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"ANSYS_Model.cdb", "input.dat", "input.plt"}));
  }
  ASSERT_GT(enough, rlim_t{0}) << "no run translated within 64 MiB";
  EXPECT_GT(failed, 0) << "no run was short of memory";

  // A record longer than the memory left: a sparse model of 1 GiB without a
  // line feed is one record, and its buffer grows until memory runs out.
  ScopedTempDir dir;
  const fs::path model = dir.path() / "ANSYS_Model.cdb";
  WriteFile(model, "");
  fs::resize_file(model, std::uintmax_t{1} << 30);
  WriteEarlierOutputs(dir.path());
  RunAndCheck(dir.path(), {RLIMIT_AS, enough + (rlim_t{64} << 20)}, {out_of_memory, 41, false});
}

// 2 and 3. A write that fails, for a file-size limit or a full device, ends
// with diagnostic 38 for that file and leaves the earlier pair, or none.
TEST(FailingSystem, FailedWriteLeavesTheEarlierPair) {
  const std::string model = GeneratedModel(1000);  // input.dat over 20 KiB
  const rlim_t kTwentyBlocks = 20 * 1024;           // ulimit -f 20
  const struct {
    const char* name;
    bool earlier;
    const char* full_device;  // the output linked to /dev/full, or nullptr
    int unit;
    const char* file;
  } cases[] = {
      {"file-size limit, earlier pair", true, nullptr, 6, "input.dat"},
      {"file-size limit, no earlier pair", false, nullptr, 6, "input.dat"},
      {"input.plt on a full device", true, "input.plt", 8, "input.plt"},
      {"input.plt on a full device, no earlier input.dat", false, "input.plt", 8, "input.plt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.full_device != nullptr && !fs::is_character_file("/dev/full")) {
      GTEST_SKIP() << "/dev/full is not a character device here";
    }
    ScopedTempDir dir;
    const fs::path work = fs::canonical(dir.path());
    WriteFile(work / "ANSYS_Model.cdb", model);
    if (c.earlier) WriteEarlierOutputs(work);
    Start start;
    if (c.full_device == nullptr) {
      start = {RLIMIT_FSIZE, kTwentyBlocks};
    } else {
      fs::remove(work / c.full_device);
      fs::create_symlink("/dev/full", work / c.full_device);
    }
    RunAndCheck(work, start, {Diagnostic(38, "error during write", c.unit, work / c.file), 38, false});
  }
}

// 3. SIGINT, SIGTERM or SIGHUP while the outputs are written: the run ends
// with 128 + the signal number, the temporaries removed, the earlier pair kept.
TEST(FailingSystem, InterruptedRunLeavesTheEarlierPair) {
  const std::string model = GeneratedModel(400000);  // outputs of about 60 MB
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    ScopedTempDir dir;
    WriteFile(dir.path() / "ANSYS_Model.cdb", model);
    WriteEarlierOutputs(dir.path());
    const std::uintmax_t model_size = model.size();
    const std::uintmax_t earlier_size = 2 * std::string(" of an earlier run\r\n").size() + 18;
    // The signal goes out once the outputs, wherever they are written, have
    // grown by a megabyte.
    const auto send_while_writing = [&](pid_t child) {
      for (;;) {
        std::uintmax_t total = 0;
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir.path(), error)) {
          total += entry.is_regular_file(error) ? entry.file_size(error) : 0;
        }
        if (total > model_size + earlier_size + (1u << 20)) break;
        if (::waitpid(child, nullptr, WNOHANG | WNOWAIT) != 0) break;  // too late
      }
      ::kill(child, signal_number);
    };
    RunAndCheck(dir.path(), {}, {"", 128 + signal_number, false}, {}, send_while_writing);
  }
}

// 4. Started with standard output and error closed, no diagnostic or warning
// finds its way into an output.
TEST(FailingSystem, ClosedStandardStreamsKeepOutputsClean) {
  std::string model = ReadFile(kFourNodeDir / "ANSYS_Model.cdb");
  const std::string kIgnoredConstraint = "D,      9,UX  , 0.000000000E+00, 0.000000000E+00\r\n";
  const std::string warned = model.insert(model.find("SFE,"), kIgnoredConstraint);
  std::string failing = warned;
  failing.replace(failing.find("0.000000000E+00"), 15, "0.0,0.0        ");
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing model" : "model with a warning");
    ScopedTempDir dir;
    WriteFile(dir.path() / "ANSYS_Model.cdb", fails ? failing : warned);
    WriteEarlierOutputs(dir.path());
    Start start;
    start.streams_closed = true;
    RunAndCheck(dir.path(), start, {"", fails ? 547 & 255 : 0, !fails}, FourNodeListings());
  }
}

// A unix socket bound at `path`, left behind as a file of its own kind.
void MakeSocket(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof address.sun_path);
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

// 5 and 6. A model that is not a regular file, an output that is neither a
// regular file nor a device, an output that is the model or the other
// output: refused with diagnostic 30 before anything is written.
TEST(FailingSystem, FilesThatAreNotFilesAreRefused) {
  enum Kind { kFifo, kSocket, kLink, kHardLink };
  const struct {
    const char* name;
    const char* file;  // the file made, and the one the diagnostic names
    Kind kind;
    const char* to;    // what a link points to
    bool earlier_dat = true;
  } cases[] = {
      {"model is a FIFO", "ANSYS_Model.cdb", kFifo, nullptr},
      {"model is /dev/zero", "ANSYS_Model.cdb", kLink, "/dev/zero"},
      {"input.dat is a FIFO", "input.dat", kFifo, nullptr},
      {"input.plt is a FIFO", "input.plt", kFifo, nullptr},
      {"input.plt is a socket", "input.plt", kSocket, nullptr},
      {"input.dat links to the model", "input.dat", kLink, "ANSYS_Model.cdb"},
      {"input.dat is a hard link of the model", "input.dat", kHardLink, "ANSYS_Model.cdb"},
      {"input.plt links to the model", "input.plt", kLink, "ANSYS_Model.cdb"},
      {"input.plt links to input.dat", "input.plt", kLink, "input.dat"},
      {"input.plt links to an absent input.dat", "input.plt", kLink, "input.dat", false},
  };
  const std::string model = ReadFile(kFourNodeDir / "ANSYS_Model.cdb");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const fs::path work = fs::canonical(dir.path());
    WriteFile(work / "ANSYS_Model.cdb", model);
    WriteEarlierOutputs(work);
    if (!c.earlier_dat) fs::remove(work / "input.dat");
    const fs::path made = work / c.file;
    fs::remove(made);
    if (c.kind == kFifo) {
      ASSERT_EQ(::mkfifo(made.c_str(), 0644), 0);
    }
    if (c.kind == kSocket) MakeSocket(made);
    if (c.kind == kLink) fs::create_symlink(c.to, made);
    if (c.kind == kHardLink) fs::create_hard_link(work / c.to, made);
    RunAndCheck(work, {}, {Diagnostic(30, "open failure", c.file[0] == 'A' ? 5 : c.file[6] == 'd' ? 6 : 8,
                                      made), 30, false});
    if (fs::is_regular_file(work / "ANSYS_Model.cdb")) {
      EXPECT_EQ(ReadFile(work / "ANSYS_Model.cdb"), model);
    }
  }
}

// 7. A closed pipe on standard output: the pair is in place, and the failed
// write of the closing message raises diagnostic 38.
TEST(FailingSystem, ClosedPipeOnStandardOutput) {
  ScopedTempDir dir;
  fs::copy_file(kFourNodeDir / "ANSYS_Model.cdb", dir.path() / "ANSYS_Model.cdb");
  WriteEarlierOutputs(dir.path());
  Start start;
  start.broken_pipe = true;
  RunAndCheck(dir.path(), start, {Diagnostic(38, "error during write", -1, ""), 38, true},
              FourNodeListings());
}

// Outputs replaced through the temporaries keep the permission bits of the
// earlier files and new ones get the usual bits; an output that is a symbolic
// link stays one, and the file it leads to is replaced.
TEST(FailingSystem, ReplacedOutputsKeepModeAndLinks) {
  ScopedTempDir dir;
  fs::copy_file(kFourNodeDir / "ANSYS_Model.cdb", dir.path() / "ANSYS_Model.cdb");
  fs::create_directory(dir.path() / "results");
  WriteFile(dir.path() / "input.dat", "earlier\r\n");
  fs::permissions(dir.path() / "input.dat", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("results/plot.plt", dir.path() / "input.plt");  // not there yet
  const mode_t mask = ::umask(022);
  RunAndCheck(dir.path(), {}, {"", 0, true});
  ::umask(mask);
  EXPECT_EQ(MaskedDate({{"input.dat", ReadFile(dir.path() / "input.dat")},
                        {"input.plt", ReadFile(dir.path() / "results" / "plot.plt")}}),
            FourNodeListings());
  EXPECT_EQ(fs::status(dir.path() / "input.dat").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "input.plt"));
  EXPECT_EQ(fs::status(dir.path() / "results" / "plot.plt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  EXPECT_EQ(Entries(dir.path() / "results"), std::set<std::string>{"plot.plt"});
}

}  // namespace
