// Sequential text files of records: a buffered reader and a buffered writer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textio/file_opening.h"

inline constexpr std::size_t kDefaultFileBufferSize = std::size_t{1} << 20;

/// The bytes of a file's buffer. They are not cleared when it is made or
/// grown, since every byte is filled before it is read.
class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t size) : data_(new char[size]), size_(size) {}
  char* data() { return data_.get(); }
  std::size_t size() const { return size_; }
  /// Grows to `size` bytes, keeping the first `keep`.
  void Grow(std::size_t size, std::size_t keep);

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_;
};

/// Receives every record that an InputFile hands out while it is set, with
/// the record's byte offset in the file.
using RecordObserver = void (*)(void* context, std::string_view record, std::uint64_t offset);

/// The records of the second part of a file that begin with one of some
/// initials, found by another reading of the file: those that begin at or
/// after its RecordIndexSource::begin(), up to `to`, the end of the file that
/// reading met.
struct RecordIndex {
  std::uint64_t to = 0;
  std::vector<std::uint64_t> offsets;  // ascending
};

/// A RecordIndex found while the file is read, by a thread that the threads
/// room starts (this room starts none).
class RecordIndexSource {
 public:
  virtual ~RecordIndexSource() = default;
  /// The initials of the records indexed.
  virtual std::string_view initials() const = 0;
  /// The reading may ask for the index from this byte on.
  virtual std::uint64_t begin() const = 0;
  /// Waits for the index; nullptr when it could not be made.
  virtual const RecordIndex* Wait() = 0;
};

/// A model file read record by record. A record is the text up to a line
/// feed, without it and without a carriage return right before it; a last
/// record without a line feed is a record too. Records are views into the
/// buffer, valid until the next read.
class InputFile {
 public:
  /// Opens an existing regular file without waiting (a FIFO is refused, not
  /// waited on); a failed open raises its diagnostic. The buffer holds up to
  /// `buffer_size` bytes, or the whole file when it is smaller.
  InputFile(std::string_view name, int unit, std::size_t buffer_size = kDefaultFileBufferSize);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  /// Reads the file again from its first record. The file is opened once:
  /// every reading is of the same file, even when another is renamed onto
  /// its name meanwhile.
  void Reopen();

  /// Reads the file again from the record that starts at byte `offset` (a
  /// record_offset() of an earlier reading).
  void ReopenAt(std::uint64_t offset);

  /// Refuses the model (status 1) when the file's size or modification time
  /// is no longer what they were at the open: it was rewritten while read.
  /// Reopen and ReopenAt check this first, and so does every reading at
  /// the end of the file.
  void CheckUnchanged();

  /// The next record; at the end of the file raises the end-of-file diagnostic.
  std::string_view ReadRecord();

  /// The next record into `record`, or false at the end of the file.
  bool NextRecord(std::string_view& record);

  /// Up to `most` records at once, the first as NextRecord gives it and
  /// the others those that follow it whole in the buffer; all stay valid
  /// until the next read. An empty `records` means the end of the file.
  void NextRecords(std::size_t most, std::vector<std::string_view>& records);

  /// Up to `most` records after the last ones handed out, as NextRecords
  /// would give them next, read without moving the buffer under the records
  /// of the last NextRecords: those stay valid until the read after this
  /// one. Raises nothing: when that would take a read that fails, the end of
  /// the file or a record longer than the buffer, it gives no records, reads
  /// nothing and returns false, and NextRecords meets all of it in its turn.
  /// No observer may be set.
  bool NextRecordsAhead(std::size_t most, std::vector<std::string_view>& records);

  /// Right after a NextRecordsAhead that gave records, takes them back: the
  /// file is read on from where that call began, and the records of the
  /// NextRecords before it are once more the last handed out.
  void DropAhead();

  /// Passes over the records that do not begin with one of `initials`
  /// (empty records included) without handing them out or showing them to
  /// the observer: the next read begins with the first record that does, or
  /// at the end of the file.
  void SkipRecordsNotBeginningWith(std::string_view initials);

  /// Takes `record`, one of the records the last NextRecords gave, and the
  /// ones after it back: the next read begins with it again.
  void Unread(std::string_view record);

  /// From now on SkipRecordsNotBeginningWith(source->initials()) passes
  /// over the records after source->begin() by the offsets of the index,
  /// without reading them (nullptr: no more). It stops at the same records;
  /// without an index it reads them all.
  void SkipByIndex(RecordIndexSource* source) {
    index_source_ = source;
    index_begin_ = source == nullptr ? UINT64_MAX : source->begin();
    index_next_ = 0;
  }

  /// Reads up to `size` bytes at byte `offset` into `into`, leaving the
  /// reading where it is; any thread may. How many (0 at the end), or -1
  /// when the read fails or the system has no such read.
  std::ptrdiff_t ReadAt(char* into, std::size_t size, std::uint64_t offset) const;

  /// The size of the file when it was opened.
  std::uint64_t size_at_open() const { return static_cast<std::uint64_t>(size_); }

  /// Shows every record read from now on to `observer` (nullptr: no more).
  void Observe(RecordObserver observer, void* context) {
    observer_ = observer;
    observer_context_ = context;
  }

  /// Byte offset in the file of the record read last.
  std::uint64_t record_offset() const { return record_offset_; }

  int unit() const { return unit_; }
  const std::string& path() const { return path_; }
  /// The file opened.
  const FileIdentity& identity() const { return identity_; }

 private:
  void Open();
  void Rewind(std::uint64_t offset);
  bool Refill();
  // Moves to the next record of the index at or after the reading, when the
  // reading stands in its part; true when it moved.
  bool SkipToIndexed();
  // Hands out the records whole in the buffer from begin_, at most `most`.
  void TakeWholeRecords(std::size_t most, std::vector<std::string_view>& records);

  std::string name_;
  std::string path_;
  int unit_;
  int fd_ = -1;
  std::size_t buffer_limit_;
  ByteBuffer buffer_;                // allocated at the first open
  std::size_t begin_ = 0;            // first unread byte
  std::size_t end_ = 0;              // one past the last byte read from the file
  std::uint64_t buffer_offset_ = 0;  // file offset of the buffer's first byte
  std::uint64_t record_offset_ = 0;
  bool at_eof_ = false;
  FileIdentity identity_;
  std::int64_t size_ = 0;  // at the open, with the modification time
  std::int64_t modified_seconds_ = 0;
  std::int64_t modified_nanoseconds_ = 0;
  RecordObserver observer_ = nullptr;
  void* observer_context_ = nullptr;
  // What NextRecordsAhead reads into, and where the reading stood before it.
  ByteBuffer ahead_buffer_{0};
  struct Place {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t buffer_offset = 0;
    std::uint64_t record_offset = 0;
    bool buffers_swapped = false;
  };
  Place before_ahead_;
  RecordIndexSource* index_source_ = nullptr;
  std::uint64_t index_begin_ = UINT64_MAX;  // its begin(); no more once it has no index
  std::size_t index_next_ = 0;              // no indexed record before it lies after the reading
};

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
