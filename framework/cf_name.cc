#include "framework/cf_name.h"

uint32_t CF_NameHash(const char* bytes, size_t length) {
  if (length == 0) return 0;
  const size_t seed = length < 4 ? length : 4;
  uint32_t h = 0;
  // The seed bytes land in the top `seed` bytes of h, the first one lowest.
  for (size_t i = 0; i < seed; ++i) {
    h |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * (4 - seed + i));
  }
  for (size_t i = seed; i < length; ++i) {
    const uint32_t c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(bytes[i])));
    h = ((h ^ ((h >> 24) & 0xF0u)) << 4) + c;
  }
  return h;
}
