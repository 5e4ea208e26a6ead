// The second half of a model file searched on a thread of its own for the
// records that a scan stops at, while the scan reads the first half.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "textio/input_file.h"

/// The files the search is worth a thread for.
inline constexpr std::uint64_t kLeastIndexedFileSize = std::uint64_t{4} << 20;

/// From its making to its end, SkipRecordsNotBeginningWith(initials) on
/// `file` passes over the records of the file's second half by an index of
/// those beginning with one of `initials`, which a thread of its own makes
/// meanwhile. With one job, a file smaller than `least_size`, or a thread
/// that cannot be started or read, every record is read as without it.
class RecordIndexScan final : public RecordIndexSource {
 public:
  /// The search reads the file `block` bytes at a time.
  RecordIndexScan(InputFile& file, int jobs, std::string_view initials,
                  std::uint64_t least_size = kLeastIndexedFileSize,
                  std::size_t block = std::size_t{1} << 20);
  ~RecordIndexScan() override;
  RecordIndexScan(const RecordIndexScan&) = delete;
  RecordIndexScan& operator=(const RecordIndexScan&) = delete;

  std::string_view initials() const override { return initials_; }
  std::uint64_t begin() const override { return begin_; }
  const RecordIndex* Wait() override;

 private:
  class Search;
  InputFile& file_;
  std::string_view initials_;
  std::uint64_t begin_;
  std::unique_ptr<Search> search_;
};
