#include "threads/parallel_records.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "system/processors.h"

int DefaultJobCount() { return std::clamp(UsableProcessorCount(), 1, kMostDefaultJobs); }

void LimitThreadStacks() { LimitThreadStacks(std::size_t{4} << 20); }

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

void ReadInBatches(InputFile& file, int jobs, std::size_t items, const BatchReading& reading) {
  std::vector<std::string_view> records;
  // Per part: the first record it left, and its end (the same when none).
  std::vector<std::pair<std::size_t, std::size_t>> left(
      static_cast<std::size_t>(std::max(jobs, 1)));
  for (std::size_t done = 0; done < items;) {
    file.NextRecords(std::min(items - done, kBatchRecords), records);
    if (reading.prepare && !records.empty()) reading.prepare(records.size());
    const int parts =
        ForEachPart(jobs, records.size(), [&](int part, std::size_t begin, std::size_t end) {
          left[static_cast<std::size_t>(part)] = {reading.convert(records, begin, end), end};
        });
    std::size_t converted = records.size();
    for (int part = 0; part < parts; ++part) {
      const auto [first_left, end] = left[static_cast<std::size_t>(part)];
      if (first_left < end) {
        converted = first_left;
        break;
      }
    }
    const BatchTaken taken = reading.take(records, converted);
    if (taken.used < records.size()) file.Unread(records[taken.used]);
    done += taken.used;
    if (taken.ended) return;
    if (taken.read_next_alone) {
      reading.read_alone();
      ++done;
    }
  }
}

namespace {

// Bytes of formatted records per thread and batch: the two batch buffers
// stay well inside the memory a thread may add to the run.
constexpr std::size_t kBatchBytesPerJob = std::size_t{1} << 20;

// One batch of formatted records and the records of each part that
// overflowed, in order.
struct FormattedBatch {
  std::unique_ptr<char[]> bytes;
  std::size_t first = 0;  // the run's number of the batch's first record
  std::size_t count = 0;
  int parts = 0;
  std::vector<std::vector<std::size_t>> overflows;
};

void FormatBatch(FormattedBatch& batch, std::size_t length, int jobs,
                 const FormatRecordsFunction& format) {
  const std::size_t stride = length + 2;
  batch.parts = ForEachPart(jobs, batch.count, [&](int part, std::size_t begin, std::size_t end) {
    std::vector<std::size_t>& overflowed = batch.overflows[static_cast<std::size_t>(part)];
    overflowed.clear();
    format(batch.first + begin, end - begin, batch.bytes.get() + begin * stride, overflowed);
    for (std::size_t& k : overflowed) k += begin;
  });
}

// Writes the batch in runs that end at each overflowed record, the record's
// report right after it.
void WriteBatch(OutputFile& file, const FormattedBatch& batch, std::size_t stride) {
  std::size_t written = 0;
  for (int part = 0; part < batch.parts; ++part) {
    for (std::size_t k : batch.overflows[static_cast<std::size_t>(part)]) {
      file.WriteRecordBlock(batch.bytes.get() + written * stride, stride, k + 1 - written);
      written = k + 1;
      ReportOutputConversion(file.unit(), file.path());
    }
  }
  file.WriteRecordBlock(batch.bytes.get() + written * stride, stride, batch.count - written);
}

}  // namespace

void WriteRecordsInParallel(OutputFile& file, std::size_t length, std::size_t count, int jobs,
                            const FormatRecordsFunction& format) {
  const std::size_t stride = length + 2;
  const std::size_t most = std::min(
      count, std::max<std::size_t>(1, kBatchBytesPerJob * static_cast<std::size_t>(jobs) / stride));
  FormattedBatch batches[2];
  for (FormattedBatch& batch : batches) {
    batch.bytes.reset(new char[most * stride]);
    batch.overflows.resize(static_cast<std::size_t>(jobs));
  }
  batches[0].count = most;
  FormatBatch(batches[0], length, jobs, format);
  // While one batch is written, the threads format the next.
  for (std::size_t b = 0;; ++b) {
    FormattedBatch& current = batches[b % 2];
    FormattedBatch& next = batches[(b + 1) % 2];
    next.first = current.first + current.count;
    next.count = std::min(most, count - next.first);
    std::exception_ptr thrown;
    {
      std::jthread formatter;
      bool formatting = false;
      if (next.count > 0) {
        try {
          formatter = std::jthread([&] {
            try {
              FormatBatch(next, length, jobs, format);
            } catch (...) {
              thrown = std::current_exception();
            }
          });
          formatting = true;
        } catch (const std::system_error&) {
          // No thread to be had: the batch is formatted after the write.
        }
      }
      WriteBatch(file, current, stride);
      if (next.count > 0 && !formatting) FormatBatch(next, length, jobs, format);
    }  // the formatter is joined here, also when the write failed
    if (thrown) std::rethrow_exception(thrown);
    if (next.count == 0) return;
  }
}
