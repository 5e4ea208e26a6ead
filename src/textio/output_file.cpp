// The writer of records (OutputFile): a large buffer written out in big
// blocks.
#include "textio/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "system/console.h"
#include "textio/diagnostics.h"

namespace {

// Where an output file's buffer starts.
constexpr std::size_t kFirstOutputBufferSize = 4096;

// How much of a file that is to be synced is written before its write-back
// to the disk is begun.
constexpr std::uint64_t kWriteBackBytes = std::uint64_t{32} << 20;

}  // namespace

void OutputFile::WriteRecordBlock(const char* records, std::size_t stride, std::size_t count,
                                  bool more_follow) {
  if (count == 0) return;
  if (truncate_on_first_write_) BeginWriting();
  // The records an empty buffer holds before the next one writes them out.
  const std::size_t per_write = RecordsPerWrite(stride);
  // Whether the next buffer's worth is written out by a record after it.
  auto written_out_whole = [&] {
    return used_ == 0 && (count > per_write || (count == per_write && more_follow));
  };
  while (count > 0) {
    if (written_out_whole()) {
      // A buffer's worth that the record after it would write out: written
      // straight from `records`, at the same point, without the copy.
      if (!WriteAll(records, per_write * stride)) RaiseDiagnostic(kWriteError, unit_, path_);
      records += per_write * stride;
      count -= per_write;
      continue;
    }
    // The first record may make room, as its own write would; the ones that
    // still fit after it follow without any.
    char* out = ReserveRecord(stride - 2);
    if (written_out_whole()) continue;  // written out: the loop's first case
    const std::size_t n =
        std::min(count, std::max<std::size_t>(1, (buffer_.size() - used_) / stride));
    std::memcpy(out, records, n * stride);
    used_ += n * stride;
    records += n * stride;
    count -= n;
  }
}

OutputFile::OutputFile(int fd, int unit, std::string path, bool owns_fd,
                       bool truncate_on_first_write, std::size_t buffer_size)
    : fd_(fd),
      unit_(unit),
      path_(std::move(path)),
      owns_fd_(owns_fd),
      truncate_on_first_write_(truncate_on_first_write),
      buffer_limit_(buffer_size < 256 ? 256 : buffer_size),
      buffer_(std::min<std::size_t>(buffer_limit_, kFirstOutputBufferSize)) {}

OutputFile::OutputFile(std::string_view name, int unit, std::size_t buffer_size)
    : OutputFile(-1, unit, AbsolutePath(name), true, true, buffer_size) {
  fd_ = OpenOutputInPlace(std::string(name), path_, unit).fd;
}

OutputFile OutputFile::Adopt(int fd, int unit, std::string path, bool truncate_on_first_write) {
  return OutputFile(fd, unit, std::move(path), true, truncate_on_first_write,
                    kDefaultFileBufferSize);
}

OutputFile OutputFile::Console() {
  return OutputFile(kStandardOutput, kConsoleUnit, std::string(), false, false,
                    kDefaultFileBufferSize);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      unit_(other.unit_),
      path_(std::move(other.path_)),
      owns_fd_(other.owns_fd_),
      truncate_on_first_write_(other.truncate_on_first_write_),
      buffer_limit_(other.buffer_limit_),
      buffer_(std::move(other.buffer_)),
      used_(std::exchange(other.used_, 0)),
      write_back_(other.write_back_),
      written_(other.written_),
      written_back_(other.written_back_) {}

OutputFile::~OutputFile() {
  if (fd_ < 0) return;
  WriteOut();
  if (owns_fd_) CloseDescriptor(fd_);
}

void OutputFile::BeginWriting() {
  truncate_on_first_write_ = false;
  FileStatus status;
  // Only a regular file is emptied; a device such as /dev/null is written as it is.
  if (StatusOf(fd_, status) && status.kind == FileKind::kRegular && !TruncateDescriptor(fd_)) {
    RaiseDiagnostic(kWriteError, unit_, path_);
  }
}

char* OutputFile::ReserveRecord(std::size_t length) {
  if (truncate_on_first_write_) BeginWriting();
  std::size_t need = length + 2;
  if (used_ + need > buffer_.size() && buffer_.size() < buffer_limit_) {
    // Doubles up to the limit: records are written out at the same points
    // as through a buffer of the limit's size from the start.
    std::size_t size = buffer_.size();
    while (size < used_ + need && size < buffer_limit_) size *= 2;
    buffer_.Grow(std::min(size, buffer_limit_), used_);
  }
  if (used_ + need > buffer_.size()) {
    Flush();
    if (need > buffer_.size()) buffer_.Grow(need, 0);
  }
  return buffer_.data() + used_;
}

void OutputFile::CommitRecord(std::size_t length) {
  char* end = buffer_.data() + used_ + length;
  end[0] = '\r';
  end[1] = '\n';
  used_ += length + 2;
}

void OutputFile::WriteRecord(std::string_view record) {
  char* out = ReserveRecord(record.size());
  if (!record.empty()) std::memcpy(out, record.data(), record.size());
  CommitRecord(record.size());
}

char* OutputFile::ReserveBytes(std::size_t length) {
  if (truncate_on_first_write_) BeginWriting();
  if (used_ + length > buffer_.size()) {
    Flush();
    if (length > buffer_.size()) buffer_.Grow(length, 0);
  }
  return buffer_.data() + used_;
}

void OutputFile::WriteBytes(const void* data, std::size_t length) {
  if (truncate_on_first_write_) BeginWriting();
  const char* p = static_cast<const char*>(data);
  if (used_ + length <= buffer_.size()) {
    if (length > 0) std::memcpy(buffer_.data() + used_, p, length);
    used_ += length;
    return;
  }
  Flush();
  if (!WriteAll(p, length)) RaiseDiagnostic(kWriteError, unit_, path_);
}

bool OutputFile::WriteOut() {
  const std::size_t held = std::exchange(used_, 0);
  return WriteAll(buffer_.data(), held);
}

bool OutputFile::WriteAll(const char* p, std::size_t left) {
  while (left > 0) {
    const std::ptrdiff_t n = WriteDescriptor(fd_, p, left);
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
    written_ += static_cast<std::uint64_t>(n);
  }
  if (write_back_ && written_ - written_back_ >= kWriteBackBytes) {
    // The disk begins writing what is written so far while the rest is made.
    BeginWriteBack(fd_, written_back_, written_ - written_back_);
    written_back_ = written_;
  }
  return true;
}

void OutputFile::Flush() {
  if (!WriteOut()) RaiseDiagnostic(kWriteError, unit_, path_);
}

void OutputFile::Abandon() {
  used_ = 0;
  if (fd_ >= 0 && owns_fd_) CloseDescriptor(fd_);
  fd_ = -1;
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  Flush();
  if (write_back_) BeginWriteBack(fd_, 0, 0);
  if (owns_fd_) {
    int fd = std::exchange(fd_, -1);
    if (!CloseDescriptor(fd)) RaiseDiagnostic(kWriteError, unit_, path_);
  }
}

bool StandardErrorIsTerminal() { return IsTerminal(kStandardError); }
