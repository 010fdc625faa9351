#include "framework/mem_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/failures.h"

uint32_t MemSeekMethod::Seek(int32_t offset, SeekOrigin origin) {
  // Unsigned arithmetic: a position moved below 0 wraps, as it always has.
  switch (origin) {
    case SeekBegin:
      position_ = static_cast<uint32_t>(offset);
      break;
    case SeekCurrent:
      position_ += static_cast<uint32_t>(offset);
      break;
    case SeekEnd:
      position_ = Size() + static_cast<uint32_t>(offset);
      break;
  }
  return position_;
}

uint32_t MemInFile::GetData(void* buffer, uint32_t n) {
  const uint32_t size = Size();
  if (position_ >= size) return 0;
  const uint32_t count = std::min(n, size - position_);
  std::memcpy(buffer, static_cast<const uint8_t*>(Data()) + position_, count);
  position_ += count;
  return count;
}

MemOutFile::MemOutFile() { Reallocate(2); }

MemOutFile::MemOutFile(const MemOutFile& other)
    : MemSeekMethod(other),
      buffer_(new uint8_t[other.size_]),
      capacity_(other.size_),
      size_(other.size_) {
  if (size_ > 0) std::memcpy(buffer_.get(), other.buffer_.get(), size_);
  position_ = size_;
}

MemOutFile::~MemOutFile() = default;

void MemOutFile::Reallocate(uint32_t capacity) {
  uint8_t* fresh;
  try {
    fresh = new uint8_t[capacity]();
  } catch (const std::bad_alloc&) {
    Error(kFailOutOfMemory);
  }
  const uint32_t keep = std::min(capacity, capacity_);
  if (keep > 0) std::memcpy(fresh, buffer_.get(), keep);
  buffer_.reset(fresh);
  capacity_ = capacity;
}

void MemOutFile::PutData(const void* data, uint32_t n) {
  const uint64_t end = uint64_t{position_} + n;
  if (end > UINT32_MAX) Error(kFailOutOfMemory);
  if (end > capacity_) {
    // Doubling past the 32-bit range stops at its top; the end itself fits.
    Reallocate(static_cast<uint32_t>(std::min<uint64_t>(2 * uint64_t{position_} + n, UINT32_MAX)));
  }
  if (n > 0) std::memcpy(buffer_.get() + position_, data, n);
  position_ = static_cast<uint32_t>(end);
  size_ = std::max(size_, position_);
}

void MemOutFile::Resize() {
  Reallocate(position_);
  size_ = position_;
}

void MemOutFile::Clear() {
  position_ = 0;
  size_ = 0;
}
