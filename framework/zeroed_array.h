// A fixed-size array of zero-filled plain values for large tables that are
// read at random (the code file's name slots).  Large arrays come straight
// from the system, already zero, with huge pages asked for where the system
// has them, so that a look-up costs one cache miss and no page-table walk.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

template <class T>
class ZeroedArray {
  static_assert(std::is_trivially_copyable<T>::value, "values are moved as bytes and start as zero bytes");

 public:
  ZeroedArray() = default;
  // n values, all zero bytes; std::bad_alloc when the memory is not there.
  explicit ZeroedArray(size_t n) : size_(n) {
    if (n == 0) return;
    const size_t bytes = n * sizeof(T);
    if (bytes >= kMapped) {
      // Mapped a huge page longer, then cut to start on a huge-page boundary
      // (huge pages only fill whole aligned stretches).
      const size_t length = Mapped(bytes);
      void* p = ::mmap(nullptr, length + kMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p == MAP_FAILED) throw std::bad_alloc();
      char* const start = static_cast<char*>(p);
      char* const aligned = start + (kMapped - reinterpret_cast<uintptr_t>(start) % kMapped) % kMapped;
      if (aligned != start) ::munmap(start, static_cast<size_t>(aligned - start));
      const size_t after = static_cast<size_t>(start + length + kMapped - (aligned + length));
      if (after > 0) ::munmap(aligned + length, after);
#ifdef MADV_HUGEPAGE
      ::madvise(aligned, length, MADV_HUGEPAGE);  // a hint: without it the array works the same
#endif
      data_ = reinterpret_cast<T*>(aligned);
    } else {
      data_ = static_cast<T*>(std::calloc(n, sizeof(T)));
      if (data_ == nullptr) throw std::bad_alloc();
    }
  }
  ~ZeroedArray() { Release(); }
  ZeroedArray(ZeroedArray&& other) noexcept { swap(other); }
  ZeroedArray& operator=(ZeroedArray&& other) noexcept {
    ZeroedArray(std::move(other)).swap(*this);
    return *this;
  }
  ZeroedArray(const ZeroedArray&) = delete;
  ZeroedArray& operator=(const ZeroedArray&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  void swap(ZeroedArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

 private:
  // Arrays of at least this many bytes are mapped (a huge page's size).
  static constexpr size_t kMapped = size_t{2} << 20;
  static constexpr size_t kPage = 4096;

  // The bytes mapped for an array of `bytes`: whole pages.
  static size_t Mapped(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

  void Release() {
    if (data_ == nullptr) return;
    if (size_ * sizeof(T) >= kMapped) {
      ::munmap(data_, Mapped(size_ * sizeof(T)));
    } else {
      std::free(data_);
    }
    data_ = nullptr;
    size_ = 0;
  }

  T* data_ = nullptr;
  size_t size_ = 0;
};
