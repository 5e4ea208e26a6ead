// What the fuzz targets that run the program in process share: a scratch
// working directory, the model written into it, and the cap on the counts a
// header may claim.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "driver/model_size_scan.h"
#include "textio/diagnostics.h"

namespace fuzz_harness {

[[noreturn]] inline void Fail(const char* what) {
  [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, what, std::strlen(what));
  std::abort();
}

inline void WriteWhole(const char* name, const void* data, std::size_t size) {
  int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) Fail("scratch write\n");
  ::close(fd);
}

/// Makes one scratch directory for every run, in memory when the machine has
/// it, the working directory until the process ends; standard output (the
/// console records, the report) goes to /dev/null.
inline void EnterScratchDirectory(const char* name_pattern) {
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  static std::string scratch;
  scratch = (base / name_pattern).string();
  if (::mkdtemp(scratch.data()) == nullptr || ::chdir(scratch.c_str()) != 0) Fail("scratch dir\n");
  std::atexit([] { std::filesystem::remove_all(scratch); });
  int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd < 0 || ::dup2(null_fd, STDOUT_FILENO) < 0) Fail("/dev/null\n");
  ::close(null_fd);
}

// A header may claim up to 2147483647 nodes or elements, and the run then
// allocates tables of up to 4294967295 bytes each. Untouched as they stay,
// the sanitizer's bookkeeping of such blocks held the targets to a few runs a
// second. Every node, element or field record takes at least one byte of the
// model, so no input fills a table beyond as many columns as it has bytes:
// the targets run only models whose counts stay within kCountCap or the
// input's size, whichever is larger, and reject the others before the run.
// The largest tables are run in full by the hostile-header tests
// (tests/e2e/system_faults_test.cpp).
inline constexpr std::size_t kCountCap = std::size_t{1} << 16;

/// Whether "ANSYS_Model.cdb", of `input_size` bytes, claims counts above the cap.
inline bool ClaimsCountsAboveCap(std::size_t input_size) {
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

/// Whether `status` is one of `statuses`.
template <std::size_t N>
bool IsOneOf(int status, const int (&statuses)[N]) {
  return std::find(std::begin(statuses), std::end(statuses), status) != std::end(statuses);
}

}  // namespace fuzz_harness
