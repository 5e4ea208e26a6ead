#include "threads/parallel_records.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "system/processors.h"

int DefaultJobCount() { return std::clamp(UsableProcessorCount(), 1, kMostDefaultJobs); }

void LimitReadingThreadStacks() { LimitThreadStacks(std::size_t{4} << 20); }

namespace {

// Pieces a batch is cut into, per thread: a thread that had something else
// to do first (the next batch to read, the last one to write) takes the
// pieces left when it is done, so that no core waits for another.
constexpr std::size_t kPiecesPerJob = 8;

// Contiguous pieces of [0, count) handed out one at a time to whichever
// thread asks.
class Pieces {
 public:
  void Begin(std::size_t count, std::size_t pieces) {
    count_ = count;
    pieces_ = std::min(count, pieces);
    next_.store(0, std::memory_order_relaxed);
  }
  std::size_t count() const { return pieces_; }
  std::size_t begin(std::size_t piece) const {
    return count_ / pieces_ * piece + std::min(piece, count_ % pieces_);
  }
  /// Calls `work(piece, begin, end)` for pieces not yet taken, until none is left.
  template <class Work>
  void TakeAll(const Work& work) {
    for (;;) {
      const std::size_t piece = next_.fetch_add(1, std::memory_order_relaxed);
      if (piece >= pieces_) return;
      work(piece, begin(piece), begin(piece + 1));
    }
  }

 private:
  std::size_t count_ = 0;
  std::size_t pieces_ = 0;
  std::atomic<std::size_t> next_{0};
};

// Threads that run `work` beside the calling thread; joined, and what they
// threw kept, when it ends. A thread that cannot be started leaves its share
// to the others.
class Helpers {
 public:
  /// Starts `threads` threads, but not more than there are pieces beyond
  /// the `own` ones of the calling thread.
  Helpers(int threads, const Pieces& pieces, std::size_t own, std::function<void()> work)
      : work_(std::move(work)),
        thrown_(std::min(static_cast<std::size_t>(std::max(threads, 0)),
                         pieces.count() - std::min(own, pieces.count()))) {
    threads_.reserve(thrown_.size());
    for (std::exception_ptr& thrown : thrown_) {
      try {
        threads_.emplace_back([this, &thrown] {
          try {
            work_();
          } catch (...) {
            thrown = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        break;
      }
    }
  }

  Helpers(const Helpers&) = delete;
  Helpers& operator=(const Helpers&) = delete;

  /// Joins the threads, then throws the first thing one of them threw.
  void Finish() {
    threads_.clear();
    for (const std::exception_ptr& e : thrown_) {
      if (e) std::rethrow_exception(e);
    }
  }

 private:
  std::function<void()> work_;
  std::vector<std::exception_ptr> thrown_;
  std::vector<std::jthread> threads_;  // last: joined before the others go
};

// Records read ahead that the reading has not taken: given back to the file
// when the batch before them is not taken whole, or when the run of records
// ends, also by an exception.
class RecordsAhead {
 public:
  explicit RecordsAhead(InputFile& file) : file_(file) {}
  ~RecordsAhead() {
    if (!held_) return;
    try {
      file_.DropAhead();
    } catch (...) {
      // Ending already; the file is read no more.
    }
  }
  RecordsAhead(const RecordsAhead&) = delete;
  RecordsAhead& operator=(const RecordsAhead&) = delete;

  bool held() const { return held_; }
  void Read(std::size_t most) { held_ = file_.NextRecordsAhead(most, records_); }
  void Drop() {
    if (std::exchange(held_, false)) file_.DropAhead();
  }
  /// The records read ahead become `batch`.
  void TakeInto(std::vector<std::string_view>& batch) {
    batch.swap(records_);
    held_ = false;
  }

 private:
  InputFile& file_;
  std::vector<std::string_view> records_;
  bool held_ = false;
};

}  // namespace

int ForEachPart(int parts, std::size_t count,
                const std::function<void(int part, std::size_t begin, std::size_t end)>& work) {
  if (count == 0) return 0;
  Pieces pieces;
  pieces.Begin(count, static_cast<std::size_t>(std::max(parts, 1)));
  // What a part throws (out of memory, say) is thrown again here, the
  // earliest part's first, once every part has run.
  std::vector<std::exception_ptr> thrown(pieces.count());
  const auto run = [&] {
    pieces.TakeAll([&](std::size_t part, std::size_t begin, std::size_t end) {
      try {
        work(static_cast<int>(part), begin, end);
      } catch (...) {
        thrown[part] = std::current_exception();
      }
    });
  };
  {
    Helpers helpers(parts - 1, pieces, 1, run);
    run();
    helpers.Finish();
  }
  for (const std::exception_ptr& e : thrown) {
    if (e) std::rethrow_exception(e);
  }
  return static_cast<int>(pieces.count());
}

void ReadInBatches(InputFile& file, int jobs, std::size_t items, const BatchReading& reading) {
  jobs = std::max(jobs, 1);
  std::vector<std::string_view> records;
  RecordsAhead ahead(file);
  Pieces pieces;
  // Per piece: the first record it left, and its end (the same when none).
  std::vector<std::pair<std::size_t, std::size_t>> left(kPiecesPerJob *
                                                        static_cast<std::size_t>(jobs));
  const auto convert_pieces = [&] {
    pieces.TakeAll([&](std::size_t piece, std::size_t begin, std::size_t end) {
      left[piece] = {reading.convert(records, begin, end), end};
    });
  };
  for (std::size_t done = 0; done < items;) {
    if (ahead.held()) {
      ahead.TakeInto(records);
    } else {
      file.NextRecords(std::min(items - done, kBatchRecords), records);
    }
    if (reading.prepare && !records.empty()) reading.prepare(records.size());
    // One thread converts the batch in one piece; more share it, and the
    // calling thread first reads the next batch.
    pieces.Begin(records.size(), jobs == 1 ? 1 : left.size());
    {
      Helpers helpers(jobs - 1, pieces, 1, convert_pieces);
      const std::size_t after = done + records.size();
      if (jobs > 1 && !records.empty() && after < items) {
        ahead.Read(std::min(items - after, kBatchRecords));
      }
      convert_pieces();
      helpers.Finish();
    }
    std::size_t converted = records.size();
    for (std::size_t piece = 0; piece < pieces.count(); ++piece) {
      const auto [first_left, end] = left[piece];
      if (first_left < end) {
        converted = first_left;
        break;
      }
    }
    const BatchTaken taken = reading.take(records, converted);
    if (taken.used < records.size() || taken.ended) ahead.Drop();
    if (taken.used < records.size()) file.Unread(records[taken.used]);
    done += taken.used;
    if (taken.ended) return;
    if (taken.read_next_alone) {
      ahead.Drop();
      reading.read_alone();
      ++done;
    }
  }
}

namespace {

// Bytes of formatted records per thread and batch: the two batch buffers
// stay well inside the memory a thread may add to the run.
constexpr std::size_t kBatchBytesPerJob = std::size_t{1} << 20;

// One batch of formatted records, in pieces, and the records of each piece
// that overflowed, in order.
struct FormattedBatch {
  std::unique_ptr<char[]> bytes;
  std::size_t first = 0;  // the run's number of the batch's first record
  std::size_t count = 0;
  Pieces pieces;
  std::vector<std::vector<std::size_t>> overflows;  // by piece
};

// Splits `count` records from `first` into pieces for the threads to take.
void BeginBatch(FormattedBatch& batch, std::size_t first, std::size_t count, int jobs) {
  batch.first = first;
  batch.count = count;
  batch.pieces.Begin(count, kPiecesPerJob * static_cast<std::size_t>(jobs));
}

// Formats pieces of the batch until none is left; any thread may call it.
void FormatPieces(FormattedBatch& batch, std::size_t stride, const FormatRecordsFunction& format) {
  batch.pieces.TakeAll([&](std::size_t piece, std::size_t begin, std::size_t end) {
    std::vector<std::size_t>& overflowed = batch.overflows[piece];
    overflowed.clear();
    format(batch.first + begin, end - begin, batch.bytes.get() + begin * stride, overflowed);
    for (std::size_t& k : overflowed) k += begin;
  });
}

// Writes the batch in runs that end at each overflowed record, the record's
// report right after it. `more_follow`: records of the same layout follow
// the batch.
void WriteBatch(OutputFile& file, const FormattedBatch& batch, std::size_t stride,
                bool more_follow) {
  std::size_t written = 0;
  for (std::size_t piece = 0; piece < batch.pieces.count(); ++piece) {
    for (std::size_t k : batch.overflows[piece]) {
      file.WriteRecordBlock(batch.bytes.get() + written * stride, stride, k + 1 - written);
      written = k + 1;
      ReportOutputConversion(file.unit(), file.path());
    }
  }
  file.WriteRecordBlock(batch.bytes.get() + written * stride, stride, batch.count - written,
                        more_follow);
}

// Where batches end: at most `most` records each, and, where a batch holds a
// write of the file, at a record whose successor would write the buffer
// out, so that the batches are written straight from where they were built.
class BatchEnds {
 public:
  BatchEnds(const OutputFile& file, std::size_t stride, std::size_t count, std::size_t most)
      : first_write_(file.RecordsBeforeWrite(stride)),
        per_write_(file.RecordsPerWrite(stride)),
        count_(count),
        most_(most) {}

  /// The number of records of the batch that begins at record `first`.
  std::size_t CountFrom(std::size_t first) const {
    const std::size_t end = std::min(count_, first + most_);
    if (end == count_ || end < first_write_) return end - first;
    const std::size_t last_write = first_write_ + (end - first_write_) / per_write_ * per_write_;
    return (last_write > first ? last_write : end) - first;
  }

 private:
  std::size_t first_write_;  // the records before the first write point
  std::size_t per_write_;
  std::size_t count_;
  std::size_t most_;
};

}  // namespace

void WriteRecordsInParallel(OutputFile& file, std::size_t length, std::size_t count, int jobs,
                            const FormatRecordsFunction& format) {
  const std::size_t stride = length + 2;
  const std::size_t most = std::min(
      count, std::max<std::size_t>(1, kBatchBytesPerJob * static_cast<std::size_t>(jobs) / stride));
  FormattedBatch batches[2];
  for (FormattedBatch& batch : batches) {
    batch.bytes.reset(new char[most * stride]);
    batch.overflows.resize(kPiecesPerJob * static_cast<std::size_t>(jobs));
  }
  const BatchEnds ends(file, stride, count, most);
  BeginBatch(batches[0], 0, ends.CountFrom(0), jobs);
  {
    Helpers helpers(jobs - 1, batches[0].pieces, 1,
                    [&] { FormatPieces(batches[0], stride, format); });
    FormatPieces(batches[0], stride, format);
    helpers.Finish();
  }
  // While the calling thread writes one batch, the other threads format the
  // next; the calling thread then formats what they have not yet begun.
  for (std::size_t b = 0;; ++b) {
    FormattedBatch& current = batches[b % 2];
    FormattedBatch& next = batches[(b + 1) % 2];
    const std::size_t next_first = current.first + current.count;
    BeginBatch(next, next_first, ends.CountFrom(next_first), jobs);
    if (next.count == 0) {
      WriteBatch(file, current, stride, false);
      return;
    }
    // The calling thread writes first: every piece may go to another.
    Helpers helpers(jobs - 1, next.pieces, 0, [&] { FormatPieces(next, stride, format); });
    WriteBatch(file, current, stride, true);  // a failed write joins the threads as it unwinds
    FormatPieces(next, stride, format);
    helpers.Finish();
  }
}
