// Whole runs of the built program as a child started in a chosen way (an
// address-space or file-size limit, closed standard streams, a pipe without
// reader, another user), and checks of the outputs it leaves: the complete
// new pair, or the earlier files byte for byte with nothing beside them.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "test_support.h"

namespace failing_system {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

inline const fs::path kE2eDir = fs::path(CDB2BEM_SOURCE_DIR) / "tests" / "e2e";
inline const fs::path kFourNodeDir = kE2eDir / "four_node_example";
inline constexpr std::string_view kClosingLine =
    "  Data Translation from ANSYS to BEM is done!\r\n";
inline const char* const kOutputs[] = {"input.dat", "input.plt"};

inline std::string Diagnostic(int number, const char* text, int unit = 0,
                              const fs::path& file = {}) {
  std::string line = "runerr: severe (" + std::to_string(number) + "): " + text;
  if (unit != 0) line += ", unit " + std::to_string(unit) + ", file " + file.string();
  return line + "\r\n";
}

// The file name of each output that is a regular file, with its content;
// nothing for an output that is absent or is not a regular file.
inline std::map<std::string, std::string> Outputs(const fs::path& dir) {
  std::map<std::string, std::string> found;
  for (const char* name : kOutputs) {
    if (fs::is_regular_file(fs::symlink_status(dir / name))) found[name] = ReadFile(dir / name);
  }
  return found;
}

// Every name in the directory but the captured console streams.
inline std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != ".stdout" && name != ".stderr") names.insert(name);
  }
  return names;
}

inline void WriteEarlierOutputs(const fs::path& dir) {
  for (const char* name : kOutputs)
    WriteFile(dir / name, std::string(name) + " of an earlier run\r\n");
}

// The four-node example's reference listings, the date of input.dat masked.
inline std::map<std::string, std::string> MaskedDate(std::map<std::string, std::string> outputs) {
  if (outputs.count("input.dat") != 0 && outputs["input.dat"].size() > 77) {
    outputs["input.dat"].replace(68, 9, 9, '#');
  }
  return outputs;
}
inline std::map<std::string, std::string> FourNodeListings() {
  return MaskedDate({{"input.dat", ReadFile(kFourNodeDir / "input.dat")},
                     {"input.plt", ReadFile(kFourNodeDir / "input.plt")}});
}

// How the child is started.
struct Start {
  int limited = -1;  // a setrlimit resource, or -1
  rlim_t limit = 0;
  bool streams_closed = false;  // descriptors 1 and 2 closed
  bool broken_pipe = false;     // standard output a pipe without reader
  bool as_nobody = false;       // run as user nobody (only when run as root)
};

struct Ended {
  int status = -1;  // as a shell shows it: 128 + the signal for a killed run
  std::string out;
  std::string err;
};

// Runs the program in `dir`; `meanwhile` is called with the child's id while
// it runs. A run that takes more than 60 seconds is killed and reported.
inline Ended RunChild(const fs::path& dir, const Start& start,
                      const std::function<void(pid_t)>& meanwhile = {}) {
  const std::string out_path = (dir / ".stdout").string();
  const std::string err_path = (dir / ".stderr").string();
  int pipe_ends[2] = {-1, -1};
  if (start.broken_pipe && ::pipe(pipe_ends) != 0) return {};
  // Made before the fork: the child only execs it.
  const std::string program_for_nobody =
      start.as_nobody ? test_support::ProgramAnyoneCanRun() : std::string();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    if (start.streams_closed) {
      ::close(STDOUT_FILENO);
      ::close(STDERR_FILENO);
    } else {
      int out = start.broken_pipe ? pipe_ends[1]
                                  : ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    if (start.as_nobody) {
      ::execl("/usr/bin/setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
              program_for_nobody.c_str(), static_cast<char*>(nullptr));
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
  // Most runs end within milliseconds: look often at first.
  for (useconds_t pause = 100; ::waitpid(child, &raw, WNOHANG) == 0;
       pause = std::min(2 * pause, 2000u)) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the run hangs; killed";
      ::kill(child, SIGKILL);
      ::waitpid(child, &raw, 0);
      break;
    }
    ::usleep(pause);
  }
  ended.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  if (!start.streams_closed) {
    ended.out = ReadFile(out_path);
    ended.err = ReadFile(err_path);
  }
  return ended;
}

// A model of `nodes` nodes on a line and `nodes` - 2 triangles.
inline std::string GeneratedModel(int nodes) {
  using test_support::AppendExponent;
  using test_support::AppendInteger;
  std::string model = "/PREP7\n*ELSE\nNUMOFF,NODE," + std::to_string(nodes) + "\nNUMOFF,ELEM," +
                      std::to_string(nodes - 2) + "\nNBLOCK,6,SOLID\n(3i8,6e16.9)\n";
  model.reserve(static_cast<std::size_t>(nodes) * 110);
  // The y and z of node i, (i % 2) * 1.0 and (i % 3) * 0.25, repeat every 6.
  std::string y_and_z[6];
  for (int i = 0; i < 6; ++i) {
    AppendExponent(y_and_z[i], (i % 2) * 1.0, 16, 9);
    AppendExponent(y_and_z[i], (i % 3) * 0.25, 16, 9);
  }
  for (int i = 1; i <= nodes; ++i) {
    AppendInteger(model, i, 8);
    model.append("       0       0");
    AppendExponent(model, i * 0.5, 16, 9);
    model.append(y_and_z[i % 6]).append("\n");
  }
  model += "N,R5.3,LOC,     -1,\nEBLOCK,19,SOLID\n(19i8)\n";
  for (int e = 1; e <= nodes - 2; ++e) {
    model.append("1 1 1 1 0 0 0 0 3 0");
    for (int value : {e, e, e + 1, e + 2, e + 2}) {
      model.append(" ");
      AppendInteger(model, value, 0);
    }
    model.append("\n");
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
inline void RunAndCheck(const fs::path& dir, const Start& start, const Expected& expected,
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

}  // namespace failing_system
