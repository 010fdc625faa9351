#include "framework/cf_name_table.h"

#include <cstring>

#include "framework/failures.h"

namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

uint64_t Load(const char* p, size_t n) {
  uint64_t v = 0;
  std::memcpy(&v, p, n);
  return v;
}

}  // namespace

uint64_t CF_NameTable::Hash(const char* bytes, size_t length) {
  // Eight bytes at a time: names of one folder share long beginnings and
  // differ near their ends, so every byte counts alike.
  uint64_t h = length * kMultiplier;
  for (; length >= 8; bytes += 8, length -= 8) h = (h ^ Mix(Load(bytes, 8))) * kMultiplier;
  if (length > 0) h = (h ^ Mix(Load(bytes, length) ^ (uint64_t{length} << 59))) * kMultiplier;
  return Mix(h);
}

CF_NameTable::Name CF_NameTable::Get(uint32_t number) const {
  const uint32_t offset = offsets_[number];
  const char* p = pieces_[offset / kPieceSize].get() + offset % kPieceSize;
  const uint32_t length = static_cast<uint8_t>(p[0]) | static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8;
  return Name{p + 2, length};
}

bool CF_NameTable::Equal(uint32_t number, const char* bytes, size_t length) const {
  const Name name = Get(number);
  return name.length == length && std::memcmp(name.bytes, bytes, length) == 0;
}

size_t CF_NameTable::Probe(const char* bytes, size_t length, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.numberPlusOne == 0) return i;
    if (slot.hash == hash && Equal(slot.numberPlusOne - 1, bytes, length)) return i;
  }
}

uint32_t CF_NameTable::Find(const char* bytes, size_t length) const {
  if (slots_.empty()) return kNone;
  const Slot& slot = slots_[Probe(bytes, length, static_cast<uint32_t>(Hash(bytes, length)))];
  return slot.numberPlusOne == 0 ? kNone : slot.numberPlusOne - 1;
}

uint32_t CF_NameTable::Add(const char* bytes, size_t length) {
  if ((offsets_.size() + 1) * 4 > slots_.size() * 3) Grow();
  const uint32_t hash = static_cast<uint32_t>(Hash(bytes, length));
  Slot& slot = slots_[Probe(bytes, length, hash)];
  if (slot.numberPlusOne != 0) return slot.numberPlusOne - 1;
  const uint32_t number = Store(bytes, length);
  slot = Slot{number + 1, hash};
  return number;
}

uint32_t CF_NameTable::Store(const char* bytes, size_t length) {
  const uint32_t need = static_cast<uint32_t>(2 + length);
  if (kPieceSize - fill_ < need) {
    // Offsets are 32-bit: 4096 pieces at most.
    if (pieces_.size() >= (uint64_t{1} << 32) / kPieceSize) Error(kFailOutOfMemory);
    pieces_.emplace_back(new char[kPieceSize]);
    fill_ = 0;
  }
  char* p = pieces_.back().get() + fill_;
  p[0] = static_cast<char>(length & 0xFF);
  p[1] = static_cast<char>(length >> 8);
  std::memcpy(p + 2, bytes, length);
  const uint32_t number = static_cast<uint32_t>(offsets_.size());
  offsets_.push_back(static_cast<uint32_t>((pieces_.size() - 1) * kPieceSize + fill_));
  fill_ += need;
  return number;
}

void CF_NameTable::Grow() {
  std::vector<Slot> old(slots_.empty() ? 64 : slots_.size() * 2, Slot{0, 0});
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.numberPlusOne == 0) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].numberPlusOne != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}
