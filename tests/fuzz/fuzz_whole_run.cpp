// The whole run, in process, on arbitrary model bytes: it must end with the
// closing message, a numbered diagnostic or the refusal of the model, and a
// run that fails before writing must leave the earlier output files as they
// were.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_harness::EnterScratchDirectory("cdb2bem-fuzz-XXXXXX");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteWhole("ANSYS_Model.cdb", data, size);
  if (fuzz_harness::ClaimsCountsAboveCap(size)) return -1;  // not run, and kept out of the corpus
  WriteWhole("input.dat", kEarlierOutput.data(), kEarlierOutput.size());
  WriteWhole("input.plt", kEarlierOutput.data(), kEarlierOutput.size());
  const int status = RunTranslation();
  if (!fuzz_harness::IsOneOf(status, kStatuses)) Fail("an exit status that no run ends with\n");
  // Only a finished run (status 0 with the files written) replaces them.
  const bool dat_kept = IsEarlierOutput("input.dat");
  const bool plt_kept = IsEarlierOutput("input.plt");
  if (status != 0 && !(dat_kept && plt_kept)) Fail("a failed run changed an earlier output\n");
  if (status == 0 && dat_kept != plt_kept) Fail("a finished run wrote one output only\n");
  return 0;
}
