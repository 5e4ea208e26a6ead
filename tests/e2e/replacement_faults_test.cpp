// Whole runs of the built program in which the system fails while the
// outputs are put in place: a status query or the creation of a temporary
// fails (injected with strace), the model is replaced or rewritten
// between two readings, the run is killed. Each ends with all outputs new or
// all as they were, byte for byte, and nothing beside them.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/failing_system.h"
#include "e2e/straced_run.h"

namespace {

namespace fs = std::filesystem;
using failing_system::Diagnostic;
using failing_system::FourNodeListings;
using failing_system::GeneratedModel;
using failing_system::kClosingLine;
using failing_system::kFourNodeDir;
using failing_system::MaskedDate;
using failing_system::Outputs;
using failing_system::WriteEarlierOutputs;
using straced_run::Calls;
using straced_run::Ended;
using straced_run::Everything;
using straced_run::Finish;
using straced_run::Lines;
using straced_run::RunWhole;
using straced_run::Start;
using straced_run::Straced;
using straced_run::TracedCall;
using straced_run::WhyNoStrace;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

const fs::path kModel = kFourNodeDir / "ANSYS_Model.cdb";

// The four-node example with its earlier outputs (and an earlier .vtu).
void PrepareDirectory(const fs::path& dir, bool earlier, bool vtu) {
  fs::copy_file(kModel, dir / "ANSYS_Model.cdb");
  if (earlier) WriteEarlierOutputs(dir);
  if (earlier && vtu)
    WriteFile(dir / "model.vtu", "<?xml version=\"1.0\"?>\n<!-- model.vtu of an earlier run -->\n");
}

// The calls of a whole -j1 run in a prepared directory, traced with the
// strace filter `trace`, that `wanted` picks out.
template <class Wanted>
std::vector<TracedCall> CallsOfPreparedRun(const fs::path& streams, const std::string& trace,
                                           Wanted wanted) {
  ScopedTempDir temp;
  PrepareDirectory(fs::canonical(temp.path()), true, false);
  const fs::path log = streams / "log";
  EXPECT_EQ(RunWhole(temp.path(), Straced(log, {"-e", trace}, {"-j1"}), streams).status, 0);
  std::vector<TracedCall> picked;
  for (const TracedCall& call : Calls(log)) {
    if (wanted(call.line)) picked.push_back(call);
  }
  return picked;
}

// Either the run succeeded and left the new outputs (and nothing else new),
// or it failed and left the directory exactly as it was.
void ExpectNewOrAsBefore(const fs::path& dir, const Ended& ended,
                         const std::map<std::string, std::string>& before, bool vtu) {
  EXPECT_FALSE(ended.hung) << "the run hangs";
  if (ended.status != 0) {
    EXPECT_EQ(Everything(dir), before);
    return;
  }
  EXPECT_EQ(ended.out, kClosingLine);
  EXPECT_EQ(MaskedDate(Outputs(dir)), FourNodeListings());
  std::set<std::string> names;
  for (const auto& [name, content] : Everything(dir)) names.insert(name);
  std::set<std::string> expected = {"ANSYS_Model.cdb", "input.dat", "input.plt"};
  if (vtu) expected.insert("model.vtu");
  EXPECT_EQ(names, expected);
}

// 2. A directory whose status cannot be had when the outputs are put in
// place: no lock is awaited forever, and the outputs are whole.
TEST(ReplacementFaults, DirectoryStatusFailureNeverHangs) {
  SKIP_WITHOUT_STRACE();
  ScopedTempDir streams;
  const std::vector<TracedCall> directory_queries = CallsOfPreparedRun(
      streams.path(), "trace=/stat",
      [](const std::string& line) { return line.find("S_IFDIR") != std::string::npos; });
  ASSERT_FALSE(directory_queries.empty()) << "the run examines no directory";
  for (const TracedCall& call : directory_queries) {
    SCOPED_TRACE(call.line);
    ScopedTempDir temp;
    const fs::path dir = fs::canonical(temp.path());
    PrepareDirectory(dir, true, false);
    const auto before = Everything(dir);
    const std::string inject =
        "inject=" + call.name + ":error=EIO:when=" + std::to_string(call.index);
    const pid_t child = Start(
        dir, Straced(streams.path() / "log", {"-e", "trace=" + call.name, "-e", inject}, {"-j1"}),
        streams.path());
    const Ended ended = Finish(child, streams.path(), 10);
    ExpectNewOrAsBefore(dir, ended, before, false);
  }
}

// 3. No temporary can be made beside an output: a full file system, no
// inodes or descriptors left end the run with the open failure and the
// earlier outputs kept. Only a directory that refuses new files for want of
// permission has the output rewritten in place; when the run then fails,
// a warning says that the outputs are mixed.
TEST(ReplacementFaults, TemporaryThatCannotBeMade) {
  SKIP_WITHOUT_STRACE();
  ScopedTempDir streams;
  // The temporaries' creations among the run's opens.
  const std::vector<TracedCall> creations =
      CallsOfPreparedRun(streams.path(), "trace=/^open", [](const std::string& line) {
        return line.find("O_EXCL") != std::string::npos &&
               line.find("/.input.") != std::string::npos;
      });
  ASSERT_EQ(creations.size(), 2u) << "one temporary for each output";
  const struct {
    const char* name;
    const char* error;
    std::size_t creation;     // which temporary cannot be made
    bool plt_on_full_device;  // input.plt a link to /dev/full
    int number;               // the diagnostic, 0 for none
    int unit;
    bool dat_new;  // input.dat rewritten in place
  } cases[] = {
      {"no space for input.dat's", "ENOSPC", 0, false, 30, 6, false},
      {"no quota for input.plt's", "EDQUOT", 1, false, 30, 8, false},
      {"no descriptor for input.plt's", "EMFILE", 1, false, 30, 8, false},
      {"directory refuses input.dat's, run succeeds", "EACCES", 0, false, 0, 0, true},
      {"read-only for input.dat's, then input.plt fails", "EROFS", 0, true, 38, 8, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.plt_on_full_device && !fs::is_character_file("/dev/full")) continue;
    ScopedTempDir temp;
    const fs::path dir = fs::canonical(temp.path());
    PrepareDirectory(dir, true, false);
    if (c.plt_on_full_device) {
      fs::remove(dir / "input.plt");
      fs::create_symlink("/dev/full", dir / "input.plt");
    }
    auto before = Everything(dir);
    const TracedCall& creation = creations[c.creation];
    const std::string inject =
        "inject=" + creation.name + ":error=" + c.error + ":when=" + std::to_string(creation.index);
    const Ended ended = RunWhole(
        dir,
        Straced(streams.path() / "log", {"-e", "trace=" + creation.name, "-e", inject}, {"-j1"}),
        streams.path());
    if (c.number == 0) {
      EXPECT_EQ(ended.err, "");
      ExpectNewOrAsBefore(dir, ended, before, false);
      continue;
    }
    const fs::path file = dir / (c.unit == 6 ? "input.dat" : "input.plt");
    std::string err =
        Diagnostic(c.number, c.number == 30 ? "open failure" : "error during write", c.unit, file);
    if (c.dat_new) {
      err += " Warning: the outputs are mixed: " + (dir / "input.dat").string() +
             " rewritten before the run failed, the others as they were\r\n";
      before["input.dat"] = ReadFile(kFourNodeDir / "input.dat");
    }
    EXPECT_EQ(ended.err, err);
    EXPECT_EQ(ended.status, c.number);
    EXPECT_EQ(MaskedDate(Everything(dir)), MaskedDate(before));
  }
}

// 4. The model replaced or rewritten between the first reading and the
// second: the run reads the file it opened, and refuses it, keeping the
// earlier outputs, when it was rewritten. The rebuilt models (--skin,
// --renumber) read it once: rewritten while they read it, it is refused
// alike.
TEST(ReplacementFaults, ModelChangedBetweenReadings) {
  SKIP_WITHOUT_STRACE();
  const std::string model = ReadFile(kModel);
  // The same model with node 2 moved from x = 1 to x = 2: same size, other
  // outputs.
  std::string moved = model;
  const std::string node2 = "        2        0        0 1.0000000000000E+000";
  ASSERT_NE(moved.find(node2), std::string::npos);
  moved.replace(moved.find(node2), node2.size(),
                "        2        0        0 2.0000000000000E+000");
  const struct {
    const char* name;
    bool renamed;  // another file renamed onto the model's name, else rewritten
    std::string text;
  } cases[] = {
      {"another model renamed onto it", true, moved},
      {"rewritten, same size", false, moved},
      {"rewritten, cut short", false, model.substr(0, model.size() / 2)},
  };
  // The run is stopped when the first reading has read the whole model, or
  // at the start of the second reading from its first record.
  ScopedTempDir streams;
  const fs::path log = streams.path() / "log";
  const std::string first_bytes = ", \"" + model.substr(0, 20);
  int second_reading = 0;
  {
    ScopedTempDir probe;
    PrepareDirectory(fs::canonical(probe.path()), false, false);
    const std::string path = (fs::canonical(probe.path()) / "ANSYS_Model.cdb").string();
    ASSERT_EQ(RunWhole(probe.path(), Straced(log, {"-P", path, "-e", "trace=read"}), streams.path())
                  .status,
              0);
    int readings = 0;
    for (const TracedCall& call : Calls(log)) {
      if (call.line.find(first_bytes) != std::string::npos && ++readings == 2) {
        second_reading = call.index;
      }
    }
  }
  ASSERT_GT(second_reading, 0) << "the model is not read twice from its start";
  const std::string stops[] = {
      "inject=read:signal=SIGSTOP:when=1",
      "inject=read:error=EINTR:signal=SIGSTOP:when=" + std::to_string(second_reading)};
  for (const std::string mode : {"", "--skin", "--renumber"}) {
    for (const auto& c : cases) {
      for (const std::string& inject : stops) {
        // The rebuilt models read the file once, and only the files they
        // refuse are the same in every mode.
        if (!mode.empty() && (c.renamed || inject != stops[0])) continue;
        SCOPED_TRACE(std::string(c.name) + ", " + inject + " " + mode);
        ScopedTempDir temp;
        const fs::path dir = fs::canonical(temp.path());
        PrepareDirectory(dir, true, false);
        const auto before = Outputs(dir);
        const fs::path model_path = dir / "ANSYS_Model.cdb";
        fs::remove(log);  // the stop is looked for in the new trace only
        const pid_t child =
            Start(dir,
                  Straced(log, {"-P", model_path.string(), "-e", "trace=read", "-e", inject},
                          mode.empty() ? std::vector<std::string>{} : std::vector{mode}),
                  streams.path());
        for (int i = 0; i < 20000 && ReadFile(log).find("stopped by SIGSTOP") == std::string::npos;
             ++i) {
          ::usleep(500);
        }
        ASSERT_NE(ReadFile(log).find("stopped by SIGSTOP"), std::string::npos);
        if (c.renamed) {
          WriteFile(dir / "other.cdb", c.text);
          fs::rename(dir / "other.cdb", model_path);
        } else {
          WriteFile(model_path, c.text);
        }
        ::kill(-child, SIGCONT);
        const Ended ended = Finish(child, streams.path());
        if (c.renamed) {
          EXPECT_EQ(ended.err, "");
          EXPECT_EQ(ended.status, 0);
          EXPECT_EQ(MaskedDate(Outputs(dir)), FourNodeListings());
        } else {
          EXPECT_EQ(ended.err, " ANSYS cdb file error: the file changed while it was read\r\n");
          EXPECT_EQ(ended.status, 1);
          EXPECT_EQ(Outputs(dir), before);
        }
      }
    }
  }
}

// 5. The place of the .vtu is checked before anything is read or replaced,
// and a .vtu that cannot be written leaves every earlier output.
TEST(ReplacementFaults, VtuThatCannotBeWrittenLeavesEveryEarlierOutput) {
  const struct {
    const char* vtu;
    int number;
    const char* text;
    const char* file;  // as the diagnostic names it, under the directory; nullptr: the vtu
  } cases[] = {
      {"missing/model.vtu", 30, "open failure", nullptr},
      {"folder.vtu", 30, "open failure", nullptr},
      {"full.vtu", 38, "error during write", nullptr},  // a link to /dev/full
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vtu);
    if (std::string_view(c.vtu) == "full.vtu" && !fs::is_character_file("/dev/full")) continue;
    ScopedTempDir streams;
    ScopedTempDir temp;
    const fs::path dir = fs::canonical(temp.path());
    PrepareDirectory(dir, true, false);
    fs::create_directory(dir / "folder.vtu");
    fs::create_symlink("/dev/full", dir / "full.vtu");
    const auto before = Everything(dir);
    const Ended ended = RunWhole(dir, {CDB2BEM_BINARY, "--vtu", c.vtu}, streams.path());
    const fs::path named = c.vtu[0] == '/' ? fs::path(c.vtu) : dir / c.vtu;
    EXPECT_EQ(ended.err, Diagnostic(c.number, c.text, 9, named));
    EXPECT_EQ(ended.status, c.number);
    EXPECT_EQ(ended.out, "");
    EXPECT_EQ(Everything(dir), before);
  }
}

// 6. Each temporary is synced before it is renamed into place, and the
// directory after the renames; CDB2BEM_NO_SYNC=1 syncs nothing.
TEST(ReplacementFaults, OutputsSyncedBeforeAndAfterTheirRenames) {
  SKIP_WITHOUT_STRACE();
  for (const bool no_sync : {false, true}) {
    SCOPED_TRACE(no_sync ? "CDB2BEM_NO_SYNC=1" : "synced");
    ScopedTempDir streams;
    ScopedTempDir temp;
    const fs::path dir = fs::canonical(temp.path());
    PrepareDirectory(dir, true, true);
    const fs::path log = streams.path() / "log";
    std::vector<std::string> environment;
    if (no_sync) environment.push_back("CDB2BEM_NO_SYNC=1");
    const Ended ended =
        RunWhole(dir,
                 Straced(log, {"-y", "-e", "trace=/^rename,/sync", "-e", "signal=none"},
                         {"--vtu", "model.vtu"}),
                 streams.path(), environment);
    ASSERT_EQ(ended.status, 0) << ended.err;
    std::vector<std::string> synced;  // the paths synced so far, in order
    int renames = 0;
    bool directory_synced_after = false;
    for (const std::string& line : Lines(ReadFile(log))) {
      if (line.starts_with("fsync(") || line.starts_with("fdatasync(")) {
        const std::size_t open = line.find('<'), close = line.find('>');
        synced.push_back(line.substr(open + 1, close - open - 1));
        if (renames == 3 && synced.back() == dir.string()) directory_synced_after = true;
      } else if (line.starts_with("rename")) {
        ++renames;
        // The temporary, the first quoted argument.
        const std::size_t first = line.find('"') + 1;
        const std::string from = line.substr(first, line.find('"', first) - first);
        const fs::path temporary = dir / fs::path(from).filename();
        const bool was_synced =
            std::find(synced.begin(), synced.end(), temporary.string()) != synced.end();
        EXPECT_EQ(was_synced, !no_sync) << line;
      }
    }
    EXPECT_EQ(renames, 3);
    EXPECT_EQ(directory_synced_after, !no_sync);
    if (no_sync) {
      EXPECT_TRUE(synced.empty());
    }
  }
}

// 7. The temporaries of a run killed on this host are removed by the next
// run in the directory; a live run's, another host's and other files are
// left alone.
TEST(ReplacementFaults, LeftoversOfDeadRunsRemoved) {
  char host_name[256] = {};
  ASSERT_EQ(::gethostname(host_name, sizeof host_name - 1), 0);
  const std::string host(host_name);
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead);
  const std::string live = std::to_string(::getpid());
  const struct {
    std::string name;
    bool removed;
  } leftovers[] = {
      {".input.dat." + d + "@" + host + ".aB3xYz", true},
      {".input.plt." + d + "@" + host + ".Qw12Er", true},
      {".input.plt." + d + "@" + host + ".Qw12Er.old", true},
      {".input.dat." + live + "@" + host + ".aB3xYz", false},  // a live process
      {".input.dat." + d + "@another-host.aB3xYz", false},     // another host's
      {".input.dat.aB3xYz", false},                            // no process named
      {".input.datx." + d + "@" + host + ".aB3xYz", false},    // no output's
      {".input.dat." + d + "x@" + host + ".aB3xYz", false},    // no process number
  };
  ScopedTempDir streams;
  ScopedTempDir temp;
  const fs::path dir = fs::canonical(temp.path());
  PrepareDirectory(dir, true, false);
  for (const auto& leftover : leftovers) WriteFile(dir / leftover.name, "left over\n");
  const Ended ended = RunWhole(dir, {CDB2BEM_BINARY}, streams.path());
  EXPECT_EQ(ended.status, 0) << ended.err;
  for (const auto& leftover : leftovers) {
    EXPECT_EQ(fs::exists(dir / leftover.name), !leftover.removed) << leftover.name;
  }

  // A run stopped while it writes keeps its temporaries through another
  // run; killed, it loses them to the next.
  for (const auto& leftover : leftovers) fs::remove(dir / leftover.name);
  WriteFile(dir / "ANSYS_Model.cdb", GeneratedModel(200000));
  ScopedTempDir stopped_streams;
  const pid_t stopped = Start(dir, {CDB2BEM_BINARY}, stopped_streams.path());
  const auto hidden = [&] {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(".input.")) names.insert(name);
    }
    return names;
  };
  const auto written = [&] {
    std::uintmax_t total = 0;
    std::error_code error;
    for (const std::string& name : hidden()) total += fs::file_size(dir / name, error);
    return total;
  };
  for (int i = 0; i < 20000 && written() < (1u << 20); ++i) ::usleep(500);
  ::kill(stopped, SIGSTOP);
  const std::set<std::string> kept = hidden();
  ASSERT_FALSE(kept.empty()) << "the run wrote nothing";
  // The runs that follow need no large model (the stopped run has read its
  // own already): they translate the four-node example.
  fs::copy_file(kModel, dir / "ANSYS_Model.cdb", fs::copy_options::overwrite_existing);
  EXPECT_EQ(RunWhole(dir, {CDB2BEM_BINARY}, streams.path()).status, 0);
  EXPECT_EQ(hidden(), kept);
  ::kill(stopped, SIGKILL);
  EXPECT_EQ(Finish(stopped, stopped_streams.path()).status, 128 + SIGKILL);
  EXPECT_EQ(hidden(), kept);
  EXPECT_EQ(RunWhole(dir, {CDB2BEM_BINARY}, streams.path()).status, 0);
  EXPECT_EQ(hidden(), std::set<std::string>{});
}

}  // namespace

namespace {

// Each thread beyond the first adds at most 8 MiB of address space: its
// stack, and the two batch buffers of 1 MiB of its job.
TEST(ThreadMemory, EachFurtherThreadAddsAtMost8MiB) {
  SKIP_WITHOUT_STRACE();
  ScopedTempDir streams;
  ScopedTempDir temp;
  const fs::path dir = fs::canonical(temp.path());
  WriteFile(dir / "ANSYS_Model.cdb", GeneratedModel(20000));
  const fs::path log = streams.path() / "log";
  const Ended ended =
      RunWhole(dir, Straced(log, {"-f", "-e", "trace=mmap"}, {"-j4"}), streams.path());
  ASSERT_EQ(ended.status, 0) << ended.err;
  int stacks = 0;
  for (const std::string& line : Lines(ReadFile(log))) {
    const std::size_t call = line.find("mmap(NULL, ");
    if (call == std::string::npos || line.find("MAP_STACK") == std::string::npos) continue;
    ++stacks;
    const std::uintmax_t bytes = std::stoull(line.substr(call + 11));
    EXPECT_LE(bytes + (std::uintmax_t{2} << 20), std::uintmax_t{8} << 20) << line;
  }
  EXPECT_GT(stacks, 0) << "no thread was started";
}

}  // namespace

namespace {

// A thread that cannot be started leaves its share of the reading, the
// conditions and the writing to the threads that could, and a search of
// the model's second half that cannot read it leaves the scans to read
// every record: the outputs and the console are those of a run on one
// thread.
TEST(ThreadStarts, ThreadsThatCannotStartOrReadLeaveTheirWorkToTheOthers) {
  SKIP_WITHOUT_STRACE();
  // Node records over three 1 MiB blocks of the model file, whose second
  // half is searched on a thread (4.5 MB); node and triangle records over
  // two batches of 2 MiB to write on two threads.
  const std::string model = GeneratedModel(40000);
  ScopedTempDir streams;
  std::map<std::string, std::string> one_thread;
  Ended reference;
  {
    ScopedTempDir dir;
    WriteFile(dir.path() / "ANSYS_Model.cdb", model);
    reference = RunWhole(dir.path(), {CDB2BEM_BINARY, "-j1"}, streams.path());
    ASSERT_EQ(reference.status, 0) << reference.err;
    one_thread = MaskedDate(Outputs(dir.path()));
  }
  // strace's "when=": every start fails, every other one; every read of the
  // model at an offset after the first (the search's reads alone: -P leaves
  // the loader's reads of its libraries alone).
  const std::vector<std::vector<std::string>> cases = {
      {"-e", "trace=clone3", "-e", "inject=clone3:error=EAGAIN:when=1+"},
      {"-e", "trace=clone3", "-e", "inject=clone3:error=EAGAIN:when=2+2"},
      {"-P", "", "-e", "trace=pread64", "-e", "inject=pread64:error=EIO:when=2+"}};
  for (const std::vector<std::string>& injection : cases) {
    SCOPED_TRACE(injection.back());
    ScopedTempDir dir;
    WriteFile(dir.path() / "ANSYS_Model.cdb", model);
    const fs::path log = streams.path() / "log";
    std::vector<std::string> options = {"-f"};
    options.insert(options.end(), injection.begin(), injection.end());
    for (std::string& option : options) {
      if (option.empty()) option = fs::canonical(dir.path() / "ANSYS_Model.cdb").string();
    }
    const Ended ended = RunWhole(dir.path(), Straced(log, options, {"-j2"}), streams.path());
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(ended.out, reference.out);
    EXPECT_EQ(ended.err, reference.err);
    EXPECT_EQ(MaskedDate(Outputs(dir.path())), one_thread);
    EXPECT_NE(ReadFile(log).find("(INJECTED)"), std::string::npos) << "no call failed";
  }
}

}  // namespace
