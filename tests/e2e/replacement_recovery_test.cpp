// Whole runs of the built program whose replacement of the outputs meets a
// failing system (renames that cannot be taken back, a file system without
// exchange, a failing directory sync or lock), another run's lock, or a kill
// between its renames. The outputs end as one run's whole set; a run that
// can get neither set keeps every copy, and the next run, whatever its own
// outcome, puts one whole set back.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e/failing_system.h"
#include "e2e/straced_run.h"

namespace {

namespace fs = std::filesystem;
using failing_system::Diagnostic;
using failing_system::kClosingLine;
using failing_system::kFourNodeDir;
using straced_run::Ended;
using straced_run::Finish;
using straced_run::RunWhole;
using straced_run::Start;
using straced_run::Straced;
using straced_run::WhyNoStrace;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

// The run's directory "run" beside "elsewhere", which holds the .vtu of
// --vtu; the files of both, hidden ones included, the date of input.dat masked.
using Files = std::map<std::string, std::string>;

struct Mode {
  const char* name;
  std::vector<std::string> args;
  bool stale_map;       // an input-map.csv of an earlier run, which a plain run removes
  bool earlier = true;  // earlier outputs
};

const Mode kPair = {"the pair", {"-j1"}, false};
const Mode kThree = {"three files", {"-j1", "--renumber"}, false};
const Mode kVtu = {"--vtu elsewhere", {"-j1", "--vtu", "../elsewhere/model.vtu"}, false};
const Mode kStaleMap = {"the pair and a stale map", {"-j1"}, true};
const Mode kFirstPair = {"the pair, none before", {"-j1"}, false, false};
const Mode kFirstVtu = {"--vtu elsewhere, none before", kVtu.args, false, false};

Files Snapshot(const fs::path& root) {
  Files files;
  for (const char* sub : {"run", "elsewhere"}) {
    for (const fs::directory_entry& entry : fs::directory_iterator(root / sub)) {
      const std::string name = std::string(sub) + "/" + entry.path().filename().string();
      if (name == "run/ANSYS_Model.cdb") continue;
      std::string content = ReadFile(entry.path());
      const bool dat = name == "run/input.dat" || name.starts_with("run/.input.dat.");
      if (dat && content.size() > 77) content.replace(68, 9, 9, '#');
      files[name] = content;
    }
  }
  return files;
}

// A fresh layout with the four-node example and the earlier outputs of `mode`.
fs::path Prepare(const ScopedTempDir& temp, const Mode& mode) {
  const fs::path root = fs::canonical(temp.path());
  fs::create_directories(root / "run");
  fs::create_directories(root / "elsewhere");
  fs::copy_file(kFourNodeDir / "ANSYS_Model.cdb", root / "run/ANSYS_Model.cdb");
  if (!mode.earlier) return root;
  for (const char* name : {"input.dat", "input.plt"}) {
    WriteFile(root / "run" / name, std::string(name) + " of an earlier run\r\n");
  }
  const bool map = mode.stale_map || mode.args.back() == "--renumber";
  if (map) WriteFile(root / "run/input-map.csv", "input-map.csv of an earlier run\r\n");
  if (mode.args.back().ends_with(".vtu")) {
    WriteFile(root / "elsewhere/model.vtu", "<?xml model.vtu of an earlier run\n");
  }
  return root;
}

// What a run of `mode` leaves where all goes well.
Files NewSet(const Mode& mode) {
  ScopedTempDir temp;
  ScopedTempDir streams;
  const fs::path root = Prepare(temp, mode);
  std::vector<std::string> argv = {CDB2BEM_BINARY};
  argv.insert(argv.end(), mode.args.begin(), mode.args.end());
  EXPECT_EQ(RunWhole(root / "run", argv, streams.path()).status, 0);
  return Snapshot(root);
}

// Every content of `set` is in some file of `files`, under any name.
bool Holds(const Files& files, const Files& set) {
  for (const auto& [name, content] : set) {
    bool found = false;
    for (const auto& [other, held] : files) found = found || held == content;
    if (!found) return false;
  }
  return true;
}

// The model of the run after: whole, or one that fails in every mode.
// With `from_above`, the next run works in the directory above, and names
// the model.
void NextRun(const fs::path& root, const Mode& mode, bool fails, const Files& earlier,
             const Files& fresh, bool from_above = false) {
  SCOPED_TRACE(fails ? "the next run fails" : "the next run succeeds");
  if (fails) WriteFile(root / "run/ANSYS_Model.cdb", "/PREP7\nNBLOCK,6,SOLID\n");
  ScopedTempDir streams;
  std::vector<std::string> argv = {CDB2BEM_BINARY};
  argv.insert(argv.end(), mode.args.begin(), mode.args.end());
  if (from_above) argv.push_back("run/ANSYS_Model.cdb");
  const Ended ended = RunWhole(from_above ? root : root / "run", argv, streams.path());
  EXPECT_EQ(ended.status != 0, fails) << ended.err;
  const Files after = Snapshot(root);
  EXPECT_TRUE(after == fresh || (fails && after == earlier)) << "not one run's whole set";
}

enum class Left { kNewSet, kEarlierSet, kEveryCopy };

struct Fault {
  const char* name;
  std::vector<std::string> strace;  // "RUN" stands for the run's directory
  Mode mode;
  int status;
  const char* file;  // named by the diagnostic, under the root; nullptr: none
  Left left;
  bool unlocked = false;  // the warning of a file system without locks
};

// The first run under `fault`: its diagnostic and warnings, what it leaves.
void RunWithFault(const Fault& fault, const fs::path& root, const fs::path& streams,
                  const Files& earlier, const Files& fresh) {
  std::vector<std::string> options = fault.strace;
  for (std::string& option : options) {
    if (option == "RUN") option = (root / "run").string();
  }
  const Ended ended =
      RunWhole(root / "run", Straced(streams / "log", options, fault.mode.args), streams);
  EXPECT_EQ(ended.status, fault.status);
  std::string err;
  if (fault.file != nullptr) {
    const int unit = std::string_view(fault.file).ends_with(".vtu")   ? 9
                     : std::string_view(fault.file).ends_with(".plt") ? 8
                                                                      : 6;
    err = Diagnostic(38, "error during write", unit, root / fault.file);
  }
  if (fault.unlocked) {
    err = " Warning: the file system of " + (root / "run").string() +
          " keeps no locks: concurrent runs in that directory are not kept apart\r\n";
  }
  const Files after = Snapshot(root);
  if (fault.left == Left::kEveryCopy) {
    EXPECT_TRUE(ended.err.starts_with(err + " Warning: the outputs are mixed: ")) << ended.err;
    EXPECT_TRUE(Holds(after, earlier)) << "an earlier output is lost";
    EXPECT_TRUE(Holds(after, fresh)) << "a new output is lost";
  } else {
    EXPECT_EQ(ended.err, err);
    EXPECT_EQ(after, fault.left == Left::kNewSet ? fresh : earlier);
  }
}

std::vector<std::string> Injected(const std::string& calls, const std::string& injection) {
  return {"-e", "trace=" + calls, "-e", "inject=" + injection};
}

// Failing renames, take-backs, directory syncs and locks: a fault injected into the first
// run; what it leaves, and what the next run makes of it.
TEST(ReplacementRecovery, FaultsLeaveOneWholeSet) {
  if (!WhyNoStrace().empty()) GTEST_SKIP() << WhyNoStrace();
  const auto rename = [](const char* error, int when) {
    return Injected("/^rename",
                    std::string("/^rename:error=") + error + ":when=" + std::to_string(when));
  };
  const auto flock = [](const char* error) {
    return Injected("flock", std::string("flock:error=") + error + ":when=1");
  };
  const auto take_back_fails = Injected("/^rename", "/^rename:error=EIO:when=2+");
  std::vector<std::string> no_exchange = Injected("/^rename", "renameat2:error=EINVAL");
  no_exchange.insert(no_exchange.end(), {"-e", "inject=rename:error=EIO:when=2+"});
  const std::vector<std::string> directory_sync = {"-P",          "RUN", "-e",
                                                   "trace=fsync", "-e",  "inject=fsync:error=EIO"};
  const char* dat = "run/input.dat";
  const char* plt = "run/input.plt";
  const char* vtu = "run/../elsewhere/model.vtu";
  const Fault faults[] = {
      {"rename 2 EIO", rename("EIO", 2), kPair, 38, plt, Left::kEarlierSet},
      {"rename 2 ENOSPC", rename("ENOSPC", 2), kPair, 38, plt, Left::kEarlierSet},
      {"rename 2 EDQUOT", rename("EDQUOT", 2), kPair, 38, plt, Left::kEarlierSet},
      {"rename 2 EACCES", rename("EACCES", 2), kPair, 38, plt, Left::kEarlierSet},
      {"rename 1 EIO", rename("EIO", 1), kPair, 38, dat, Left::kEarlierSet},
      {"rename 2 EIO", rename("EIO", 2), kFirstPair, 38, plt, Left::kEarlierSet},
      {"rename 3 EIO", rename("EIO", 3), kVtu, 38, vtu, Left::kEarlierSet},
      {"rename 3 EIO", rename("EIO", 3), kFirstVtu, 38, vtu, Left::kEarlierSet},
      {"rename 2 EIO", rename("EIO", 2), kVtu, 38, plt, Left::kEarlierSet},
      {"rename 1 EINTR", rename("EINTR", 1), kPair, 0, nullptr, Left::kNewSet},
      {"rename 2 EINTR", rename("EINTR", 2), kVtu, 0, nullptr, Left::kNewSet},
      {"take-back fails", take_back_fails, kPair, 38, plt, Left::kEveryCopy},
      {"take-back fails", take_back_fails, kThree, 38, plt, Left::kEveryCopy},
      {"take-back fails", take_back_fails, kVtu, 38, plt, Left::kEveryCopy},
      {"take-back fails", take_back_fails, kStaleMap, 38, plt, Left::kEveryCopy},
      {"no exchange, renames fail", no_exchange, kPair, 38, dat, Left::kEveryCopy},
      {"no exchange, renames fail", no_exchange, kThree, 38, dat, Left::kEveryCopy},
      {"no exchange, renames fail", no_exchange, kVtu, 38, dat, Left::kEveryCopy},
      {"directory sync fails", directory_sync, kPair, 38, dat, Left::kEarlierSet},
      {"directory sync fails", directory_sync, kVtu, 38, dat, Left::kEarlierSet},
      {"directory sync fails", directory_sync, kStaleMap, 38, dat, Left::kEarlierSet},
      {"flock ENOLCK", flock("ENOLCK"), kPair, 0, nullptr, Left::kNewSet, true},
      {"flock EOPNOTSUPP", flock("EOPNOTSUPP"), kThree, 0, nullptr, Left::kNewSet, true},
      {"flock EINTR", flock("EINTR"), kVtu, 0, nullptr, Left::kNewSet},
      {"flock EBADF", flock("EBADF"), kPair, 38, dat, Left::kEarlierSet},
      {"flock EIO", flock("EIO"), kStaleMap, 38, dat, Left::kEarlierSet},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(std::string(fault.name) + ", " + fault.mode.name);
    const Files fresh = NewSet(fault.mode);
    for (const bool next_fails : {false, true}) {
      ScopedTempDir temp;
      ScopedTempDir streams;
      const fs::path root = Prepare(temp, fault.mode);
      const Files earlier = Snapshot(root);
      RunWithFault(fault, root, streams.path(), earlier, fresh);
      NextRun(root, fault.mode, next_fails, earlier, fresh);
    }
  }
}

// A run held at its second rename and killed leaves every copy; the
// next run, whether it succeeds or fails, leaves one whole set.
TEST(ReplacementRecovery, KillBetweenRenames) {
  if (!WhyNoStrace().empty()) GTEST_SKIP() << WhyNoStrace();
  const struct {
    Mode mode;
    bool next_fails;
    bool from_above;  // the next run in another working directory
  } cases[] = {{kPair, false, false}, {kPair, true, false},      {kThree, false, false},
               {kVtu, true, false},   {kStaleMap, false, false}, {kVtu, true, true}};
  for (const auto& [mode, next_fails, from_above] : cases) {
    SCOPED_TRACE(mode.name);
    const Files fresh = NewSet(mode);
    ScopedTempDir temp;
    ScopedTempDir streams;
    const fs::path root = Prepare(temp, mode);
    const Files earlier = Snapshot(root);
    const pid_t child =
        Start(root / "run",
              Straced(streams.path() / "log",
                      {"-e", "trace=/^rename", "-e", "inject=/^rename:delay_enter=60000000:when=2"},
                      mode.args),
              streams.path());
    // Held once input.dat is the new one; the run is the process that
    // named its temporaries.
    pid_t run = 0;
    for (int i = 0; i < 20000 && run == 0; ++i) {
      if (Snapshot(root)["run/input.dat"] == fresh.at("run/input.dat")) {
        for (const fs::directory_entry& entry : fs::directory_iterator(root / "run")) {
          const std::string name = entry.path().filename().string();
          if (name.starts_with(".input.plt.")) run = std::stoi(name.substr(11));
        }
      }
      if (run == 0) ::usleep(500);
    }
    ASSERT_NE(run, 0) << "the run never put input.dat in place";
    ::kill(run, SIGKILL);
    ::kill(-child, SIGKILL);  // strace, which would wait out the delay
    Finish(child, streams.path());
    for (int i = 0; i < 20000 && ::kill(run, 0) == 0; ++i) ::usleep(500);
    ASSERT_NE(::kill(run, 0), 0) << "the killed run is not gone";
    const Files after = Snapshot(root);
    EXPECT_TRUE(Holds(after, earlier)) << "an earlier output is lost";
    EXPECT_TRUE(Holds(after, fresh)) << "a new output is lost";
    NextRun(root, mode, next_fails, earlier, fresh, from_above);
  }
}

// A run that waits for another run's lock says so once, naming the
// directory and the holder, and goes on when the lock is released.
TEST(ReplacementRecovery, WaitForAnotherRunsLockIsTold) {
  for (const bool elsewhere : {false, true}) {
    SCOPED_TRACE(elsewhere ? "the .vtu's directory held" : "the run's directory held");
    const Mode& mode = elsewhere ? kVtu : kPair;
    const Files fresh = NewSet(mode);
    ScopedTempDir temp;
    ScopedTempDir streams;
    const fs::path root = Prepare(temp, mode);
    const fs::path held = root / (elsewhere ? "elsewhere" : "run");
    const int fd = ::open(held.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::vector<std::string> argv = {CDB2BEM_BINARY};
    argv.insert(argv.end(), mode.args.begin(), mode.args.end());
    const pid_t child = Start(root / "run", argv, streams.path());
    for (int i = 0; i < 60000 && ReadFile(streams.path() / "err").empty(); ++i) ::usleep(500);
    const std::string told = ReadFile(streams.path() / "err");
    EXPECT_EQ(Snapshot(root).count("run/input.dat") != 0 &&
                  Snapshot(root).at("run/input.dat") == fresh.at("run/input.dat"),
              false)
        << "a file was put in place under another run's lock";
    ::close(fd);
    const Ended ended = Finish(child, streams.path());
    const std::string line = " Waiting for another run (process " + std::to_string(::getpid()) +
                             ") to finish putting its outputs in place in " + held.string() +
                             "\r\n";
    EXPECT_EQ(told, line);
    EXPECT_EQ(ended.err, line);
    EXPECT_EQ(ended.status, 0);
    EXPECT_EQ(ended.out, kClosingLine);
    EXPECT_EQ(Snapshot(root), fresh);
  }
}

}  // namespace

namespace {

// A run that writes no map removes the map an earlier run left, together
// with the replacement of the pair: kept when the run fails, left alone
// when it is a link; a run that writes a map replaces it.
TEST(ReplacementRecovery, StaleMapGoesWithThePair) {
  const std::string earlier_map = "input-map.csv of an earlier run\r\n";
  const struct {
    const char* name;
    std::vector<std::string> args;
    bool model_fails;
    bool link;
    int status;
    const char* map_left;  // the map's content afterwards, nullptr: none
  } cases[] = {
      {"plain run", {}, false, false, 0, nullptr},
      {"plain run that fails", {}, true, false, 24, earlier_map.c_str()},
      {"plain run, the map a link", {}, false, true, 0, earlier_map.c_str()},
      {"renumbered run", {"--renumber"}, false, false, 0, "NEW"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir temp;
    ScopedTempDir streams;
    const fs::path root = Prepare(temp, kPair);
    const fs::path map = root / "run/input-map.csv";
    if (c.link) {
      WriteFile(root / "elsewhere/map.csv", earlier_map);
      fs::create_symlink(root / "elsewhere/map.csv", map);
    } else {
      WriteFile(map, earlier_map);
    }
    if (c.model_fails) WriteFile(root / "run/ANSYS_Model.cdb", "/PREP7\nNBLOCK,6,SOLID\n");
    std::vector<std::string> argv = {CDB2BEM_BINARY};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const Ended ended = RunWhole(root / "run", argv, streams.path());
    EXPECT_EQ(ended.status, c.status) << ended.err;
    if (c.map_left == nullptr) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(map)));
    } else if (std::string_view(c.map_left) == "NEW") {
      EXPECT_TRUE(ReadFile(map).starts_with("kind,number,"));
    } else {
      EXPECT_EQ(ReadFile(map), c.map_left);
      EXPECT_EQ(fs::is_symlink(map), c.link);
    }
    std::set<std::string> hidden;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "run")) {
      if (entry.path().filename().string().starts_with(".")) hidden.insert(entry.path().string());
    }
    EXPECT_EQ(hidden, std::set<std::string>{});
  }
}

}  // namespace
