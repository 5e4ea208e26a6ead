#include "textio/parallel_records.h"

#include <sched.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

int DefaultJobCount() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (::sched_getaffinity(0, sizeof(cores), &cores) != 0) return 1;
  return std::clamp(CPU_COUNT(&cores), 1, kMostDefaultJobs);
}

int ForEachPart(int parts, std::size_t count,
                const std::function<void(int part, std::size_t begin, std::size_t end)>& work) {
  if (count == 0) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(parts, 1)), count);
  auto begin_of = [&](std::size_t part) { return count / n * part + std::min(part, count % n); };
  // What a part throws (out of memory, say) is thrown again here, the
  // earliest part's first, once every thread has ended.
  std::vector<std::exception_ptr> thrown(n);
  auto run = [&](std::size_t part) {
    try {
      work(static_cast<int>(part), begin_of(part), begin_of(part + 1));
    } catch (...) {
      thrown[part] = std::current_exception();
    }
  };
  std::vector<std::size_t> left;  // parts no thread could be started for
  left.reserve(n);
  {
    std::vector<std::jthread> threads;
    threads.reserve(n - 1);
    for (std::size_t part = 1; part < n; ++part) {
      try {
        threads.emplace_back(run, part);
      } catch (const std::system_error&) {
        left.push_back(part);
      }
    }
    run(0);
    for (std::size_t part : left) run(part);
  }  // the threads are joined here
  for (const std::exception_ptr& e : thrown) {
    if (e) std::rethrow_exception(e);
  }
  return static_cast<int>(n);
}

namespace {

// Bytes of formatted records per thread and batch: the batch buffer stays
// well inside the memory a thread may add to the run.
constexpr std::size_t kBatchBytesPerJob = std::size_t{2} << 20;

}  // namespace

void WriteRecordsInParallel(OutputFile& file, std::size_t length, std::size_t count, int jobs,
                            const FormatRecordFunction& format) {
  const std::size_t stride = length + 2;
  const std::size_t batch =
      std::min(count, std::max<std::size_t>(1, kBatchBytesPerJob * static_cast<std::size_t>(jobs) / stride));
  std::unique_ptr<char[]> buffer(new char[batch * stride]);
  std::vector<std::vector<std::size_t>> overflows(static_cast<std::size_t>(jobs));
  for (std::size_t first = 0; first < count; first += batch) {
    const std::size_t n = std::min(batch, count - first);
    const int parts = ForEachPart(jobs, n, [&](int part, std::size_t begin, std::size_t end) {
      std::vector<std::size_t>& overflowed = overflows[static_cast<std::size_t>(part)];
      overflowed.clear();
      for (std::size_t k = begin; k < end; ++k) {
        char* out = buffer.get() + k * stride;
        if (!format(first + k, out)) overflowed.push_back(k);
        out[length] = '\r';
        out[length + 1] = '\n';
      }
    });
    // Written in runs that end at each overflowed record, its report after it.
    std::size_t written = 0;
    for (int part = 0; part < parts; ++part) {
      for (std::size_t k : overflows[static_cast<std::size_t>(part)]) {
        file.WriteRecordBlock(buffer.get() + written * stride, stride, k + 1 - written);
        written = k + 1;
        ReportOutputConversion(file.unit(), file.path());
      }
    }
    file.WriteRecordBlock(buffer.get() + written * stride, stride, n - written);
  }
}
