// The model check, in process, on arbitrary model bytes: it must end with its
// report (status 0 or 3), a numbered diagnostic or the refusal of the model
// with what a second look finds, and it must write no file.
#include <cstdint>
#include <filesystem>

#include "driver/check_run.h"
#include "harness.h"

namespace {

using fuzz_harness::Fail;

// Every status a check may end with: 0 or 3 after the report, 1 for a model
// it refuses, or the number of a diagnostic.
constexpr int kStatuses[] = {0, 1, 3, 9, 24, 29, 30, 38, 39, 41, 42, 43, 59, 64, 179, 545, 547};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_harness::EnterScratchDirectory("cdb2bem-fuzz-check-XXXXXX");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_harness::WriteWhole("ANSYS_Model.cdb", data, size);
  if (fuzz_harness::ClaimsCountsAboveCap(size)) return -1;  // not run, and kept out of the corpus
  const int status = RunCheck();
  if (!fuzz_harness::IsOneOf(status, kStatuses)) Fail("an exit status that no check ends with\n");
  if (std::filesystem::exists("input.dat") || std::filesystem::exists("input.plt")) {
    Fail("the check wrote a file\n");
  }
  return 0;
}
