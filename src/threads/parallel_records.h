// Records converted and written on several threads: contiguous pieces of a
// run of records, which the threads take as they come, their results taken
// in record order; the thread count a run takes by default.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/input_file.h"
#include "textio/output_file.h"

/// The most threads a run starts when none are asked for.
inline constexpr int kMostDefaultJobs = 16;

/// The cores this process may run on, from 1 to kMostDefaultJobs.
int DefaultJobCount();

/// The stack of each thread the process starts from now on: 4 MiB, or the
/// system's default when that is smaller. With the two batch buffers of a
/// job (WriteRecordsInParallel) a further thread adds less than 8 MiB of
/// address space to a run.
void LimitReadingThreadStacks();

/// Calls `work(part, begin, end)` for contiguous parts of [0, count), at
/// most `parts` of them and none empty, on the calling thread and up to
/// `parts` - 1 threads (the run's, RunCrew, while it keeps enough and they
/// are not lent elsewhere), each taking the next part not yet
/// begun. Returns the number of parts once all are done; what a part throws
/// is thrown then, the earliest part's. A thread that cannot be started
/// leaves its parts to the others.
int ForEachPart(int parts, std::size_t count,
                const std::function<void(int part, std::size_t begin, std::size_t end)>& work);

/// Calls `work(begin, end)` for contiguous pieces of [0, count), many for
/// each of `jobs` threads (the calling thread one of them), which take them
/// as they come: a thread whose core another process holds leaves its share
/// to the others. Returns once all are done; what a piece throws is thrown
/// then, the earliest piece's.
void ForEachPiece(int jobs, std::size_t count,
                  const std::function<void(std::size_t begin, std::size_t end)>& work);

/// The most records of one batch of ReadInBatches; the buffer of the model
/// file usually holds fewer.
inline constexpr std::size_t kBatchRecords = std::size_t{1} << 16;

/// The records of one batch, views into the file's buffer.
using BatchRecords = std::span<const std::string_view>;

/// Converts records [begin, end) of a batch, on any thread, and returns the
/// first of them it leaves to the calling thread (`end` when none).
using ConvertRecordsFunction =
    std::function<std::size_t(BatchRecords records, std::size_t begin, std::size_t end)>;

/// What the calling thread did with a batch.
struct BatchTaken {
  /// The records used, from the batch's first; the others go back to the
  /// file and are read again.
  std::size_t used = 0;
  /// The first record given back is read next by itself, from the file,
  /// by the reading record by record (`read_alone`), and counts as one item.
  bool read_next_alone = false;
  /// The run of records ends here.
  bool ended = false;
};

/// The converted records of a batch used, and the first one left (or, in an
/// empty batch, the end of the file) read next by itself.
inline BatchTaken ConvertedRecordsTaken(std::span<const std::string_view> records,
                                        std::size_t converted) {
  return {converted, converted < records.size() || records.empty(), false};
}

/// Takes, on the calling thread, a batch whose first `converted` records
/// were converted: `converted` is the batch's size, or the first record a
/// piece left (the pieces after it may have converted more, which mean
/// nothing). An empty batch is the end of the file.
using TakeBatchFunction = std::function<BatchTaken(BatchRecords records, std::size_t converted)>;

/// The steps of ReadInBatches.
struct BatchReading {
  /// Called on the calling thread before a batch of `count` records (not
  /// empty) is converted, to make room for what the conversion gives; may
  /// be empty.
  std::function<void(std::size_t count)> prepare;
  ConvertRecordsFunction convert;
  TakeBatchFunction take;
  /// Reads the next item by itself from the file, as the reading record by
  /// record does, raising what it raises.
  std::function<void()> read_alone;
};

/// Reads a run of up to `items` items from `file` (one a record, or what
/// `read_alone` reads), in batches of records converted in contiguous
/// pieces that `jobs` threads (one: the calling thread alone) take as they
/// come, and taken in record order. A batch holds at most kBatchRecords
/// records and no more than the items left. The run ends after `items`
/// items, or when `take` says so. What the threads leave the calling thread
/// reads alone, so that the run reads, reports and raises exactly as it
/// does record by record.
void ReadInBatches(InputFile& file, int jobs, std::size_t items, const BatchReading& reading);

/// Formats records `first` to `first + count - 1` of a run (counted from 0)
/// into `out`, one after another `length + 2` bytes apart, line ends
/// included, and appends the place in the range (from 0) of each record with
/// a field that overflowed.
using FormatRecordsFunction = std::function<void(std::size_t first, std::size_t count, char* out,
                                                 std::vector<std::size_t>& overflowed)>;

/// Writes `count` records of `length` characters each (line ends added),
/// formatted on `jobs` threads in batches and written in order: the file is
/// written out at the same records, and each overflow reported right after
/// its record, as record-by-record writes do.
void WriteRecordsInParallel(OutputFile& file, std::size_t length, std::size_t count, int jobs,
                            const FormatRecordsFunction& format);

/// Writes records 1 to `count` through `kLayout`, record k with the items
/// `items_of(k)` returns (a std::array of WriteItem). One job writes them
/// one by one as WriteFixedRecord does; more format them in parallel.
template <const auto& kLayout, class ItemsOf>
void WriteFixedRecords(OutputFile& file, std::int32_t count, int jobs, ItemsOf items_of) {
  if (count <= 0) return;
  constexpr std::size_t kLength = LayoutLength(kLayout);
  if (jobs <= 1) {
    for (std::int32_t k = 1; k <= count; ++k) {
      WriteFormattedRecord(file, kLength,
                           [&](char* out) { return FormatFixedRecord<kLayout>(out, items_of(k)); });
    }
    return;
  }
  WriteRecordsInParallel(
      file, kLength, static_cast<std::size_t>(count), jobs,
      [&](std::size_t first, std::size_t n, char* out, std::vector<std::size_t>& overflowed) {
        for (std::size_t i = 0; i < n; ++i, out += kLength + 2) {
          const auto items = items_of(static_cast<std::int32_t>(first + i + 1));
          if (!FormatFixedRecord<kLayout>(out, items)) overflowed.push_back(i);
          out[kLength] = '\r';
          out[kLength + 1] = '\n';
        }
      });
}
