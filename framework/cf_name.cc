#include "framework/cf_name.h"

#include <algorithm>
#include <cstring>

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

uint32_t CF_NameHashChain::Hash(const char* bytes, size_t length) {
  // Names shorter than the seed place their bytes by their length: no state
  // carries over to or from them.
  if (length < 4) {
    lastLength_ = 0;
    return CF_NameHash(bytes, length);
  }
  const size_t most = std::min(length, lastLength_);
  size_t common = 0;
  while (common + 8 <= most && std::memcmp(bytes + common, last_ + common, 8) == 0) common += 8;
  while (common < most && bytes[common] == last_[common]) ++common;
  if (states_.size() <= length) states_.resize(length + 1);
  if (common < 4) {
    common = 4;
    states_[4] = Seed(bytes, length);
  }
  uint32_t h = states_[common];
  for (size_t i = common; i < length; ++i) states_[i + 1] = h = Step(h, bytes[i]);
  last_ = bytes;
  lastLength_ = length;
  return h;
}
