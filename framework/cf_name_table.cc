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

uint64_t Load(const char* p, size_t n) {
  uint64_t v = 0;
  std::memcpy(&v, p, n);
  return v;
}

// How far ahead bulk work starts loading what it will need.
constexpr size_t kAhead = 16;

}  // namespace

uint64_t CF_NameTable::Hash(const char* bytes, size_t length) {
  // Eight bytes at a time, each block spread over the whole word before the
  // next comes in; names of one folder differ only near their ends.
  uint64_t h = length * kMultiplier;
  for (; length >= 8; bytes += 8, length -= 8) {
    h = (h ^ Load(bytes, 8)) * kMultiplier;
    h ^= h >> 29;
  }
  if (length > 0) h = (h ^ Load(bytes, length) ^ 0xFF) * kMultiplier;
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
  LookAhead(slot.placePlusOne - 1);
  return Get(slot.placePlusOne - 1).value;
}

uint32_t CF_NameTable::Next(uint32_t place) const {
  const size_t piece = place / kPieceSize;
  const uint32_t at = place % kPieceSize + kHead + Get(place).length;
  if (at < (piece + 1 == pieces_.size() ? fill_ : ends_[piece])) return place - place % kPieceSize + at;
  return piece + 1 < pieces_.size() ? static_cast<uint32_t>((piece + 1) * kPieceSize) : kNone;
}

void CF_NameTable::LookAhead(uint32_t place) {
  // The records up to kLookAhead bytes past the one found have their slots
  // asked for; look-ups that go on from there ask for a few more each, a
  // jump starts again from the record found.
  constexpr uint32_t kLookAhead = 1024;
  const uint64_t limit = uint64_t{place} + kLookAhead;
  if (ahead_ == kNone || ahead_ <= place || ahead_ > limit + kLookAhead) ahead_ = Next(place);
  const size_t mask = slots_.size() - 1;
  while (ahead_ != kNone && ahead_ < limit) {
    const Name name = Get(ahead_);
    __builtin_prefetch(&slots_[name.hash & mask]);
    ahead_ = Next(ahead_);
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
}

bool CF_NameTable::Insert(uint32_t place, uint32_t hash) {
  const Name name = Get(place);
  Slot& slot = slots_[Probe(name.bytes, name.length, hash)];
  if (slot.placePlusOne != 0) return false;
  slot = Slot{place + 1, hash};
  ++count_;
  return true;
}

bool CF_NameTable::Build() {
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
  bool unique = true;
  auto settle = [this, &unique](const Pending& p) {
    if (Insert(p.place, p.hash)) return;
    pieces_[p.place / kPieceSize][p.place % kPieceSize + kMark] = 1;  // dropped
    unique = false;
  };
  ForEachRecord([&](uint32_t place, const Name& name, bool) {
    const uint32_t hash = name.hash;
    __builtin_prefetch(&slots_[hash & mask]);
    Pending& slot = ring[++seen % kAhead];
    if (seen > kAhead) settle(slot);
    slot = Pending{place, hash};
  });
  for (size_t n = std::min(seen, kAhead); n > 0; --n) settle(ring[(seen - n + 1) % kAhead]);
  return unique;
}

void CF_NameTable::Index() {
  // When the values are dense, the records go to a new table in value order
  // (a stable counting sort).  Equal names there would keep the first by
  // value, not the first appended, so then this table is indexed as it is.
  std::vector<uint32_t> places;
  std::vector<uint32_t> values;
  places.reserve(appended_);
  values.reserve(appended_);
  ForEach([&](uint32_t place, const Name& name) {
    places.push_back(place);
    values.push_back(name.value);
  });
  const uint64_t top = values.empty() ? 0 : *std::max_element(values.begin(), values.end());
  if (places.size() >= 2 && top < 2 * uint64_t{places.size()} + 1024) {
    std::vector<uint32_t> starts(top + 2, 0);
    for (uint32_t value : values) ++starts[value + 1];
    for (size_t v = 1; v < starts.size(); ++v) starts[v] += starts[v - 1];
    std::vector<uint32_t> order(places.size());
    for (size_t i = 0; i < places.size(); ++i) order[starts[values[i]]++] = places[i];
    std::vector<uint32_t>().swap(places);
    std::vector<uint32_t>().swap(values);
    std::vector<uint32_t>().swap(starts);
    CF_NameTable arranged;
    for (size_t i = 0; i < order.size(); ++i) {
      if (i + kAhead < order.size()) Prefetch(order[i + kAhead]);
      const Name name = Get(order[i]);
      arranged.Store(name.bytes, name.length, name.value, name.hash);
      ++arranged.appended_;
    }
    std::vector<uint32_t>().swap(order);
    if (arranged.Build()) {
      *this = std::move(arranged);
      return;
    }
  }
  Build();
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
