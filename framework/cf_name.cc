#include "framework/cf_name.h"

#include <algorithm>

namespace {

// The hash before the bytes after the first four.
uint32_t Seed(const char* bytes, size_t length) {
  const size_t seed = std::min<size_t>(length, 4);
  uint32_t h = 0;
  // The seed bytes land in the top `seed` bytes of h, the first one lowest.
  for (size_t i = 0; i < seed; ++i) {
    h |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * (4 - seed + i));
  }
  return h;
}

uint32_t Step(uint32_t h, char byte) {
  const uint32_t c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte)));
  return ((h ^ ((h >> 24) & 0xF0u)) << 4) + c;
}

// Mixes in the bytes from `from` on (the first four are the seed's).
uint32_t Steps(uint32_t h, const char* bytes, size_t from, size_t length) {
  for (size_t i = std::max<size_t>(from, 4); i < length; ++i) h = Step(h, bytes[i]);
  return h;
}

}  // namespace

uint32_t CF_NameHash(const char* bytes, size_t length) { return Steps(Seed(bytes, length), bytes, 4, length); }

void CF_NameHashes(size_t n, const char* const bytes[], const size_t lengths[], uint32_t hashes[]) {
  constexpr size_t kLanes = 4;
  size_t k = 0;
  for (; k + kLanes <= n; k += kLanes) {
    uint32_t h[kLanes];
    size_t common = lengths[k];
    for (size_t l = 0; l < kLanes; ++l) {
      h[l] = Seed(bytes[k + l], lengths[k + l]);
      common = std::min(common, lengths[k + l]);
    }
    // Up to the shortest length the four chains go side by side.
    for (size_t i = 4; i < common; ++i) {
      for (size_t l = 0; l < kLanes; ++l) h[l] = Step(h[l], bytes[k + l][i]);
    }
    for (size_t l = 0; l < kLanes; ++l) hashes[k + l] = Steps(h[l], bytes[k + l], common, lengths[k + l]);
  }
  for (; k < n; ++k) hashes[k] = CF_NameHash(bytes[k], lengths[k]);
}
