#include "framework/cf_name_table.h"

#include <algorithm>
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

// The n bytes at p (n at most 8) as a little-endian number; shorter runs
// take overlapping loads instead of a copy of variable length.
uint64_t Word(const char* p, size_t n) {
  const auto load = [](const char* q, size_t k) {
    uint64_t v = 0;
    std::memcpy(&v, q, k);
    return v;
  };
  if (n == 8) return load(p, 8);
  if (n >= 4) return load(p, 4) | load(p + n - 4, 4) << (8 * (n - 4));
  if (n == 0) return 0;
  const auto byte = [p](size_t i) { return uint64_t{static_cast<uint8_t>(p[i])} << (8 * i); };
  return byte(0) | byte(n / 2) | byte(n - 1);
}

// How far ahead bulk work starts loading what it will need.
constexpr size_t kAhead = 16;

}  // namespace

uint64_t CF_NameTable::Hash(const char* bytes, size_t length) {
  // Eight bytes at a time, each block spread over the whole word before the
  // next comes in; names of one folder differ only near their ends.
  uint64_t h = length * kMultiplier;
  for (; length >= 8; bytes += 8, length -= 8) {
    h = (h ^ Word(bytes, 8)) * kMultiplier;
    h ^= h >> 29;
  }
  if (length > 0) h = (h ^ Word(bytes, length) ^ 0xFF) * kMultiplier;
  return Mix(h);
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

uint32_t CF_NameTable::FindAhead(const char* bytes, size_t length) {
  if (slots_.empty()) return kNone;
  const Slot& slot = slots_[Probe(bytes, length, static_cast<uint32_t>(Hash(bytes, length)))];
  if (slot.placePlusOne == 0) return kNone;
  const uint32_t value = Get(slot.placePlusOne - 1).value;
  if (value < byValue_.size()) LookAhead(value);
  return value;
}

void CF_NameTable::LookAhead(uint32_t value) {
  // The names of the values up to kLookAhead past the one found are asked
  // for; look-ups that go on from there ask for a few more each, a jump
  // starts again from the value found.
  constexpr uint64_t kLookAhead = 24;
  const uint64_t limit = std::min<uint64_t>(uint64_t{value} + kLookAhead, byValue_.size());
  if (ahead_ <= value || ahead_ > limit + kLookAhead) ahead_ = uint64_t{value} + 1;
  const size_t mask = slots_.size() - 1;
  for (; ahead_ < limit; ++ahead_) {
    const Ahead& next = byValue_[ahead_];
    if (next.place == kNone) continue;
    __builtin_prefetch(&slots_[next.hash & mask]);
    Prefetch(next.place);
  }
}

uint32_t CF_NameTable::Add(const char* bytes, size_t length, uint32_t value) {
  return Add(bytes, length, value, HashOf(bytes, length));
}

uint32_t CF_NameTable::Add(const char* bytes, size_t length, uint32_t value, uint32_t hash) {
  if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
  Slot& slot = slots_[Probe(bytes, length, hash)];
  if (slot.placePlusOne != 0) return Get(slot.placePlusOne - 1).value;
  slot = Slot{Store(bytes, length, value, hash) + 1, hash};
  ++count_;
  ++appended_;
  return value;
}

void CF_NameTable::Append(const char* bytes, size_t length, uint32_t value) {
  Store(bytes, length, value, HashOf(bytes, length));
  ++appended_;
  topValue_ = std::max(topValue_, value);
}

bool CF_NameTable::Insert(uint32_t place, uint32_t hash) {
  const Name name = Get(place);
  Slot& slot = slots_[Probe(name.bytes, name.length, hash)];
  if (slot.placePlusOne != 0) return false;
  slot = Slot{place + 1, hash};
  ++count_;
  return true;
}

void CF_NameTable::Build() {
  while (appended_ * 4 > slots_.size() * 3) Grow();
  // Records are taken in order; each one's slot is asked for kAhead records
  // before it is filled, so the table's cache misses overlap.
  struct Pending {
    uint32_t place;
    uint32_t hash;
  };
  Pending ring[kAhead];
  size_t seen = 0;
  const size_t mask = slots_.size() - 1;
  auto settle = [this](const Pending& p) {
    if (!Insert(p.place, p.hash)) pieces_[p.place / kPieceSize][p.place % kPieceSize + kMark] = 1;  // dropped
  };
  ForEachRecord([&](uint32_t place, const Name& name, bool) {
    const uint32_t hash = name.hash;
    __builtin_prefetch(&slots_[hash & mask]);
    Pending& slot = ring[++seen % kAhead];
    if (seen > kAhead) settle(slot);
    slot = Pending{place, hash};
  });
  for (size_t n = std::min(seen, kAhead); n > 0; --n) settle(ring[(seen - n + 1) % kAhead]);
}

void CF_NameTable::ListByValue() {
  if (count_ == 0 || uint64_t{topValue_} >= 2 * uint64_t{count_} + 1024) return;
  byValue_.assign(size_t{topValue_} + 1, Ahead{kNone, 0});
  ForEach([this](uint32_t place, const Name& name) {
    Ahead& at = byValue_[name.value];
    if (at.place == kNone) at = Ahead{place, name.hash};
  });
}

void CF_NameTable::Index() {
  Build();
  ListByValue();
}

size_t CF_NameTable::AppendRecords(const uint8_t* records, size_t size, uint32_t* count) {
  size_t at = 0;
  for (; *count > 0 && size - at >= 2; --*count) {
    const size_t length = records[at] | size_t{records[at + 1]} << 8;
    if (size - at - 2 < length + 4) break;
    const uint8_t* v = records + at + 2 + length;
    Append(reinterpret_cast<const char*>(records + at + 2), length,
           v[0] | uint32_t{v[1]} << 8 | uint32_t{v[2]} << 16 | uint32_t{v[3]} << 24);
    at += 6 + length;
  }
  return at;
}

uint32_t CF_NameTable::Store(const char* bytes, size_t length, uint32_t value, uint32_t hash) {
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
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<char>(value >> (8 * i));
    p[4 + i] = static_cast<char>(hash >> (8 * i));
  }
  p[kMark] = 0;
  p[kMark + 1] = 0;
  p[10] = static_cast<char>(length & 0xFF);
  p[11] = static_cast<char>(length >> 8);
  std::memcpy(p + kHead, bytes, length);
  const uint32_t place = static_cast<uint32_t>((pieces_.size() - 1) * kPieceSize + fill_);
  fill_ += need;
  return place;
}

uint64_t* CF_NameTable::DropLookUps(size_t* words) {
  static_assert(sizeof(Slot) == sizeof(uint64_t), "a slot is one word");
  *words = slots_.size();
  return slots_.empty() ? nullptr : reinterpret_cast<uint64_t*>(&slots_[0]);
}

void CF_NameTable::Grow() {
  ZeroedArray<Slot> old(slots_.empty() ? 64 : slots_.size() * 2);
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (size_t n = 0; n < old.size(); ++n) {
    const Slot& slot = old[n];
    if (slot.placePlusOne == 0) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].placePlusOne != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}
