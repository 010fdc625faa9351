// The UTF-16 text of a story, in a gap buffer (host/gap_buffer.h) so that
// a run of edits moving along the text does not move the whole tail at
// every edit.
//
// It reads like a std::u16string: size, units by index, slices, and the
// whole text as a std::u16string (str(), or by conversion), which closes
// the gap first (the next edit opens it again where it is needed).  Host
// thread only: reading the whole text changes the layout kept inside.
#pragma once

#include <cstddef>
#include <string>

#include "host/gap_buffer.h"

namespace xthost {

class TextBuffer : public GapBuffer<std::u16string> {
 public:
  TextBuffer() = default;
  TextBuffer(std::u16string text) : GapBuffer(std::move(text)) {}  // NOLINT: reads as a string
  TextBuffer& operator=(std::u16string text) {
    GapBuffer::operator=(std::move(text));
    return *this;
  }

  char16_t operator[](std::size_t at) const { return GapBuffer::operator[](at); }

  // The units [at, at + count), `count` cut at the end like substr's.
  std::u16string substr(std::size_t at, std::size_t count = std::u16string::npos) const;
  // Copies the units [at, at + count) to `out` (the range within the text).
  void copy_to(std::size_t at, std::size_t count, char16_t* out) const;
  // How many of the units [from, to) are `unit`.
  std::size_t count(std::size_t from, std::size_t to, char16_t unit) const;
  template <class... Args>
  std::size_t find(const Args&... args) const {
    return str().find(args...);
  }

  // The whole text.
  const std::u16string& str() const { return whole(); }
  operator const std::u16string&() const { return str(); }  // NOLINT: reads as a string

  // Inserts `units` before unit `at` (at most size()); erases `count` units
  // from `at` (the range within the text).
  void insert(std::size_t at, const std::u16string& units) { GapBuffer::insert(at, units.begin(), units.end()); }
};

bool operator==(const TextBuffer& a, const TextBuffer& b);
bool operator==(const TextBuffer& a, const std::u16string& b);
bool operator==(const std::u16string& a, const TextBuffer& b);
bool operator==(const TextBuffer& a, const char16_t* b);
inline bool operator!=(const TextBuffer& a, const TextBuffer& b) { return !(a == b); }
inline bool operator!=(const TextBuffer& a, const std::u16string& b) { return !(a == b); }
inline bool operator!=(const std::u16string& a, const TextBuffer& b) { return !(a == b); }
inline bool operator!=(const TextBuffer& a, const char16_t* b) { return !(a == b); }

}  // namespace xthost
