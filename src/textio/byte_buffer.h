// The buffer of a file that is read or written in large blocks.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>

inline constexpr std::size_t kDefaultFileBufferSize = std::size_t{1} << 20;

/// The bytes of a file's buffer. They are not cleared when it is made or
/// grown, since every byte is filled before it is read.
class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t size) : data_(new char[size]), size_(size) {}
  char* data() { return data_.get(); }
  std::size_t size() const { return size_; }
  /// Grows to `size` bytes, keeping the first `keep`.
  void Grow(std::size_t size, std::size_t keep) {
    std::unique_ptr<char[]> bigger(new char[size]);
    if (keep > 0) std::memcpy(bigger.get(), data_.get(), keep);
    data_ = std::move(bigger);
    size_ = size;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_;
};
