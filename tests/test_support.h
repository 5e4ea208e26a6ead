// Helpers shared by the tests: a scratch working directory, files in it, and
// runs of the translator in process or as the built program.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/translation_run.h"
#include "textio/diagnostics.h"

namespace test_support {

/// A fresh temporary directory that is the working directory while the
/// object lives.
class ScopedTempDir {
 public:
  ScopedTempDir() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "cdb2bem-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~ScopedTempDir() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& name, std::string_view content) {
  std::ofstream out(name, std::ios::binary);
  out << content;
}

/// The bytes of the file `name`; empty when it cannot be read. In blocks,
/// not through a string stream: the outputs of the large models read back
/// in a third of the time.
inline std::string ReadFile(const std::filesystem::path& name) {
  std::ifstream in(name, std::ios::binary);
  std::string text;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(name, error);
  if (!error) text.reserve(static_cast<std::size_t>(size));
  std::vector<char> block(std::size_t{1} << 16);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    text.append(block.data(), static_cast<std::size_t>(in.gcount()));
  }
  return text;
}

/// Model text written with "\n" line ends, turned into CR LF ends.
inline std::string WithCrLf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

/// Runs the translator in process in the current directory.
inline RunResult RunInProcess() {
  RunResult result;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  result.status = RunTranslation();
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

/// Runs `action` as a part of a run, catching the RunEnded with which a
/// diagnostic ends the run: the status (-1 when `action` returned) and the
/// standard error written meanwhile.
template <class Action>
RunResult CatchRunEnded(Action&& action) {
  RunResult result;
  testing::internal::CaptureStderr();
  try {
    action();
  } catch (const RunEnded& ended) {
    result.status = ended.status;
  }
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

/// `action` must end the run with `status` after printing the one line `line`.
template <class Action>
void ExpectRunEnded(Action&& action, int status, const std::string& line) {
  const RunResult ended = CatchRunEnded(action);
  EXPECT_EQ(ended.err, line + "\r\n");
  EXPECT_EQ(ended.status, status);
}

/// Expects the same real: NaN matches NaN, and -0.0 differs from 0.0.
inline void ExpectSameReal(double expected, double actual) {
  const bool same = expected == actual && std::signbit(expected) == std::signbit(actual);
  EXPECT_TRUE(same || (std::isnan(expected) && std::isnan(actual)))
      << "expected " << expected << ", got " << actual;
}

/// The number of cases a random sweep draws: all `full` of them when the
/// environment variable CDB2BEM_NUMBER_SWEEP is "full", else a fiftieth, the
/// same ones every run (the seeds are fixed). The full sweep:
///   CDB2BEM_NUMBER_SWEEP=full build/translator_tests --gtest_filter='Number*'
inline int RandomSweepCases(int full) {
  const char* sweep = std::getenv("CDB2BEM_NUMBER_SWEEP");
  return sweep != nullptr && std::string_view(sweep) == "full" ? full : full / 50;
}

/// `word` quoted for the shell.
inline std::string ShellQuoted(std::string_view word) {
  std::string quoted(1, '\'');
  for (char c : word) {
    if (c == '\'') {
      quoted.append("'\\''");
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('\'');
  return quoted;
}

/// Runs `command` in `directory` through the shell, its standard output
/// caught (or sent to `stdout_target`, a shell word, when one is given) and
/// its standard error caught.
inline RunResult RunInDirectory(const std::filesystem::path& directory, const std::string& command,
                                std::string_view stdout_target = {}) {
  const std::filesystem::path out = directory / ".stdout";
  const std::filesystem::path err = directory / ".stderr";
  std::string line = "cd ";
  line.append(ShellQuoted(directory.string())).append(" && ").append(command).append(" >");
  line.append(stdout_target.empty() ? ShellQuoted(out.string()) : std::string(stdout_target));
  line.append(" 2>").append(ShellQuoted(err.string()));
  const int raw = std::system(line.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = std::filesystem::exists(out) ? ReadFile(out) : "";
  result.err = ReadFile(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

/// Runs the built program as its own process in `directory`, started
/// through `runner` (a command prefix) when one is given.
inline RunResult RunProgram(const std::filesystem::path& directory, std::string_view runner = {}) {
  std::string command(runner);
  command.append(" ").append(ShellQuoted(CDB2BEM_BINARY));
  return RunInDirectory(directory, command);
}

/// Runs the built program with `args` in `directory`; standard output goes
/// to `stdout_target` (a shell word) when one is given.
inline RunResult RunProgramWith(const std::filesystem::path& directory,
                                const std::vector<std::string>& args,
                                std::string_view stdout_target = {}) {
  std::string command = ShellQuoted(CDB2BEM_BINARY);
  for (const std::string& arg : args) command.append(" ").append(ShellQuoted(arg));
  return RunInDirectory(directory, command, stdout_target);
}

/// A copy of the built program that every user may run, in a directory of
/// its own open to all (the build tree may lie in a home directory closed
/// to others, as root's is): for runs as another user. Made once, removed
/// when the tests end.
inline std::string ProgramAnyoneCanRun() {
  struct Copy {
    std::filesystem::path directory;
    std::filesystem::path program;
    Copy() {
      namespace fs = std::filesystem;
      directory = fs::temp_directory_path() / ("cdb2bem-program-" + std::to_string(::getpid()));
      fs::create_directories(directory);
      program = directory / fs::path(CDB2BEM_BINARY).filename();
      fs::copy_file(CDB2BEM_BINARY, program, fs::copy_options::overwrite_existing);
      const fs::perms open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec;
      fs::permissions(directory, open);
      fs::permissions(program, open);
    }
    ~Copy() {
      std::error_code ignored;
      std::filesystem::remove_all(directory, ignored);
    }
  };
  static const Copy copy;
  return copy.program.string();
}

/// Appends `value` right-aligned in `width` columns, as "%*d" prints it.
inline void AppendInteger(std::string& text, long long value, int width) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<int>(end - digits);
  if (length < width) text.append(static_cast<std::size_t>(width - length), ' ');
  text.append(digits, end);
}

/// Appends `value` right-aligned in `width` columns with `decimals` digits
/// after the point, as "%*.*E" prints it. Generated models of a few
/// megabytes take a tenth of the time they take with snprintf.
inline void AppendExponent(std::string& text, double value, int width, int decimals) {
  char digits[48];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, decimals)
          .ptr;
  for (char* c = digits; c != end; ++c) {
    if (*c == 'e') *c = 'E';
  }
  const auto length = static_cast<int>(end - digits);
  if (length < width) text.append(static_cast<std::size_t>(width - length), ' ');
  text.append(digits, end);
}

/// `dat`, the text of an input.dat, with the date of its title record
/// (columns 69-77) masked, so that runs of different days compare equal.
inline std::string MaskDate(std::string dat) {
  constexpr std::size_t kDateStart = 68, kDateWidth = 9;
  const std::size_t title_end = dat.find('\n');
  if (title_end != std::string::npos && title_end >= kDateStart + kDateWidth) {
    dat.replace(kDateStart, kDateWidth, kDateWidth, '#');
  }
  return dat;
}

/// Why the read-back tests cannot run: empty when /usr/bin/python3 finds
/// every module of `modules` ("vtkmodules, meshio"); otherwise a reason
/// naming the Debian `packages` that give them. The modules are looked up,
/// not imported: importing VTK and meshio takes a third of a second, which
/// the script that uses them spends again.
inline std::string MissingPythonModules(std::string_view modules, std::string_view packages) {
  const std::string command =
      "/usr/bin/python3 -c 'import importlib.util as u, sys; "
      "sys.exit(any(u.find_spec(m.strip()) is None for m in sys.argv[1].split(\",\")))' '" +
      std::string(modules) + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) == 0) return {};
  return "/usr/bin/python3 cannot import " + std::string(modules) + " (Debian packages " +
         std::string(packages) + ")";
}

/// Skips the test when the python modules are missing, or fails it in CI
/// (the variable CI set), where they are required.
#define CDB2BEM_NEED_PYTHON_MODULES(modules, packages)                                 \
  do {                                                                                 \
    const std::string missing = test_support::MissingPythonModules(modules, packages); \
    if (!missing.empty()) {                                                            \
      if (std::getenv("CI") != nullptr) FAIL() << missing << ": required in CI";       \
      GTEST_SKIP() << missing;                                                         \
    }                                                                                  \
  } while (false)

/// The directory of the real ANSYS sample files (tests/data/ansys, their
/// source and licence in its README.md); the element table they are checked
/// against is beside it, in tests/data.
inline std::filesystem::path SamplesDirectory() {
  return std::filesystem::path(CDB2BEM_SOURCE_DIR) / "tests" / "data" / "ansys";
}

/// Records handed to a free-form read one by one.
struct Records {
  std::vector<std::string> lines;
  std::size_t next = 0;
  bool operator()(std::string_view& record) {
    if (next == lines.size()) return false;
    record = lines[next++];
    return true;
  }
};

}  // namespace test_support
