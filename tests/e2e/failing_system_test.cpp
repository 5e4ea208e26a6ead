// Runs of the built program on a failing system: no memory, a file-size
// limit, a full device, an interrupting signal, closed standard streams. Each
// ends with its exact diagnostic line and status, and the outputs are either
// the complete new pair or the earlier files byte for byte (absent where
// there were none), with no temporary left behind.
#include "e2e/failing_system.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace {

using failing_system::Diagnostic;
using failing_system::Ended;
using failing_system::Entries;
using failing_system::Expected;
using failing_system::FourNodeListings;
using failing_system::GeneratedModel;
using failing_system::kClosingLine;
using failing_system::kFourNodeDir;
using failing_system::MaskedDate;
using failing_system::Outputs;
using failing_system::RunAndCheck;
using failing_system::RunChild;
using failing_system::Start;
using failing_system::WriteEarlierOutputs;
namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers reserve terabytes of address space
#else
constexpr bool kSanitized = false;
#endif

// 1. Out of memory: from the smallest address space in which the program
// starts to one in which it translates, every run ends either with the
// complete pair or with diagnostic 41 and the earlier files.
TEST(FailingSystem, OutOfMemoryEndsWith41) {
  if (kSanitized) GTEST_SKIP() << "address-space limits do not apply to a sanitized build";
  const std::string out_of_memory = Diagnostic(41, "insufficient virtual memory");
  // A model whose tables and buffers take some megabytes, so that there are
  // limits under which the program starts but cannot finish (some fifteen).
  const std::string model = GeneratedModel(30000);
  std::map<std::string, std::string> translated;
  {
    ScopedTempDir dir;
    WriteFile(dir.path() / "ANSYS_Model.cdb", model);
    ASSERT_EQ(RunChild(dir.path(), {}).status, 0);
    translated = MaskedDate(Outputs(dir.path()));
  }
  // One directory for every limit: a run short of memory leaves it as it was
  // (which is checked), so the next run starts from the same files.
  ScopedTempDir limits_dir;
  const fs::path dir = limits_dir.path();
  const fs::path model_file = dir / "ANSYS_Model.cdb";
  WriteFile(model_file, model);
  const auto model_stamp = [&] {  // its size and time; a removed model has none
    std::error_code error;
    return std::make_pair(fs::file_size(model_file, error), fs::last_write_time(model_file, error));
  };
  auto written = model_stamp();
  WriteEarlierOutputs(dir);
  const std::map<std::string, std::string> before = Outputs(dir);
  const std::set<std::string> entries = {"ANSYS_Model.cdb", "input.dat", "input.plt"};
  rlim_t enough = 0;
  int failed = 0;
  for (rlim_t megabytes = 2; megabytes <= 128 && enough == 0; ++megabytes) {
    SCOPED_TRACE(std::to_string(megabytes) + " MiB of address space");
    const Start start = {RLIMIT_AS, megabytes << 20};
    const Ended ended = RunChild(dir, start);
    if (ended.status == 127 &&
        (ended.err.find("error while loading shared libraries") != std::string::npos ||
         ended.err.find("cannot allocate TLS data structures") != std::string::npos)) {
      continue;  // too small for the loader to start the program at all
    }
    if (ended.status == 0) {
      enough = megabytes << 20;
      EXPECT_EQ(ended.out, kClosingLine);
      EXPECT_EQ(MaskedDate(Outputs(dir)), translated);
      continue;
    }
    ++failed;
    EXPECT_EQ(ended.err, out_of_memory);
    EXPECT_EQ(ended.status, 41);
    const std::map<std::string, std::string> after = Outputs(dir);
    const std::set<std::string> names = Entries(dir);
    EXPECT_EQ(after, before);
    EXPECT_EQ(names, entries);
    EXPECT_TRUE(model_stamp() == written) << "the model was written to";
    if (after != before || names != entries || model_stamp() != written) {
      // The next run starts from the same files again.
      for (const std::string& name : names) fs::remove_all(dir / name);
      WriteFile(model_file, model);
      WriteEarlierOutputs(dir);
      written = model_stamp();
    }
  }
  ASSERT_GT(enough, rlim_t{0}) << "no run translated within 128 MiB";
  EXPECT_GT(failed, 0) << "no run was short of memory";

  // A record longer than the memory left: a sparse model of 1 GiB without a
  // line feed is one record, and its buffer grows until memory runs out.
  ScopedTempDir endless_dir;
  const fs::path endless = endless_dir.path() / "ANSYS_Model.cdb";
  WriteFile(endless, "");
  fs::resize_file(endless, std::uintmax_t{1} << 30);
  WriteEarlierOutputs(endless_dir.path());
  RunAndCheck(endless_dir.path(), {RLIMIT_AS, enough + (rlim_t{64} << 20)},
              {out_of_memory, 41, false});
}

// 2 and 3. A write that fails, for a file-size limit or a full device, ends
// with diagnostic 38 for that file and leaves the earlier pair, or none.
TEST(FailingSystem, FailedWriteLeavesTheEarlierPair) {
  const std::string model = GeneratedModel(1000);  // input.dat over 20 KiB
  const rlim_t kTwentyBlocks = 20 * 1024;          // ulimit -f 20
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
    RunAndCheck(work, start,
                {Diagnostic(38, "error during write", c.unit, work / c.file), 38, false});
  }
}

// 3. SIGINT, SIGTERM or SIGHUP while the outputs are written: the run ends
// with 128 + the signal number, the temporaries removed, the earlier pair kept.
TEST(FailingSystem, InterruptedRunLeavesTheEarlierPair) {
  const std::string model = GeneratedModel(200000);  // outputs of about 60 MB
  // One directory for the three runs: each must leave it as it was.
  ScopedTempDir dir;
  WriteFile(dir.path() / "ANSYS_Model.cdb", model);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
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
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            info.si_pid != 0) {
          ADD_FAILURE() << "the run ended before its outputs had grown";
          return;
        }
        ::usleep(200);  // leaves the run its core; it writes for tens of milliseconds
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

}  // namespace
