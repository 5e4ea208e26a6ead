// Whole runs of the built program in a process group of its own, plain or
// under strace (which injects system-call faults), and what they leave.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace straced_run {

namespace fs = std::filesystem;
using test_support::ReadFile;

struct Ended {
  int status = -1;  // as a shell shows it: 128 + the signal for a killed run
  std::string out;
  std::string err;
  bool hung = false;
};

// Starts `argv` in `dir` in a process group of its own, with `environment`
// ("NAME=value") added, standard output and error into `streams`.
inline pid_t Start(const fs::path& dir, const std::vector<std::string>& argv,
                   const fs::path& streams, const std::vector<std::string>& environment = {}) {
  const std::string out = (streams / "out").string();
  const std::string err = (streams / "err").string();
  const pid_t child = ::fork();
  if (child != 0) return child;
  ::setpgid(0, 0);
  // LeakSanitizer cannot run under ptrace: a sanitized program under strace
  // runs without it.
  if (argv[0] == "strace") ::putenv(const_cast<char*>("ASAN_OPTIONS=detect_leaks=0"));
  for (const std::string& setting : environment) ::putenv(const_cast<char*>(setting.c_str()));
  const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (::chdir(dir.c_str()) != 0 || out_fd < 0 || err_fd < 0) ::_exit(126);
  ::dup2(out_fd, STDOUT_FILENO);
  ::dup2(err_fd, STDERR_FILENO);
  ::close(out_fd);
  ::close(err_fd);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  ::execvp(args[0], args.data());
  ::_exit(127);
}

// Waits for the group started by Start; one that runs longer than `seconds`
// hangs, and is killed.
inline Ended Finish(pid_t child, const fs::path& streams, int seconds = 30) {
  Ended ended;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int raw = 0;
  // Most runs end within milliseconds: look often at first.
  for (useconds_t pause = 100; ::waitpid(child, &raw, WNOHANG) == 0;
       pause = std::min(2 * pause, 2000u)) {
    if (std::chrono::steady_clock::now() > deadline) {
      ended.hung = true;
      ::kill(-child, SIGKILL);
      ::waitpid(child, &raw, 0);
      break;
    }
    ::usleep(pause);
  }
  ended.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  ended.out = ReadFile(streams / "out");
  ended.err = ReadFile(streams / "err");
  return ended;
}

inline Ended RunWhole(const fs::path& dir, const std::vector<std::string>& argv,
                      const fs::path& streams, const std::vector<std::string>& environment = {}) {
  return Finish(Start(dir, argv, streams, environment), streams);
}

// Every entry of the directory, a regular file with its content, a symbolic
// link with its target.
inline std::map<std::string, std::string> Everything(const fs::path& dir) {
  std::map<std::string, std::string> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_symlink()) {
      found[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else {
      found[name] = entry.is_regular_file() ? ReadFile(entry.path()) : "(other)";
    }
  }
  return found;
}

// Why strace cannot inject faults here, or empty when it can.
inline std::string WhyNoStrace() {
  static const std::string why = [] {
    if (std::system("command -v strace >/dev/null 2>&1") != 0) {
      return std::string(
          "strace is not installed (make test-full or scripts/install-build-deps.sh test-full installs it)");
    }
    if (std::system("strace -qq -o /dev/null true >/dev/null 2>&1") != 0) {
      return std::string("strace cannot trace processes here (ptrace is not permitted)");
    }
    return std::string();
  }();
  return why;
}

#define SKIP_WITHOUT_STRACE()                                  \
  do {                                                         \
    if (!WhyNoStrace().empty()) GTEST_SKIP() << WhyNoStrace(); \
  } while (false)

// The program under strace with `options`, its trace in `log`.
inline std::vector<std::string> Straced(const fs::path& log,
                                        const std::vector<std::string>& options,
                                        const std::vector<std::string>& program_args = {}) {
  std::vector<std::string> argv = {"strace", "-qq", "-o", log.string()};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(CDB2BEM_BINARY);
  argv.insert(argv.end(), program_args.begin(), program_args.end());
  return argv;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A call of the trace: its system call's name and its number among the calls
// of that name (from 1), as strace's "when=" counts them.
struct TracedCall {
  std::string name;
  int index;
  std::string line;
};

inline std::vector<TracedCall> Calls(const fs::path& log) {
  std::vector<TracedCall> calls;
  std::map<std::string, int> counts;
  for (const std::string& line : Lines(ReadFile(log))) {
    const std::size_t paren = line.find('(');
    if (line.starts_with("---") || line.starts_with("+++") || paren == std::string::npos) continue;
    const std::string name = line.substr(0, paren);
    calls.push_back({name, ++counts[name], line});
  }
  return calls;
}

}  // namespace straced_run
