// Blocks of one size kept for reuse by the thread that frees them, so that
// objects made and deleted by the million (a code file's streams) cost no
// trip through the heap each.  At most kKept blocks wait per thread; the
// rest go back to the heap, and so do the kept ones when the thread ends.
#pragma once

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define RECYCLED_BLOCKS_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RECYCLED_BLOCKS_OFF 1
#endif
#endif

template <size_t Size>
class RecycledBlocks {
 public:
  static void* Take() {
#ifdef RECYCLED_BLOCKS_OFF
    // Checked builds keep every block on the heap, where misuse shows.
    return ::operator new(Size);
#endif
    Shelf& shelf = TheShelf();
    if (shelf.count > 0) return shelf.blocks[--shelf.count];
    return ::operator new(Size);
  }
  static void Give(void* block) noexcept {
    if (block == nullptr) return;
#ifdef RECYCLED_BLOCKS_OFF
    ::operator delete(block);
    return;
#endif
    Shelf& shelf = TheShelf();
    if (shelf.count < kKept) {
      shelf.blocks[shelf.count++] = block;
    } else {
      ::operator delete(block);
    }
  }

 private:
  static constexpr size_t kKept = 16;
  struct Shelf {
    void* blocks[kKept];
    size_t count = 0;
    ~Shelf() {
      while (count > 0) ::operator delete(blocks[--count]);
    }
  };
  static Shelf& TheShelf() {
    thread_local Shelf shelf;
    return shelf;
  }
};

// Class-level allocation through RecycledBlocks for a class T whose objects
// are all exactly T (derived classes fall back to the heap).
#define RECYCLED_ALLOCATION(T)                                                     \
  static void* operator new(size_t n) {                                            \
    return n == sizeof(T) ? RecycledBlocks<sizeof(T)>::Take() : ::operator new(n); \
  }                                                                                \
  static void operator delete(void* p, size_t n) noexcept {                        \
    if (n == sizeof(T)) {                                                          \
      RecycledBlocks<sizeof(T)>::Give(p);                                          \
    } else {                                                                       \
      ::operator delete(p);                                                        \
    }                                                                              \
  }
