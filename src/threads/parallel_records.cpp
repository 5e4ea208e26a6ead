#include "threads/parallel_records.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "system/processors.h"
#include "threads/piece_crew.h"
#include "threads/run_crew.h"

int DefaultJobCount() { return std::clamp(UsableProcessorCount(), 1, kMostDefaultJobs); }

void LimitReadingThreadStacks() { LimitThreadStacks(std::size_t{4} << 20); }

namespace {

// Pieces a batch is cut into, per thread: a thread that had something else
// to do first (the next batch to read, the last one to write), or whose core
// went to another process, leaves the pieces it has not begun to the
// others, so that no core waits long for another.
constexpr std::size_t kPiecesPerJob = 32;

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
  const std::size_t wanted = std::min(count, static_cast<std::size_t>(std::max(parts, 1)));
  const PieceCrew::Work run = [&](std::size_t part, std::size_t begin, std::size_t end) {
    work(static_cast<int>(part), begin, end);
  };
  BorrowedCrew crew(static_cast<int>(wanted) - 1);
  crew->Begin(count, wanted, run);
  return static_cast<int>(crew->Finish());
}

void ForEachPiece(int jobs, std::size_t count,
                  const std::function<void(std::size_t begin, std::size_t end)>& work) {
  if (count == 0) return;
  jobs = std::max(jobs, 1);
  const PieceCrew::Work run = [&](std::size_t, std::size_t begin, std::size_t end) {
    work(begin, end);
  };
  BorrowedCrew crew(jobs - 1);
  crew->Begin(count, jobs == 1 ? 1 : kPiecesPerJob * static_cast<std::size_t>(jobs), run);
  crew->Finish();
}

void ReadInBatches(InputFile& file, int jobs, std::size_t items, const BatchReading& reading) {
  jobs = std::max(jobs, 1);
  std::vector<std::string_view> records;
  RecordsAhead ahead(file);
  // Per piece: the first record it left, and its end (the same when none).
  std::vector<std::pair<std::size_t, std::size_t>> left(kPiecesPerJob *
                                                        static_cast<std::size_t>(jobs));
  const PieceCrew::Work convert_piece = [&](std::size_t piece, std::size_t begin, std::size_t end) {
    left[piece] = {reading.convert(records, begin, end), end};
  };
  BorrowedCrew crew(jobs - 1);  // last: its pieces end before what they use
  for (std::size_t done = 0; done < items;) {
    if (ahead.held()) {
      ahead.TakeInto(records);
    } else {
      file.NextRecords(std::min(items - done, kBatchRecords), records);
    }
    if (reading.prepare && !records.empty()) reading.prepare(records.size());
    // One thread converts the batch in one piece; more share it, and the
    // calling thread first reads the next batch.
    crew->Begin(records.size(), jobs == 1 ? 1 : left.size(), convert_piece);
    const std::size_t after = done + records.size();
    if (jobs > 1 && !records.empty() && after < items) {
      ahead.Read(std::min(items - after, kBatchRecords));
    }
    const std::size_t pieces = crew->Finish();
    std::size_t converted = records.size();
    for (std::size_t piece = 0; piece < pieces; ++piece) {
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
  std::size_t pieces = 0;
  std::vector<std::vector<std::size_t>> overflows;  // by piece
  PieceCrew::Work format_piece;                     // formats a piece, on any thread
};

// Readies the batch's buffers and what formats its pieces.
void MakeBatch(FormattedBatch& batch, std::size_t most, std::size_t stride, int jobs,
               const FormatRecordsFunction& format) {
  batch.bytes.reset(new char[most * stride]);
  batch.overflows.resize(kPiecesPerJob * static_cast<std::size_t>(jobs));
  batch.format_piece = [&batch, stride, &format](std::size_t piece, std::size_t begin,
                                                 std::size_t end) {
    std::vector<std::size_t>& overflowed = batch.overflows[piece];
    overflowed.clear();
    format(batch.first + begin, end - begin, batch.bytes.get() + begin * stride, overflowed);
    for (std::size_t& k : overflowed) k += begin;
  };
}

// Lets the crew format `count` records from `first` in pieces.
void BeginBatch(PieceCrew& crew, FormattedBatch& batch, std::size_t first, std::size_t count,
                int jobs) {
  batch.first = first;
  batch.count = count;
  crew.Begin(count, kPiecesPerJob * static_cast<std::size_t>(jobs), batch.format_piece);
  batch.pieces = crew.pieces();
}

// Writes the batch in runs that end at each overflowed record, the record's
// report right after it. `more_follow`: records of the same layout follow
// the batch.
void WriteBatch(OutputFile& file, const FormattedBatch& batch, std::size_t stride,
                bool more_follow) {
  std::size_t written = 0;
  for (std::size_t piece = 0; piece < batch.pieces; ++piece) {
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
  for (FormattedBatch& batch : batches) MakeBatch(batch, most, stride, jobs, format);
  const BatchEnds ends(file, stride, count, most);
  BorrowedCrew crew(jobs - 1);  // last: its pieces end before the batches go
  BeginBatch(*crew, batches[0], 0, ends.CountFrom(0), jobs);
  crew->Finish();
  // While the calling thread writes one batch, the other threads format the
  // next; the calling thread then formats what they have not yet begun.
  for (std::size_t b = 0;; ++b) {
    FormattedBatch& current = batches[b % 2];
    FormattedBatch& next = batches[(b + 1) % 2];
    const std::size_t next_first = current.first + current.count;
    const std::size_t next_count = ends.CountFrom(next_first);
    if (next_count == 0) {
      WriteBatch(file, current, stride, false);
      return;
    }
    // The calling thread writes first: every piece may go to another. A
    // failed write lets the pieces begun end as it unwinds.
    BeginBatch(*crew, next, next_first, next_count, jobs);
    WriteBatch(file, current, stride, true);
    crew->Finish();
  }
}
