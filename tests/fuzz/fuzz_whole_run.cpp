// The whole run, in process, on arbitrary model bytes: it must end with the
// closing message, a numbered diagnostic or the refusal of the model, and a
// run that fails before writing must leave the earlier output files as they
// were. Each model is run on one thread and again on two or three: the
// status, the console and both files must be the same.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/translation_run.h"
#include "harness.h"

namespace {

using fuzz_harness::Fail;
using fuzz_harness::WriteWhole;

constexpr std::string_view kEarlierOutput = "output of an earlier run\r\n";

bool IsEarlierOutput(const char* name) {
  char head[64];
  int fd = ::open(name, O_RDONLY);
  if (fd < 0) return false;
  ssize_t n = ::read(fd, head, sizeof(head));
  ::close(fd);
  return std::string_view(head, n < 0 ? 0 : static_cast<std::size_t>(n)) == kEarlierOutput;
}

// Every status a run may end with: 0 after the closing message, 1 for a model
// it refuses, or the number of a diagnostic.
constexpr int kStatuses[] = {0, 1, 9, 24, 29, 30, 38, 39, 41, 42, 43, 59, 64, 179, 545, 547};

std::string ReadWhole(const char* name) {
  std::string text;
  int fd = ::open(name, O_RDONLY);
  if (fd < 0) return "(none)";
  char block[65536];
  for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;)
    text.append(block, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

// What a run leaves: its status, its console (standard output and error in
// the order written) and the two files.
struct RunOutcome {
  int status;
  std::string console, dat, plt;
  bool operator==(const RunOutcome&) const = default;
};

RunOutcome RunWithJobs(int jobs) {
  WriteWhole("input.dat", kEarlierOutput.data(), kEarlierOutput.size());
  WriteWhole("input.plt", kEarlierOutput.data(), kEarlierOutput.size());
  const int saved_out = ::dup(STDOUT_FILENO);
  const int saved_err = ::dup(STDERR_FILENO);
  const int console = ::open("console.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (saved_out < 0 || saved_err < 0 || console < 0 || ::dup2(console, STDOUT_FILENO) < 0 ||
      ::dup2(console, STDERR_FILENO) < 0) {
    Fail("console redirection\n");
  }
  ::close(console);
  RunOutcome outcome;
  outcome.status = RunTranslation({}, jobs);
  ::dup2(saved_out, STDOUT_FILENO);
  ::dup2(saved_err, STDERR_FILENO);
  ::close(saved_out);
  ::close(saved_err);
  outcome.console = ReadWhole("console.txt");
  outcome.dat = ReadWhole("input.dat");
  outcome.plt = ReadWhole("input.plt");
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_harness::EnterScratchDirectory("cdb2bem-fuzz-XXXXXX");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteWhole("ANSYS_Model.cdb", data, size);
  if (fuzz_harness::ClaimsCountsAboveCap(size)) return -1;  // not run, and kept out of the corpus
  // Every model runs on one thread. A quarter of them (by their size) run
  // first on two or three threads, which must leave exactly what one thread
  // leaves: comparing every model would halve the target's rate in CI.
  // CDB2BEM_FUZZ_JOBS=N compares every model, run on N threads.
  static const int every_model_jobs = [] {
    const char* jobs = std::getenv("CDB2BEM_FUZZ_JOBS");
    return jobs != nullptr ? std::atoi(jobs) : 0;
  }();
  const bool compared = every_model_jobs > 1 || size % 4 == 0;
  RunOutcome threads{};
  if (compared)
    threads = RunWithJobs(every_model_jobs > 1 ? every_model_jobs : size % 8 == 0 ? 2 : 3);
  const RunOutcome one = RunWithJobs(1);
  // The title's date could change between the runs only at midnight.
  if (compared && !(threads == one)) {
    const std::string what = "threads and one thread differ: status " +
                             std::to_string(threads.status) + " / " + std::to_string(one.status) +
                             "\nconsole [" + threads.console + "]\n / [" + one.console + "]\n";
    Fail(what.c_str());
  }
  const int status = one.status;
  if (!fuzz_harness::IsOneOf(status, kStatuses)) Fail("an exit status that no run ends with\n");
  // Only a finished run (status 0 with the files written) replaces them.
  const bool dat_kept = IsEarlierOutput("input.dat");
  const bool plt_kept = IsEarlierOutput("input.plt");
  if (status != 0 && !(dat_kept && plt_kept)) Fail("a failed run changed an earlier output\n");
  if (status == 0 && dat_kept != plt_kept) Fail("a finished run wrote one output only\n");
  return 0;
}
