// Records converted on several threads: contiguous parts of a run of
// records, one part per thread, their results taken in record order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/record_file.h"

/// The most threads a run starts when none are asked for.
inline constexpr int kMostDefaultJobs = 16;

/// The cores this process may run on, from 1 to kMostDefaultJobs.
int DefaultJobCount();

/// The stack of each thread the process starts from now on: 4 MiB, or the
/// system's default when that is smaller. With the two batch buffers of a
/// job (WriteRecordsInParallel) a further thread adds less than 8 MiB of
/// address space to a run.
void LimitThreadStacks();

/// Calls `work(part, begin, end)` for contiguous parts of [0, count), at
/// most `parts` of them and none empty: part 0 on the calling thread, every
/// other on a thread of its own. Returns the number of parts once all are
/// done. `work` must not throw. A thread that cannot be started leaves its
/// part to the calling thread.
int ForEachPart(int parts, std::size_t count,
                const std::function<void(int part, std::size_t begin, std::size_t end)>& work);

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
