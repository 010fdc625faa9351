#include "kxt/strings_index.h"

#include <cstring>
#include <string>

#include "framework/hash_mix.h"

namespace {

constexpr uint64_t kHashStart = 0xcbf29ce484222325ULL;

// One FNV-1a step over a code unit.
uint64_t HashStep(uint64_t h, char16_t unit) { return (h ^ static_cast<uint16_t>(unit)) * 0x100000001b3ULL; }

// FNV-1a over the code units, then a final mix of it and the length so that
// the low bits, which pick the slot, depend on every unit.
uint64_t HashOf(const char16_t* text, size_t length) {
  uint64_t h = kHashStart;
  for (size_t i = 0; i < length; ++i) h = HashStep(h, text[i]);
  return HashMix64(h ^ length);
}

constexpr size_t kFirstSize = 64;

}  // namespace

const int32_t* KXT_StringsIndex::Find(const char16_t* text) const {
  if (slots_.empty()) return nullptr;
  // The same hash as HashOf, measuring the text on the way.
  uint64_t h = kHashStart;
  size_t length = 0;
  for (; text[length] != u'\0'; ++length) h = HashStep(h, text[length]);
  const uint64_t hash = HashMix64(h ^ length);
  const Slot& slot = slots_[Probe(hash, text, length)];
  return slot.key == nullptr ? nullptr : &slot.number;
}

void KXT_StringsIndex::Set(const std::u16string& key, int32_t number) {
  if (2 * (used_ + 1) > slots_.size()) Grow();
  const uint64_t hash = HashOf(key.data(), key.size());
  Slot& slot = slots_[Probe(hash, key.data(), key.size())];
  if (slot.key == nullptr) {
    slot.hash = hash;
    slot.key = &key;
    ++used_;
  }
  slot.number = number;
}

size_t KXT_StringsIndex::Probe(uint64_t hash, const char16_t* text, size_t length) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.key == nullptr) return i;
    if (slot.hash == hash && slot.key->size() == length &&
        std::memcmp(slot.key->data(), text, length * sizeof(char16_t)) == 0) {
      return i;
    }
  }
}

void KXT_StringsIndex::Grow() {
  std::vector<Slot> old(slots_.empty() ? kFirstSize : 2 * slots_.size(), Slot{0, nullptr, 0});
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.key == nullptr) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].key != nullptr) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}
