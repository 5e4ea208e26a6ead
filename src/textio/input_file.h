// A sequential text file of records read through a large buffer, and the
// index by which a reading may pass over records it does not want.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/byte_buffer.h"
#include "textio/file_opening.h"
#include "textio/function_ref.h"

/// Receives every record that an InputFile hands out while it is set, with
/// the record's byte offset in the file.
using RecordObserver = FunctionRef<void(std::string_view record, std::uint64_t offset)>;

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
///
/// The reading ahead, in one place:
/// - buffer_[0, end_) holds the file's bytes from buffer_offset_ on, read
///   and not yet moved out; buffer_[begin_, end_) are those not yet handed
///   out, and begin_ <= end_ <= buffer_.size() always.
/// - A record is handed out only once its line feed is in the buffer, or the
///   file has ended (at_eof_); its view stays valid until the next read,
///   which may move the bytes from begin_ to the buffer's start or grow it.
/// - record_offset_ is the file offset of the record handed out last;
///   buffer_offset_ + begin_ that of the next one.
/// - NextRecordsAhead never moves the bytes under the records of the last
///   NextRecords: when it must read, it copies the unread bytes to the other
///   buffer (ahead_buffer_), reads on there and swaps the two, the old one
///   keeping those records; before_ahead_ is where the reading stood, for
///   DropAhead to swap back and seek to.
/// - Indexed skipping (SkipByIndex) only moves the reading forward to an
///   offset of the index, past records nobody is shown: no observer sees
///   them, and none of them is ever handed out.
/// - At the end of the file, and at every Reopen, the file's size and
///   modification time are compared with those at the open.
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

  /// Shows every record read from now on to `observer`, until StopObserving.
  void Observe(RecordObserver observer) { observer_ = observer; }
  void StopObserving() { observer_.reset(); }

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
  std::optional<RecordObserver> observer_;
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
