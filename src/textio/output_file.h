// A sequential text file of records written through a large buffer in big
// blocks, each record ended by CR LF.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "textio/byte_buffer.h"
#include "textio/file_opening.h"

/// A file written record by record, each record ended by CR LF, through a
/// large buffer written out in big blocks.
class OutputFile {
 public:
  /// Opens a file for writing, creating it when absent. An existing regular
  /// file keeps its content until the first record is written: only then is
  /// it truncated, so a run that fails before writing leaves it as it was.
  /// Records are written out when `buffer_size` bytes are held; the buffer
  /// starts small and grows to that size as records come.
  OutputFile(std::string_view name, int unit, std::size_t buffer_size = kDefaultFileBufferSize);
  /// The process's standard output (unit -1), never truncated nor closed.
  static OutputFile Console();
  /// Writes to the open descriptor `fd`, which it owns, under the name
  /// `path`; a regular file is emptied at the first record when
  /// `truncate_on_first_write`.
  static OutputFile Adopt(int fd, int unit, std::string path, bool truncate_on_first_write);
  ~OutputFile();  // writes out what it holds (errors ignored) and closes
  OutputFile(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile& operator=(OutputFile&&) = delete;

  /// Room for a record of up to `length` characters; finish it with
  /// CommitRecord.
  char* ReserveRecord(std::size_t length);
  /// Ends the reserved record after `length` characters with CR LF.
  void CommitRecord(std::size_t length);
  void WriteRecord(std::string_view record);
  /// Writes `count` records of `stride` bytes each, line ends included, as
  /// that many WriteRecord calls would: written out at the same records.
  /// With `more_follow`, a record is known to come right after them, so a
  /// buffer's worth at their end, which it would write out, is written
  /// straight too.
  void WriteRecordBlock(const char* records, std::size_t stride, std::size_t count,
                        bool more_follow = false);
  /// How many records of `stride` bytes, line ends included, the buffer
  /// takes before the next one writes them out; after that, one write every
  /// RecordsPerWrite(stride) records.
  std::size_t RecordsBeforeWrite(std::size_t stride) const { return (Capacity() - used_) / stride; }
  std::size_t RecordsPerWrite(std::size_t stride) const {
    return std::max<std::size_t>(1, Capacity() / stride);
  }

  /// Room for `length` raw bytes, no line end; finish them with CommitBytes.
  char* ReserveBytes(std::size_t length);
  void CommitBytes(std::size_t length) { used_ += length; }
  /// Writes `length` raw bytes; a block larger than the buffer's room goes
  /// straight from `data` to the file. A failed write raises the write
  /// diagnostic.
  void WriteBytes(const void* data, std::size_t length);

  /// Writes the buffer out; a failed write raises the write diagnostic.
  void Flush();
  /// Flushes and closes; a failed write raises the write diagnostic.
  void Close();
  /// Closes without writing out what the buffer holds.
  void Abandon();
  /// Has the file's write-back to its disk begun, without waiting, every
  /// 32 MiB written and at Close, so that a later sync of it waits for little.
  void StartWriteBack() { write_back_ = true; }

  int unit() const { return unit_; }
  const std::string& path() const { return path_; }
  /// Whether a file that is emptied at the first record has not been yet.
  bool truncation_pending() const { return truncate_on_first_write_; }

 private:
  OutputFile(int fd, int unit, std::string path, bool owns_fd, bool truncate_on_first_write,
             std::size_t buffer_size);
  void BeginWriting();
  // The bytes the buffer holds before a record that does not fit writes
  // them out: the limit, or more once a longer record made it grow.
  std::size_t Capacity() const { return std::max(buffer_limit_, buffer_.size()); }
  bool WriteOut();                                       // false when the file refused the bytes
  bool WriteAll(const char* bytes, std::size_t length);  // likewise

  int fd_;
  int unit_;
  std::string path_;
  bool owns_fd_;
  bool truncate_on_first_write_;
  std::size_t buffer_limit_;
  ByteBuffer buffer_;
  std::size_t used_ = 0;
  bool write_back_ = false;
  std::uint64_t written_ = 0;       // bytes written through WriteAll
  std::uint64_t written_back_ = 0;  // of which their write-back has begun
};

/// Whether the process's standard error is a terminal: lines meant for a
/// person at one are printed only then, so that scripts and comparisons see
/// the output they always saw.
bool StandardErrorIsTerminal();
