// The names of a code file, each kept once with a 32-bit value, for millions
// of streams.
//
// Records (u32 value, u32 hash, u16 mark, u16 length, the bytes) lie one after
// another, in the order the names were added, in 1 MiB pieces of storage, so
// a name costs its bytes plus about 25 bytes of bookkeeping, and adding or
// finding one allocates nothing in the common case.  Look-ups go through an
// open-addressing table keyed by a 64-bit hash of the bytes that leads
// straight to the record; the hash stored in files (CF_NameHash) plays no
// part here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/zeroed_array.h"

class CF_NameTable {
 public:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  // A name's record inside the table.
  struct Name {
    const char* bytes;
    uint32_t length;
    uint32_t value;
    uint32_t hash;  // HashOf the bytes
    std::string String() const { return std::string(bytes, length); }
    // The u16 little-endian length and then the bytes, as the names section
    // of a code file stores a name.
    const char* Counted() const { return bytes - 2; }
  };

  CF_NameTable() = default;
  CF_NameTable(const CF_NameTable&) = delete;
  CF_NameTable& operator=(const CF_NameTable&) = delete;
  CF_NameTable(CF_NameTable&&) = default;
  CF_NameTable& operator=(CF_NameTable&&) = default;

  // The value of the name; a new name is added with `value`.  Names are at
  // most 65535 bytes (the caller checks); kFailOutOfMemory once the records
  // fill 4 GiB.  `hash` is HashOf the name, when the caller has it.
  uint32_t Add(const char* bytes, size_t length, uint32_t value);
  uint32_t Add(const char* bytes, size_t length, uint32_t value, uint32_t hash);
  // The hash the table keys a name by.
  static uint32_t HashOf(const char* bytes, size_t length) { return static_cast<uint32_t>(Hash(bytes, length)); }
  // Starts loading the slot where a name of that hash is looked for and the
  // cache line after it, where its probe often goes on.
  void PrefetchSlot(uint32_t hash) const {
    if (slots_.empty()) return;
    const size_t mask = slots_.size() - 1;
    __builtin_prefetch(&slots_[hash & mask]);
    __builtin_prefetch(&slots_[(hash + 64 / sizeof(Slot)) & mask]);
  }
  // The value of the name, or kNone.
  uint32_t Find(const char* bytes, size_t length) const;
  // The same, for look-ups that mostly come in the order of the records
  // with short jumps (a code file's reader, whose table Index laid out by
  // number): each also starts loading the slots of the records that follow
  // the one found, so that the next look-ups find them in the cache.
  uint32_t FindAhead(const char* bytes, size_t length);

  // Filling a new table with many names at once: Append stores them without
  // looking them up, Index then makes them findable, keeping the first of
  // equal names (the later ones are dropped).  Only for a table filled
  // through Append alone.  When the values are dense, as a code file's
  // numbers are, Index also lays the records out again in value order, so
  // that names looked up in number order are read in memory order.
  void Append(const char* bytes, size_t length, uint32_t value);
  void Index();
  // Fills a new table straight from records laid one after another the way
  // a code file's names section keeps them ({u16 length, bytes, u32 value}):
  // at most `count` of them within `size` bytes, a record cut short ending
  // them.  The same table as Append of each record and then Index, with one
  // copy of the bytes fewer.
  void Load(const uint8_t* records, size_t size, uint32_t count);
  // The same for records read in turns: read(buffer, n, offset) copies up
  // to n bytes of them from `offset` on and returns how many, fewer only
  // where they end (at `size` bytes at most).  They may be asked for twice;
  // the usual section is never held whole.
  using Reader = std::function<size_t(uint8_t* buffer, size_t n, size_t offset)>;
  void Load(const Reader& read, size_t size, uint32_t count);

  // Gives up the look-ups (Find and Add must not be called again) and lends
  // their memory, room for at least Count() 64-bit words, as the caller's
  // scratch space until the table goes; `words` receives how many there are.
  uint64_t* DropLookUps(size_t* words);

  size_t Count() const { return count_; }
  // Calls f(place, name) for every name in the order they were added; a
  // place stays valid and leads back to the name through Get.
  template <class F>
  void ForEach(F f) const {
    ForEachRecord([&f](uint32_t place, const Name& name, bool dropped) {
      if (!dropped) f(place, name);
    });
  }
  Name Get(uint32_t place) const { return GetAt(Record(place)); }
  // Starts loading the record at the place into the cache: the line where it
  // starts and the one holding the end of a 32-byte name, which is often
  // the next one.
  void Prefetch(uint32_t place) const {
    const char* piece = pieces_[place / kPieceSize].get();
    const uint32_t at = place % kPieceSize;
    __builtin_prefetch(piece + at);
    __builtin_prefetch(piece + std::min(at + kHead + 31, kPieceSize - 1));
  }

 private:
  static constexpr uint32_t kPieceSize = uint32_t{1} << 20;
  static constexpr uint32_t kHead = 12;  // value, hash, mark and length
  static constexpr uint32_t kMark = 8;   // the mark byte: non-zero for a dropped record

  // A used slot holds the record's place + 1 and 32 bits of the hash; 0
  // marks a free one.
  struct Slot {
    uint32_t placePlusOne;
    uint32_t hash;
  };

  template <class F>
  void ForEachRecord(F f) const {
    for (size_t piece = 0; piece < pieces_.size(); ++piece) {
      const uint32_t end = piece + 1 == pieces_.size() ? fill_ : ends_[piece];
      for (uint32_t at = 0; at < end;) {
        const uint32_t place = static_cast<uint32_t>(piece * kPieceSize + at);
        const Name name = Get(place);
        f(place, name, Record(place)[kMark] != 0);
        at += kHead + name.length;
      }
    }
  }
  const char* Record(uint32_t place) const { return pieces_[place / kPieceSize].get() + place % kPieceSize; }
  // The record at p.
  static Name GetAt(const char* p) {
    const auto byte = [p](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(p[i])); };
    const auto word = [&byte](int i) { return byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24; };
    return Name{p + kHead, byte(10) | byte(11) << 8, word(0), word(4)};
  }
  static uint64_t Hash(const char* bytes, size_t length);
  // Places a record in the table; false (and nothing done) when an equal
  // name is there.
  bool Insert(uint32_t place, uint32_t hash);
  // Makes every appended record findable, in order; equal names after the
  // first are dropped.  False when some were.
  bool Build();
  // Load of a section whose values all differ and are dense, the usual
  // case, into this empty table: false (and the table still empty) for any
  // other.  The section is read twice in turns: first each value's length,
  // from which every record's place in value order follows, then the
  // records, each appended to the piece its place lies in; each piece is
  // then put in value order while it is in the cache.
  bool LoadByValue(const Reader& read, size_t size, uint32_t count);
  // Load of any section held whole.
  void LoadAll(const uint8_t* records, size_t size, uint32_t count);
  // When the values of the names nameAt(w) for each w of `where` (in that
  // order) are dense and the names all differ, fills this empty table with
  // them in value order, indexed, and returns true; otherwise leaves it as
  // it is.
  template <class NameAt>
  bool Arrange(const std::vector<uint32_t>& where, NameAt nameAt);
  // The slot holding the name, or the free slot where it would go.
  size_t Probe(const char* bytes, size_t length, uint32_t hash) const;
  void Grow();
  // The place of the record after the one at `place`, or kNone at the end.
  uint32_t Next(uint32_t place) const;
  // Starts loading the slots of the records from place on, up to
  // kLookAhead bytes of records ahead.
  void LookAhead(uint32_t place);
  uint32_t Store(const char* bytes, size_t length, uint32_t value, uint32_t hash);
  // Writes a record at p.
  static void Put(char* p, const char* bytes, size_t length, uint32_t value, uint32_t hash);
  // A new piece of storage; its pages are asked for at once when `filled`.
  void AddPiece(bool filled);

  std::vector<std::unique_ptr<char[]>> pieces_;
  std::vector<uint32_t> ends_;  // bytes used in each full piece
  uint32_t fill_ = kPieceSize;  // bytes used in the last piece
  size_t count_ = 0;     // names findable
  size_t appended_ = 0;  // names stored
  ZeroedArray<Slot> slots_;  // a power of two in size, at most 3/4 used
  uint32_t ahead_ = kNone;   // FindAhead: the first record whose slot is not asked for yet
};
