// The model check, in process, on arbitrary model bytes: it must end with its
// report (status 0 or 3), a numbered diagnostic or the refusal of the model
// with what a second look finds, and it must write no file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "driver/check_run.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, what, std::strlen(what));
  std::abort();
}

// Every status a check may end with: 0 or 3 after the report, 1 for a model
// it refuses, or the number of a diagnostic.
constexpr int kStatuses[] = {0, 1, 3, 9, 24, 29, 30, 38, 39, 41, 42, 43, 59, 64, 179, 545, 547};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                   ? std::filesystem::path("/dev/shm")
                                   : std::filesystem::temp_directory_path();
  static std::string scratch = (base / "cdb2bem-fuzz-check-XXXXXX").string();
  if (::mkdtemp(scratch.data()) == nullptr || ::chdir(scratch.c_str()) != 0) Fail("scratch dir\n");
  std::atexit([] { std::filesystem::remove_all(scratch); });
  // The report is of no interest here.
  int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd < 0 || ::dup2(null_fd, STDOUT_FILENO) < 0) Fail("/dev/null\n");
  ::close(null_fd);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = ::open("ANSYS_Model.cdb", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) Fail("scratch write\n");
  ::close(fd);
  const int status = RunCheck();
  if (std::find(std::begin(kStatuses), std::end(kStatuses), status) == std::end(kStatuses)) {
    Fail("an exit status that no check ends with\n");
  }
  if (std::filesystem::exists("input.dat") || std::filesystem::exists("input.plt")) {
    Fail("the check wrote a file\n");
  }
  return 0;
}
