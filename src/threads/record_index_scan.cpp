#include "threads/record_index_scan.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "system/interruptions.h"

// The thread that indexes the records from the first one beginning at or
// after `begin`: every byte after a line feed is the beginning of a record.
class RecordIndexScan::Search {
 public:
  Search(const InputFile& file, std::string_view initials, std::uint64_t begin, std::size_t block) {
    for (char c : initials) wanted_[static_cast<unsigned char>(c)] = true;
    // Started with interruptions held, whose mask it keeps: an interruption
    // reaches the calling thread only, which holds it while it renames.
    InterruptionsHeld held;
    thread_ = std::jthread([this, &file, begin, block] {
      try {
        found_ = IndexRecordsFrom(file, begin, block);
      } catch (...) {
        found_ = false;  // out of memory: the file is read record by record
      }
    });
  }
  ~Search() { stop_.store(true, std::memory_order_relaxed); }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;

  /// The index, once the thread is done; nullptr when it failed.
  const RecordIndex* Wait() {
    if (thread_.joinable()) thread_.join();
    return found_ ? &index_ : nullptr;
  }

 private:
  bool IndexRecordsFrom(const InputFile& file, std::uint64_t begin, std::size_t block_size) {
    std::vector<char> block(block_size);
    // The byte before `begin` tells whether a record begins there.
    std::uint64_t offset = begin - 1;
    bool after_line_feed = false;
    for (;;) {
      if (stop_.load(std::memory_order_relaxed)) return false;
      const std::ptrdiff_t n = file.ReadAt(block.data(), block.size(), offset);
      if (n < 0) return false;
      if (n == 0) break;
      const char* const data = block.data();
      const char* const end = data + n;
      const char* p = data;
      if (after_line_feed) {
        NoteRecordAt(offset, *p);
        after_line_feed = false;
      }
      for (;;) {
        const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        if (lf == nullptr) break;
        p = static_cast<const char*>(lf) + 1;
        if (p == end) {
          after_line_feed = true;
          break;
        }
        NoteRecordAt(offset + static_cast<std::uint64_t>(p - data), *p);
      }
      offset += static_cast<std::uint64_t>(n);
    }
    index_.to = offset;
    return true;
  }

  // A record begins at `at` with the character `first`.
  void NoteRecordAt(std::uint64_t at, char first) {
    if (wanted_[static_cast<unsigned char>(first)]) index_.offsets.push_back(at);
  }

  bool wanted_[256] = {};
  std::atomic<bool> stop_{false};
  RecordIndex index_;
  bool found_ = false;
  std::jthread thread_;  // last: joined before the others go
};

RecordIndexScan::RecordIndexScan(InputFile& file, int jobs, std::string_view initials,
                                 std::uint64_t least_size, std::size_t block)
    : file_(file), initials_(initials), begin_(file.size_at_open() / 2) {
  if (jobs <= 1 || file.size_at_open() < least_size || begin_ == 0) return;
  try {
    search_ = std::make_unique<Search>(file, initials, begin_, block);
  } catch (const std::system_error&) {
    return;  // no thread: every record is read
  }
  file_.SkipByIndex(this);
}

RecordIndexScan::~RecordIndexScan() { file_.SkipByIndex(nullptr); }

const RecordIndex* RecordIndexScan::Wait() {
  return search_ == nullptr ? nullptr : search_->Wait();
}
