#include "kxt/strings_index.h"

#include <cstring>
#include <string>

#include "framework/hash_mix.h"

namespace {

// FNV-1a over the code units, then a final mix so that the low bits, which
// pick the slot, depend on every unit.
uint64_t HashOf(const char16_t* text, size_t length) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (size_t i = 0; i < length; ++i) h = (h ^ static_cast<uint16_t>(text[i])) * 0x100000001b3ULL;
  return HashMix64(h ^ length);
}

constexpr size_t kFirstSize = 64;

}  // namespace

const int32_t* KXT_StringsIndex::Find(const char16_t* text) const {
  if (slots_.empty()) return nullptr;
  const size_t length = std::char_traits<char16_t>::length(text);
  const uint64_t hash = HashOf(text, length);
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
