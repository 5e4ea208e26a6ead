#include "textio/input_file.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "textio/diagnostics.h"

InputFile::InputFile(std::string_view name, int unit, std::size_t buffer_size)
    : name_(name),
      path_(AbsolutePath(name)),
      unit_(unit),
      buffer_limit_(buffer_size < 2 ? 2 : buffer_size),
      buffer_(0) {
  Open();
}

InputFile::~InputFile() {
  if (fd_ >= 0) CloseDescriptor(fd_);
}

void InputFile::Open() {
  fd_ = OpenOrRaise(name_, path_, unit_, FileAccess::kRead, /*must_exist=*/true);
  // The model is read several times from its start: only a regular file
  // will do (not a directory, a FIFO or an endless device).
  FileStatus status;
  if (!StatusOf(fd_, status) || status.kind != FileKind::kRegular) {
    CloseDescriptor(std::exchange(fd_, -1));
    RaiseDiagnostic(kOpenFailure, unit_, path_);
  }
  identity_ = status.identity;
  size_ = static_cast<std::int64_t>(status.size);
  modified_seconds_ = status.modified_seconds;
  modified_nanoseconds_ = status.modified_nanoseconds;
  // A file smaller than the buffer gets a buffer of its size, and a byte
  // more for the read that finds its end: small models, read four times,
  // cost no large blocks. A record longer than the buffer still grows it.
  std::size_t size = buffer_limit_;
  if (status.size < size - 1) {
    size = std::max<std::size_t>(static_cast<std::size_t>(status.size) + 1, 2);
  }
  buffer_.Grow(size, 0);
  Rewind(0);
}

void InputFile::CheckUnchanged() {
  FileStatus status;
  if (!StatusOf(fd_, status)) RaiseDiagnostic(kReadError, unit_, path_);
  if (static_cast<std::int64_t>(status.size) != size_ ||
      status.modified_seconds != modified_seconds_ ||
      status.modified_nanoseconds != modified_nanoseconds_) {
    StopWithModelError(kModelChangedMessage);
  }
}

void InputFile::Rewind(std::uint64_t offset) {
  if (!SeekDescriptor(fd_, offset)) RaiseDiagnostic(kReadError, unit_, path_);
  ExpectSequentialReading(fd_);
  index_next_ = 0;
  begin_ = end_ = 0;
  buffer_offset_ = offset;
  at_eof_ = false;
}

void InputFile::Reopen() { ReopenAt(0); }

void InputFile::ReopenAt(std::uint64_t offset) {
  CheckUnchanged();
  Rewind(offset);
}

bool InputFile::Refill() {
  if (at_eof_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    buffer_offset_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  // A record longer than the buffer still reads whole: the buffer grows.
  if (end_ == buffer_.size()) buffer_.Grow(buffer_.size() * 2, end_);
  const std::ptrdiff_t n = ReadDescriptor(fd_, buffer_.data() + end_, buffer_.size() - end_);
  if (n < 0) RaiseDiagnostic(kReadError, unit_, path_);
  if (n == 0) {
    // A file cut short while it was read ends early: refused as changed,
    // not as ending too soon.
    CheckUnchanged();
    at_eof_ = true;
    return false;
  }
  end_ += static_cast<std::size_t>(n);
  return true;
}

bool InputFile::NextRecord(std::string_view& record) {
  std::size_t searched = begin_;
  std::size_t stop;  // where the record's text ends: at its line feed, or at the end of the file
  for (;;) {
    const void* lf = std::memchr(buffer_.data() + searched, '\n', end_ - searched);
    if (lf != nullptr) {
      stop = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.data());
      break;
    }
    searched = end_ - begin_;  // offset of the unsearched bytes once Refill moved them
    if (!Refill()) {
      if (begin_ == end_) return false;
      stop = end_;  // the last record has no line feed; it is a record all the same
      break;
    }
  }
  const char* data = buffer_.data();
  std::size_t length = stop - begin_;
  if (length > 0 && data[stop - 1] == '\r') --length;
  record = std::string_view(data + begin_, length);
  record_offset_ = buffer_offset_ + begin_;
  begin_ = stop < end_ ? stop + 1 : end_;
  if (observer_) (*observer_)(record, record_offset_);
  return true;
}

void InputFile::NextRecords(std::size_t most, std::vector<std::string_view>& records) {
  records.clear();
  std::string_view record;
  if (most == 0 || !NextRecord(record)) return;
  records.push_back(record);
  // The records after the first are taken without reading more, so that the
  // buffer is not moved under the ones already handed out.
  TakeWholeRecords(most, records);
}

void InputFile::TakeWholeRecords(std::size_t most, std::vector<std::string_view>& records) {
  const char* data = buffer_.data();
  while (records.size() < most) {
    const void* lf = std::memchr(data + begin_, '\n', end_ - begin_);
    if (lf == nullptr) break;
    const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
    std::size_t length = stop - begin_;
    if (length > 0 && data[stop - 1] == '\r') --length;
    const std::string_view record(data + begin_, length);
    record_offset_ = buffer_offset_ + begin_;
    begin_ = stop + 1;
    if (observer_) (*observer_)(record, record_offset_);
    records.push_back(record);
  }
}

bool InputFile::NextRecordsAhead(std::size_t most, std::vector<std::string_view>& records) {
  assert(!observer_ && "an observer would see records that may be dropped");
  records.clear();
  before_ahead_ = {begin_, end_, buffer_offset_, record_offset_, false};
  if (most == 0) return false;
  if (std::memchr(buffer_.data() + begin_, '\n', end_ - begin_) == nullptr) {
    if (at_eof_) return false;
    // The unread bytes go to the other buffer and the file is read on there;
    // this one keeps the records handed out.
    const std::size_t tail = end_ - begin_;
    if (ahead_buffer_.size() < buffer_.size()) ahead_buffer_ = ByteBuffer(buffer_.size());
    if (tail > 0) std::memcpy(ahead_buffer_.data(), buffer_.data() + begin_, tail);
    const std::ptrdiff_t n =
        ReadDescriptor(fd_, ahead_buffer_.data() + tail, ahead_buffer_.size() - tail);
    if (n <= 0) return false;  // nothing was read
    std::swap(buffer_, ahead_buffer_);
    before_ahead_.buffers_swapped = true;
    buffer_offset_ += begin_;
    begin_ = 0;
    end_ = tail + static_cast<std::size_t>(n);
  }
  TakeWholeRecords(most, records);
  if (records.empty()) {
    // A record longer than the buffer: NextRecords grows the buffer for it.
    DropAhead();
    return false;
  }
  return true;
}

void InputFile::DropAhead() {
  const Place place = std::exchange(before_ahead_, {});
  if (place.buffers_swapped) {
    std::swap(buffer_, ahead_buffer_);
    if (!SeekDescriptor(fd_, place.buffer_offset + place.end)) {
      RaiseDiagnostic(kReadError, unit_, path_);
    }
  }
  begin_ = place.begin;
  end_ = place.end;
  buffer_offset_ = place.buffer_offset;
  record_offset_ = place.record_offset;
}

bool InputFile::SkipToIndexed() {
  const std::uint64_t at = buffer_offset_ + begin_;
  if (at < index_begin_) return false;
  const RecordIndex* index = index_source_->Wait();
  if (index == nullptr) {
    index_begin_ = UINT64_MAX;  // every record is read
    return false;
  }
  const auto first = index->offsets.begin() + static_cast<std::ptrdiff_t>(index_next_);
  const auto next = std::lower_bound(first, index->offsets.end(), at);
  index_next_ = static_cast<std::size_t>(next - index->offsets.begin());
  const std::uint64_t target = next == index->offsets.end() ? index->to : *next;
  // At an indexed record (or at the end) the reading goes on as without the
  // index: a file changed since it was indexed is read as it is now.
  if (target <= at) return false;
  if (target < buffer_offset_ + end_) {
    begin_ = static_cast<std::size_t>(target - buffer_offset_);
  } else {
    if (!SeekDescriptor(fd_, target)) RaiseDiagnostic(kReadError, unit_, path_);
    begin_ = end_ = 0;
    buffer_offset_ = target;
  }
  return true;
}

std::ptrdiff_t InputFile::ReadAt(char* into, std::size_t size, std::uint64_t offset) const {
  return ReadDescriptorAt(fd_, into, size, offset);
}

void InputFile::SkipRecordsNotBeginningWith(std::string_view initials) {
  bool wanted[256] = {};
  for (char c : initials) wanted[static_cast<unsigned char>(c)] = true;
  const bool indexed = index_source_ != nullptr && index_source_->initials() == initials;
  for (;;) {
    if (begin_ == end_ && !Refill()) return;
    if (indexed && SkipToIndexed()) continue;
    if (wanted[static_cast<unsigned char>(buffer_.data()[begin_])]) return;
    // Past this record: an empty one's line feed is its first byte.
    const std::uint64_t offset = record_offset_;
    const std::optional<RecordObserver> observer = std::exchange(observer_, std::nullopt);
    std::string_view record;
    NextRecord(record);
    observer_ = observer;
    record_offset_ = offset;
  }
}

void InputFile::Unread(std::string_view record) {
  assert(!observer_ && "an observer would see the record twice");
  assert(record.data() >= buffer_.data() && record.data() <= buffer_.data() + begin_);
  begin_ = static_cast<std::size_t>(record.data() - buffer_.data());
}

std::string_view InputFile::ReadRecord() {
  std::string_view record;
  if (!NextRecord(record)) RaiseDiagnostic(kEndOfFile, unit_, path_);
  return record;
}
