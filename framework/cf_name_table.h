// The names of a code file, each kept once, for millions of streams.
//
// Names are numbered 0, 1, 2 ... in the order they are first added, and
// their bytes lie one after another in 1 MiB pieces of storage (a u16
// length before each name), so a name costs its bytes plus about 16 bytes of
// bookkeeping, and adding or finding one allocates nothing in the common
// case.  Look-ups go through an open-addressing table keyed by a 64-bit hash
// of the bytes; the hash stored in files (CF_NameHash) plays no part here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CF_NameTable {
 public:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  // A name's bytes inside the table.
  struct Name {
    const char* bytes;
    uint32_t length;
    std::string String() const { return std::string(bytes, length); }
    // The u16 little-endian length and then the bytes, as the names section
    // of a code file stores a name.
    const char* Counted() const { return bytes - 2; }
  };

  CF_NameTable() = default;
  CF_NameTable(const CF_NameTable&) = delete;
  CF_NameTable& operator=(const CF_NameTable&) = delete;

  // The name's number; a new name is added with the next number.  Names
  // are at most 65535 bytes (the caller checks); kFailOutOfMemory once the
  // names fill 4 GiB.
  uint32_t Add(const char* bytes, size_t length);
  // The name's number, or kNone.
  uint32_t Find(const char* bytes, size_t length) const;

  uint32_t Count() const { return static_cast<uint32_t>(offsets_.size()); }
  Name Get(uint32_t number) const;

 private:
  static constexpr uint32_t kPieceSize = uint32_t{1} << 20;

  // A used slot holds number + 1 and 32 bits of the hash; 0 marks a free one.
  struct Slot {
    uint32_t numberPlusOne;
    uint32_t hash;
  };

  static uint64_t Hash(const char* bytes, size_t length);
  // The slot holding the name, or the free slot where it would go.
  size_t Probe(const char* bytes, size_t length, uint32_t hash) const;
  bool Equal(uint32_t number, const char* bytes, size_t length) const;
  void Grow();
  uint32_t Store(const char* bytes, size_t length);

  std::vector<std::unique_ptr<char[]>> pieces_;
  uint32_t fill_ = kPieceSize;  // bytes used in the last piece
  std::vector<uint32_t> offsets_;  // by number: piece * kPieceSize + offset of the length
  std::vector<Slot> slots_;        // a power of two in size, at most 3/4 used
};
