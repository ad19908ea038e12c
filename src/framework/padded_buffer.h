#pragma once
// The bytes behind every PaddedText. Private to the framework.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "framework/text.h"

namespace fw::detail {

// A growable byte buffer that keeps PaddedText's promise: at least
// PaddedText::kPadding bytes past its capacity are allocated and may be read.
// Those after size() are zero when the buffer is handed out as text.
//
// It grows with realloc, which moves a large block by remapping its pages
// rather than copying them, and leaves pages that are never written
// untouched: a buffer grown for a line of hundreds of megabytes takes about
// the line's own size in memory, not that size and a copy.
class PaddedBuffer {
 public:
  PaddedBuffer() = default;
  explicit PaddedBuffer(std::size_t capacity) { Reserve(capacity); }
  ~PaddedBuffer() { std::free(bytes_); }
  PaddedBuffer(PaddedBuffer&& other) noexcept
      : bytes_(std::exchange(other.bytes_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  PaddedBuffer& operator=(PaddedBuffer&& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    return *this;
  }
  PaddedBuffer(const PaddedBuffer&) = delete;
  PaddedBuffer& operator=(const PaddedBuffer&) = delete;

  char* data() { return bytes_; }
  const char* data() const { return bytes_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  // The bytes that may be written after size().
  std::size_t room() const { return capacity_ - size_; }

  // At least `capacity` bytes, keeping those there are.
  void Reserve(std::size_t capacity) {
    if (capacity <= capacity_ && bytes_ != nullptr) return;
    void* grown = nullptr;
    if (bytes_ == nullptr) {
      // Aligned to a cache line: the kernel copies what read(2) gives into
      // an unaligned buffer at a fraction of the speed on some processors.
      if (::posix_memalign(&grown, kAlignment, capacity + PaddedText::kPadding) != 0) grown = nullptr;
    } else {
      grown = std::realloc(bytes_, capacity + PaddedText::kPadding);
    }
    if (grown == nullptr) throw std::bad_alloc();
    bytes_ = static_cast<char*>(grown);
    capacity_ = capacity;
  }
  // Room for `bytes` more after size(), growing by half at least, so that
  // growing a byte at a time still costs linear time.
  void MakeRoom(std::size_t bytes) {
    if (room() < bytes) Reserve(std::max(size_ + bytes, capacity_ + capacity_ / 2));
  }

  // Within the capacity.
  void Resize(std::size_t size) { size_ = size; }
  void Append(std::string_view bytes) {
    MakeRoom(bytes.size());
    std::memcpy(bytes_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }

  // The bytes as text, with zeros after them to the padding's end.
  PaddedText Text() {
    if (bytes_ == nullptr) Reserve(0);
    std::memset(bytes_ + size_, 0, PaddedText::kPadding);
    return PaddedText(std::string_view(bytes_, size_));
  }

 private:
  static constexpr std::size_t kAlignment = 64;

  char* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace fw::detail
