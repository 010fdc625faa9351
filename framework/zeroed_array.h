// An array of zero-filled plain values for large tables that are read at
// random (the code file's name slots), sized when made and only ever
// doubled.  Large arrays come straight from the system, already zero, with
// huge pages asked for where the system has them, so that a look-up costs
// one cache miss and no page-table walk.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
      data_ = reinterpret_cast<T*>(Map(bytes));
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

  // Doubles the size of a non-empty array, the values kept in the first
  // half and zero bytes in the new half; std::bad_alloc (and the array as
  // it was) when the memory is not there.  A mapped array keeps its pages:
  // they move to the start of the new mapping without a copy, so only the
  // new half is memory the system has to supply.
  void Double() {
    const size_t bytes = size_ * sizeof(T);
    if (2 * bytes < kMapped) {
      void* p = std::realloc(data_, 2 * bytes);
      if (p == nullptr) throw std::bad_alloc();
      std::memset(static_cast<char*>(p) + bytes, 0, bytes);
      data_ = static_cast<T*>(p);
    } else {
      char* const target = Map(2 * bytes);
      if (bytes < kMapped) {
        std::memcpy(target, data_, bytes);
        std::free(data_);
      } else if (::mremap(data_, Mapped(bytes), Mapped(bytes), MREMAP_MAYMOVE | MREMAP_FIXED, target) == MAP_FAILED) {
        ::munmap(target, Mapped(2 * bytes));
        throw std::bad_alloc();
      }
      data_ = reinterpret_cast<T*>(target);
    }
    size_ *= 2;
  }

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

  // Fresh zero pages for `bytes`, starting on a huge-page boundary: mapped a
  // huge page longer, then cut (huge pages only fill whole aligned
  // stretches).
  static char* Map(size_t bytes) {
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
    return aligned;
  }
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
