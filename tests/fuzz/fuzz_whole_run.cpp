// The whole run, in process, on arbitrary model bytes: it must end with the
// closing message, a numbered diagnostic or the refusal of the model, and a
// run that fails before writing must leave the earlier output files as they
// were. Each model is run on one thread and again on two or three: the
// status, the console and both files must be the same.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "driver/model_size_scan.h"
#include "driver/translation_run.h"
#include "textio/diagnostics.h"

namespace {

constexpr std::string_view kEarlierOutput = "output of an earlier run\r\n";

[[noreturn]] void Fail(const char* what) {
  [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, what, std::strlen(what));
  std::abort();
}

void WriteWhole(const char* name, const void* data, std::size_t size) {
  int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) Fail("scratch write\n");
  ::close(fd);
}

bool IsEarlierOutput(const char* name) {
  char head[64];
  int fd = ::open(name, O_RDONLY);
  if (fd < 0) return false;
  ssize_t n = ::read(fd, head, sizeof(head));
  ::close(fd);
  return std::string_view(head, n < 0 ? 0 : static_cast<std::size_t>(n)) == kEarlierOutput;
}

// A header may claim up to 2147483647 nodes or elements, and the run then
// allocates tables of up to 4294967295 bytes each. Untouched as they stay,
// the sanitizer's bookkeeping of such blocks held this target to a few runs a
// second. Every node, element or field record takes at least one byte of the
// model, so no input fills a table beyond as many columns as it has bytes:
// the harness runs only models whose counts stay within kCountCap or the
// input's size, whichever is larger, and rejects the others before the run.
// The largest tables are run in full by the hostile-header tests
// (tests/e2e/system_faults_test.cpp).
constexpr std::size_t kCountCap = std::size_t{1} << 16;

bool ClaimsCountsAboveCap(std::size_t input_size) {
  RunTables sizes;
  try {
    InputFile model("ANSYS_Model.cdb", kModelUnit);
    ScanModelSizes(model, sizes);
  } catch (const RunEnded&) {
    return false;  // the run ends in the same scan
  }
  const std::int64_t cap = static_cast<std::int64_t>(std::max(kCountCap, input_size));
  return sizes.NodeCount > cap || sizes.ElementCount > cap || sizes.FieldPointCount > cap ||
         sizes.FieldCellCount > cap;
}

// Every status a run may end with: 0 after the closing message, 1 for a model
// it refuses, or the number of a diagnostic.
constexpr int kStatuses[] = {0, 1, 9, 24, 29, 30, 38, 39, 41, 42, 43, 59, 64, 179, 545, 547};

std::string ReadWhole(const char* name) {
  std::string text;
  int fd = ::open(name, O_RDONLY);
  if (fd < 0) return "(none)";
  char block[65536];
  for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;) text.append(block, static_cast<std::size_t>(n));
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
  // One scratch directory for every run, in memory when the machine has it.
  std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                   ? std::filesystem::path("/dev/shm")
                                   : std::filesystem::temp_directory_path();
  static std::string scratch = (base / "cdb2bem-fuzz-XXXXXX").string();
  if (::mkdtemp(scratch.data()) == nullptr || ::chdir(scratch.c_str()) != 0) Fail("scratch dir\n");
  std::atexit([] { std::filesystem::remove_all(scratch); });
  // The run's console records are of no interest here.
  int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd < 0 || ::dup2(null_fd, STDOUT_FILENO) < 0) Fail("/dev/null\n");
  ::close(null_fd);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteWhole("ANSYS_Model.cdb", data, size);
  if (ClaimsCountsAboveCap(size)) return -1;  // not run, and kept out of the corpus
  const RunOutcome threads = RunWithJobs(2 + static_cast<int>(size % 2));
  const RunOutcome one = RunWithJobs(1);
  // The title's date could change between the runs only at midnight.
  if (!(threads == one)) {
    std::string what = "threads and one thread differ: status " + std::to_string(threads.status) + " / " +
                       std::to_string(one.status) + "\nconsole [" + threads.console + "]\n / [" + one.console +
                       "]\ndat " + std::to_string(threads.dat.size()) + " / " + std::to_string(one.dat.size()) + "\n";
    Fail(what.c_str());
  }
  const int status = one.status;
  if (std::find(std::begin(kStatuses), std::end(kStatuses), status) == std::end(kStatuses)) {
    Fail("an exit status that no run ends with\n");
  }
  // Only a finished run (status 0 with the files written) replaces them.
  const bool dat_kept = IsEarlierOutput("input.dat");
  const bool plt_kept = IsEarlierOutput("input.plt");
  if (status != 0 && !(dat_kept && plt_kept)) Fail("a failed run changed an earlier output\n");
  if (status == 0 && dat_kept != plt_kept) Fail("a finished run wrote one output only\n");
  return 0;
}
