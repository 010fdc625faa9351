// KXT_StringsIndex: the numbers of UTF-16 strings kept elsewhere (the
// strings map's own keys), found from a NUL-terminated text in one pass over
// it.  An open-addressed table of (hash, string, number); the strings must
// stay where they are while the index refers to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class KXT_StringsIndex {
 public:
  // The number of the string equal to text (not null); null when none is.
  // Valid until the next Set.
  const int32_t* Find(const char16_t* text) const;
  // Gives `key` the number, entering it when no equal string is there.
  void Set(const std::u16string& key, int32_t number);

 private:
  struct Slot {
    uint64_t hash;
    const std::u16string* key;  // null: a free slot
    int32_t number;
  };

  // The slot of an equal string, else the free slot where it would go; the
  // table is never full.
  size_t Probe(uint64_t hash, const char16_t* text, size_t length) const;
  void Grow();

  std::vector<Slot> slots_;  // a power of two in size, at most half used
  size_t used_ = 0;
};
