// The UTF-16 text of a story, kept with a gap at the place of the last
// change, so that a run of edits moving along the text (an import typing
// behind its cursor, or deleting ranges from the back to the front) moves
// each character a bounded number of times instead of moving the whole
// tail at every edit.
//
// It reads like a std::u16string: size, units by index, slices, and the
// whole text as a std::u16string (str(), or by conversion), which closes
// the gap first (the next edit opens it again where it is needed).  Host
// thread only: reading the whole text changes the layout kept inside.
#pragma once

#include <cstddef>
#include <string>

namespace xthost {

class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(std::u16string text) : buffer_(std::move(text)), gap_start_(buffer_.size()), gap_end_(buffer_.size()) {}  // NOLINT: reads as a string
  TextBuffer& operator=(std::u16string text);

  std::size_t size() const { return buffer_.size() - (gap_end_ - gap_start_); }
  bool empty() const { return size() == 0; }
  char16_t operator[](std::size_t at) const { return buffer_[at < gap_start_ ? at : at + gap_end_ - gap_start_]; }

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
  const std::u16string& str() const;
  operator const std::u16string&() const { return str(); }  // NOLINT: reads as a string

  // Inserts `units` before unit `at` (at most size()); erases `count` units
  // from `at` (the range within the text).
  void insert(std::size_t at, const std::u16string& units);
  void erase(std::size_t at, std::size_t count);

 private:
  // Moves the gap to `at` and makes it at least `room` units wide.
  void Open(std::size_t at, std::size_t room);

  // The text is buffer_ without [gap_start_, gap_end_); str() leaves the gap
  // at the end, cut off, so that buffer_ is the text.
  mutable std::u16string buffer_;
  mutable std::size_t gap_start_ = 0;
  mutable std::size_t gap_end_ = 0;
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
