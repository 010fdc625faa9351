#include "framework/cf_name_table.h"

#include <algorithm>
#include <cstring>

#include "framework/failures.h"
#include "framework/hash_mix.h"
#include "framework/prefault.h"

namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

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

// How far ahead bulk work starts loading what it will need: slots, and
// records scattered over much memory.
constexpr size_t kAhead = 16;
constexpr size_t kFarAhead = 48;

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
  return HashMix64(h);
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
  if (slots_.empty()) {
    // Made at its final size at once.
    size_t size = 64;
    while (appended_ * 4 > size * 3) size *= 2;
    ZeroedArray<Slot>(size).swap(slots_);
  }
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

template <class NameAt>
bool CF_NameTable::Arrange(const std::vector<uint32_t>& where, NameAt nameAt) {
  // A stable counting sort by value.  Equal names would keep the first by
  // value, not the first given, so then nothing is done.
  const size_t n = where.size();
  if (n < 2) return false;
  std::vector<uint32_t> values(n);
  uint32_t top = 0;
  for (size_t i = 0; i < n; ++i) {
    values[i] = nameAt(where[i]).value;
    top = std::max(top, values[i]);
  }
  if (uint64_t{top} >= 2 * uint64_t{n} + 1024) return false;
  std::vector<uint32_t> starts(size_t{top} + 2, 0);
  for (uint32_t value : values) ++starts[value + 1];
  for (size_t v = 1; v < starts.size(); ++v) starts[v] += starts[v - 1];
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[starts[values[i]]++] = where[i];
  std::vector<uint32_t>().swap(values);
  std::vector<uint32_t>().swap(starts);
  CF_NameTable arranged;
  for (size_t i = 0; i < n; ++i) {
    if (i + kFarAhead < n) __builtin_prefetch(nameAt(order[i + kFarAhead]).bytes);
    const Name next = nameAt(order[i]);
    arranged.Store(next.bytes, next.length, next.value, HashOf(next.bytes, next.length));
    ++arranged.appended_;
  }
  std::vector<uint32_t>().swap(order);
  if (!arranged.Build()) return false;
  *this = std::move(arranged);
  return true;
}

void CF_NameTable::Index() {
  std::vector<uint32_t> places;
  places.reserve(appended_);
  ForEach([&places](uint32_t place, const Name&) { places.push_back(place); });
  if (!Arrange(places, [this](uint32_t place) { return Get(place); })) Build();
}

namespace {

// A stored record {u16 length, bytes, u32 value} of a names section at p.
struct StoredRecord {
  const char* bytes;
  uint32_t length;
  uint32_t value;
};
StoredRecord ReadStored(const uint8_t* p) {
  const uint32_t length = p[0] | uint32_t{p[1]} << 8;
  const uint8_t* v = p + 2 + length;
  return {reinterpret_cast<const char*>(p + 2), length,
          v[0] | uint32_t{v[1]} << 8 | uint32_t{v[2]} << 16 | uint32_t{v[3]} << 24};
}


// Bytes of a section read at once: room for the longest record and more.
constexpr size_t kTurn = size_t{256} << 10;

// Calls f(record) for each whole stored record read through `read`, in
// order, at most `count` of them, a record cut short ending them; stops
// early when f returns false.  Returns how many f took, or kNone when it
// stopped.
template <class F>
uint32_t ForEachStored(const CF_NameTable::Reader& read, uint32_t count, F f) {
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kTurn]);
  size_t have = 0;    // bytes in the buffer
  size_t at = 0;      // where the next record starts in it
  size_t offset = 0;  // the section's bytes read so far
  bool end = false;
  for (uint32_t n = 0;;) {
    const size_t left = have - at;
    const size_t need = left < 2 ? 2 : 6 + (buffer[at] | size_t{buffer[at + 1]} << 8);
    if (left >= need) {
      if (n == count) return n;
      if (!f(buffer.get() + at)) return CF_NameTable::kNone;
      ++n;
      at += need;
      continue;
    }
    if (end) return n;
    std::memmove(buffer.get(), buffer.get() + at, left);
    have = left;
    at = 0;
    const size_t got = read(buffer.get() + have, kTurn - have, offset);
    end = got < kTurn - have;
    offset += got;
    have += got;
  }
}

}  // namespace

bool CF_NameTable::LoadByValue(const Reader& read, size_t size, uint32_t count) {
  // The usual section: every value different and below count plus a
  // little, so each record's place can be found by its value straight
  // away, with no sort.  Anything else is left to the general way.
  const size_t room = std::min<size_t>(count, size / 6) + 1024;
  // First the length of the name of each value, plus one (0: none), on
  // fresh zero pages written at random; then, in the same room, the place
  // of each value's record.
  ZeroedArray<uint32_t> byValue(room);
  uint32_t top = 0;
  const uint32_t n = ForEachStored(read, count, [&byValue, &top, room](const uint8_t* p) {
    const StoredRecord r = ReadStored(p);
    if (r.value >= room) return false;
    byValue[r.value] = r.length + 1;  // a value given twice shows in the count below
    top = std::max(top, r.value);
    return true;
  });
  // Dense as Index would find them; a single name is left as it is.
  if (n == kNone || n < 2 || uint64_t{top} >= 2 * uint64_t{n} + 1024) return false;
  size_t distinct = 0;
  for (uint32_t value = 0; value <= top; ++value) distinct += byValue[value] != 0;
  if (distinct != n) return false;
  // Each record goes where Store would put it, the records taken in value
  // order; the pieces are made now.  Each piece holds a run of values:
  // `firsts` keeps the first of each, and `pieceAt` the piece of every
  // 1,024th value, from where the piece of any value is a step or two.
  std::vector<uint32_t> firsts;
  for (uint32_t value = 0; value <= top; ++value) {
    if (byValue[value] == 0) continue;
    const uint32_t need = kHead + byValue[value] - 1;
    if (kPieceSize - fill_ < need) {
      AddPiece(!pieces_.empty());
      firsts.push_back(value);
    }
    byValue[value] = static_cast<uint32_t>((pieces_.size() - 1) * kPieceSize + fill_) + 1;
    fill_ += need;
  }
  appended_ = n;
  constexpr int kStep = 10;
  std::vector<uint32_t> pieceAt((top >> kStep) + 1);
  for (size_t k = 0, piece = 0; k < pieceAt.size(); ++k) {
    while (piece + 1 < firsts.size() && firsts[piece + 1] <= k << kStep) ++piece;
    pieceAt[k] = static_cast<uint32_t>(piece);
  }
  // The records again, in the section's order, each appended to its piece,
  // so that every piece is written front to back; then each piece in turn
  // is put in value order through a copy, while it is in the cache.
  std::vector<uint32_t> ends(pieces_.size(), 0);
  ForEachStored(read, n, [&](const uint8_t* p) {
    const StoredRecord r = ReadStored(p);
    size_t piece = pieceAt[r.value >> kStep];
    while (piece + 1 < firsts.size() && firsts[piece + 1] <= r.value) ++piece;
    Put(pieces_[piece].get() + ends[piece], r.bytes, r.length, r.value, HashOf(r.bytes, r.length));
    ends[piece] += kHead + r.length;
    return true;
  });
  std::unique_ptr<char[]> copy(new char[kPieceSize]);
  for (size_t piece = 0; piece < pieces_.size(); ++piece) {
    char* const to = pieces_[piece].get();
    std::memcpy(copy.get(), to, ends[piece]);
    for (uint32_t at = 0; at < ends[piece];) {
      const Name name = GetAt(copy.get() + at);
      std::memcpy(to + (byValue[name.value] - 1) % kPieceSize, copy.get() + at, kHead + name.length);
      at += kHead + name.length;
    }
  }
  ZeroedArray<uint32_t>().swap(byValue);
  if (Build()) return true;  // the look-up table is made at its final size there
  *this = CF_NameTable();  // equal names: the first in the section must win
  return false;
}

void CF_NameTable::Load(const uint8_t* records, size_t size, uint32_t count) {
  Load(
      [records, size](uint8_t* buffer, size_t n, size_t offset) {
        n = std::min(n, size - std::min(offset, size));
        if (n > 0) std::memcpy(buffer, records + offset, n);
        return n;
      },
      size, count);
}

void CF_NameTable::Load(const Reader& read, size_t size, uint32_t count) {
  if (LoadByValue(read, size, count)) return;
  std::unique_ptr<uint8_t[]> section(new uint8_t[size > 0 ? size : 1]);
  LoadAll(section.get(), read(section.get(), size, 0), count);
}

void CF_NameTable::LoadAll(const uint8_t* records, size_t size, uint32_t count) {
  // Where each whole record starts.
  std::vector<uint32_t> starts;
  starts.reserve(std::min<size_t>(count, size / 6));
  for (size_t at = 0; starts.size() < count && size - at >= 2;) {
    const size_t length = records[at] | size_t{records[at + 1]} << 8;
    if (size - at - 2 < length + 4) break;
    starts.push_back(static_cast<uint32_t>(at));
    at += 6 + length;
  }
  const auto nameAt = [records](uint32_t at) {
    const StoredRecord r = ReadStored(records + at);
    return Name{r.bytes, r.length, r.value, 0};
  };
  if (Arrange(starts, nameAt)) return;
  for (uint32_t at : starts) {
    const Name next = nameAt(at);
    Store(next.bytes, next.length, next.value, HashOf(next.bytes, next.length));
    ++appended_;
  }
  Build();
}

uint32_t CF_NameTable::Store(const char* bytes, size_t length, uint32_t value, uint32_t hash) {
  const uint32_t need = static_cast<uint32_t>(kHead + length);
  // A table past its first piece is a large one: the pieces it takes next
  // are filled whole.
  if (kPieceSize - fill_ < need) AddPiece(!pieces_.empty());
  Put(pieces_.back().get() + fill_, bytes, length, value, hash);
  const uint32_t place = static_cast<uint32_t>((pieces_.size() - 1) * kPieceSize + fill_);
  fill_ += need;
  return place;
}

void CF_NameTable::AddPiece(bool filled) {
  // Places (plus one) are 32-bit: 4095 pieces at most.
  if (pieces_.size() + 1 >= (uint64_t{1} << 32) / kPieceSize) Error(kFailOutOfMemory);
  std::unique_ptr<char[]> piece(new char[kPieceSize]);
  if (filled) PrefaultPages(piece.get(), kPieceSize);
  if (!pieces_.empty()) ends_.push_back(fill_);
  try {
    pieces_.push_back(std::move(piece));
  } catch (...) {
    if (!pieces_.empty()) ends_.pop_back();
    throw;
  }
  fill_ = 0;
}

void CF_NameTable::Put(char* p, const char* bytes, size_t length, uint32_t value, uint32_t hash) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<char>(value >> (8 * i));
    p[4 + i] = static_cast<char>(hash >> (8 * i));
  }
  p[kMark] = 0;
  p[kMark + 1] = 0;
  p[10] = static_cast<char>(length & 0xFF);
  p[11] = static_cast<char>(length >> 8);
  std::memcpy(p + kHead, bytes, length);
}

uint64_t* CF_NameTable::DropLookUps(size_t* words) {
  static_assert(sizeof(Slot) == sizeof(uint64_t), "a slot is one word");
  *words = slots_.size();
  return slots_.empty() ? nullptr : reinterpret_cast<uint64_t*>(&slots_[0]);
}

void CF_NameTable::Grow() {
  if (slots_.empty()) {
    ZeroedArray<Slot>(64).swap(slots_);
    return;
  }
  // The table doubles where it lies and its names are placed again in that
  // memory: taken in order from the slot after a free one, each slot is
  // emptied and its name put in the first free slot from its new home.
  // Until the walk comes round to slot 0, the names going to the new half
  // come from old slots at or past their old homes, never more than the
  // new half has slots from their homes on, so no search runs off its end.
  // Any other search ends at the slot just emptied at the latest.  So no
  // search crosses a name still to be taken, and every name stays
  // findable from its home.
  const size_t old = slots_.size();
  slots_.Double();
  const size_t mask = slots_.size() - 1;
  size_t start = 0;
  while (slots_[start].placePlusOne != 0) ++start;  // at most 3/4 are used
  for (size_t n = 1; n <= old; ++n) {
    Slot& from = slots_[(start + n) & (old - 1)];
    if (from.placePlusOne == 0) continue;
    const Slot slot = from;
    from = Slot{0, 0};
    size_t i = slot.hash & mask;
    while (slots_[i].placePlusOne != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}
