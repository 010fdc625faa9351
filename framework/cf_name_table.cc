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

CF_NameTable::Name CF_NameTable::Get(uint32_t place) const {
  const char* p = pieces_[place / kPieceSize].get() + place % kPieceSize;
  const auto byte = [p](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(p[i])); };
  return Name{p + kHead, byte(4) | byte(5) << 8, byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24};
}

size_t CF_NameTable::Probe(const char* bytes, size_t length, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.placePlusOne == 0) return i;
    if (slot.hash != hash) continue;
    const Name name = Get(slot.placePlusOne - 1);
    if (name.length == length && std::memcmp(name.bytes, bytes, length) == 0) return i;
  }
}

uint32_t CF_NameTable::Find(const char* bytes, size_t length) const {
  if (slots_.empty()) return kNone;
  const Slot& slot = slots_[Probe(bytes, length, static_cast<uint32_t>(Hash(bytes, length)))];
  return slot.placePlusOne == 0 ? kNone : Get(slot.placePlusOne - 1).value;
}

uint32_t CF_NameTable::Add(const char* bytes, size_t length, uint32_t value) {
  if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
  const uint32_t hash = static_cast<uint32_t>(Hash(bytes, length));
  Slot& slot = slots_[Probe(bytes, length, hash)];
  if (slot.placePlusOne != 0) return Get(slot.placePlusOne - 1).value;
  slot = Slot{Store(bytes, length, value) + 1, hash};
  ++count_;
  return value;
}

uint32_t CF_NameTable::Store(const char* bytes, size_t length, uint32_t value) {
  const uint32_t need = static_cast<uint32_t>(kHead + length);
  if (kPieceSize - fill_ < need) {
    // Places (plus one) are 32-bit: 4095 pieces at most.
    if (pieces_.size() + 1 >= (uint64_t{1} << 32) / kPieceSize) Error(kFailOutOfMemory);
    std::unique_ptr<char[]> piece(new char[kPieceSize]);
    if (!pieces_.empty()) ends_.push_back(fill_);
    try {
      pieces_.push_back(std::move(piece));
    } catch (...) {
      if (!pieces_.empty()) ends_.pop_back();
      throw;
    }
    fill_ = 0;
  }
  char* p = pieces_.back().get() + fill_;
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(value >> (8 * i));
  p[4] = static_cast<char>(length & 0xFF);
  p[5] = static_cast<char>(length >> 8);
  std::memcpy(p + kHead, bytes, length);
  const uint32_t place = static_cast<uint32_t>((pieces_.size() - 1) * kPieceSize + fill_);
  fill_ += need;
  return place;
}

void CF_NameTable::Grow() {
  std::vector<Slot> old(slots_.empty() ? 64 : slots_.size() * 2, Slot{0, 0});
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.placePlusOne == 0) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].placePlusOne != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}
