// Asks the system for every page under a fresh block at once, rather than
// one page fault at a time as the block is first written: for large blocks
// that are filled soon after they are made.  A hint: where the system
// cannot, the block works the same.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

inline void PrefaultPages(void* block, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  // Only whole pages inside the block.
  constexpr uintptr_t kPage = 4096;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
  (void)block;
  (void)bytes;
#endif
}
