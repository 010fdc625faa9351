#include "host/text_buffer.h"

#include <algorithm>
#include <stdexcept>

namespace xthost {

std::u16string TextBuffer::substr(std::size_t at, std::size_t count) const {
  if (at > size()) throw std::out_of_range("TextBuffer::substr");
  count = std::min(count, size() - at);
  std::u16string out;
  out.reserve(count);
  ForParts(at, at + count, [&](auto first, auto last) { out.append(first, last); });
  return out;
}

void TextBuffer::copy_to(std::size_t at, std::size_t count, char16_t* out) const {
  ForParts(at, at + count, [&](auto first, auto last) { out = std::copy(first, last, out); });
}

std::size_t TextBuffer::count(std::size_t from, std::size_t to, char16_t unit) const {
  std::size_t n = 0;
  ForParts(from, to, [&](auto first, auto last) { n += static_cast<std::size_t>(std::count(first, last, unit)); });
  return n;
}

bool operator==(const TextBuffer& a, const TextBuffer& b) { return a.str() == b.str(); }
bool operator==(const TextBuffer& a, const std::u16string& b) { return a.str() == b; }
bool operator==(const std::u16string& a, const TextBuffer& b) { return a == b.str(); }
bool operator==(const TextBuffer& a, const char16_t* b) { return a.str() == b; }

}  // namespace xthost
