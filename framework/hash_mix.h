// The final mix of a 64-bit hash: spreads every input bit over the whole
// word, so that any few bits of the result (a table's slot) depend on all
// of the input.
#pragma once

#include <cstdint>

inline uint64_t HashMix64(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}
