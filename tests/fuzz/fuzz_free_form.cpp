// The free-form reader on arbitrary records (the bytes split at line feeds),
// into as many targets as the first byte says. The same records are read once
// into integers and once into reals: both reads must take the same records,
// and each integer must be what its real value gives an integer target. A
// first record that the column read (fields of 8 to 10 columns) takes must give the same integers.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "textio/column_integers.h"
#include "textio/free_form.h"

namespace {

struct Records {
  std::vector<std::string_view> lines;
  std::size_t next = 0;
  bool refused = false;  // the end was reported once
};

bool NextRecord(void* context, std::string_view& record) {
  Records& records = *static_cast<Records*>(context);
  if (records.refused) std::abort();  // asked again after the end of the stream
  if (records.next == records.lines.size()) {
    records.refused = true;
    return false;
  }
  record = records.lines[records.next++];
  return true;
}

template <class T>
FreeFormStatus Read(const std::vector<std::string_view>& lines, std::vector<T>& values,
                    std::size_t& used) {
  Records records{lines};
  std::vector<FreeFormTarget> targets(values.begin(), values.end());
  auto next = [&records](std::string_view& record) { return NextRecord(&records, record); };
  FreeFormStatus status = ParseFreeForm(next, targets);
  used = records.next;
  return status;
}

// A real value as an integer target takes it: truncated toward zero, the
// least integer when outside the 32-bit range.
std::int32_t IntegerOf(double real) {
  if (std::isnan(real) || real <= -2147483649.0 || real >= 2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(real);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t target_count = data[0] % 17;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string_view> lines;
  for (std::size_t lf; (lf = text.find('\n')) != std::string_view::npos;
       text.remove_prefix(lf + 1)) {
    lines.push_back(text.substr(0, lf));
  }
  if (!text.empty()) lines.push_back(text);

  // Values a null leaves alone: the same number in both kinds.
  std::vector<std::int32_t> integers(target_count, 7777);
  std::vector<double> reals(target_count, 7777.0);
  std::size_t integer_records = 0;
  std::size_t real_records = 0;
  const FreeFormStatus integer_status = Read(lines, integers, integer_records);
  const FreeFormStatus real_status = Read(lines, reals, real_records);
  if (target_count == 0 && integer_records != (lines.empty() ? 0u : 1u)) std::abort();
  if (integer_status == FreeFormStatus::kDone) {
    if (real_status != FreeFormStatus::kDone || real_records != integer_records) std::abort();
    for (std::size_t k = 0; k < target_count; ++k) {
      if (integers[k] != IntegerOf(reals[k])) std::abort();
    }
  }
  // A first record that the column read takes, at any width, gives the
  // integer read the same values, from that record alone.
  for (std::size_t width = kNarrowestIntegerColumns; width <= kWidestIntegerColumns; ++width) {
    std::vector<std::int32_t> columns(target_count, 0);
    if (target_count > 0 && !lines.empty() && TakeColumnIntegers(lines[0], width, columns)) {
      if (integer_status != FreeFormStatus::kDone || integer_records != 1 || columns != integers) {
        std::abort();
      }
    }
  }
  return 0;
}
