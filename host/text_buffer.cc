#include "host/text_buffer.h"

#include <algorithm>
#include <stdexcept>

namespace xthost {

TextBuffer& TextBuffer::operator=(std::u16string text) {
  buffer_ = std::move(text);
  gap_start_ = gap_end_ = buffer_.size();
  return *this;
}

std::u16string TextBuffer::substr(std::size_t at, std::size_t count) const {
  if (at > size()) throw std::out_of_range("TextBuffer::substr");
  count = std::min(count, size() - at);
  std::u16string out;
  out.reserve(count);
  const std::size_t end = at + count;
  // The part before the gap, then the part after it.
  if (at < gap_start_) out.append(buffer_, at, std::min(end, gap_start_) - at);
  if (end > gap_start_) {
    const std::size_t from = std::max(at, gap_start_);
    out.append(buffer_, from + gap_end_ - gap_start_, end - from);
  }
  return out;
}

void TextBuffer::copy_to(std::size_t at, std::size_t count, char16_t* out) const {
  const std::size_t end = at + count;
  if (at < gap_start_) out = std::copy(buffer_.begin() + at, buffer_.begin() + std::min(end, gap_start_), out);
  if (end > gap_start_) {
    const std::size_t from = std::max(at, gap_start_) + gap_end_ - gap_start_;
    std::copy(buffer_.begin() + from, buffer_.begin() + end + gap_end_ - gap_start_, out);
  }
}

std::size_t TextBuffer::count(std::size_t from, std::size_t to, char16_t unit) const {
  std::size_t n = 0;
  if (from < gap_start_) {
    n += std::count(buffer_.begin() + from, buffer_.begin() + std::min(to, gap_start_), unit);
  }
  if (to > gap_start_) {
    const std::size_t shift = gap_end_ - gap_start_;
    n += std::count(buffer_.begin() + std::max(from, gap_start_) + shift, buffer_.begin() + to + shift, unit);
  }
  return n;
}

const std::u16string& TextBuffer::str() const {
  if (gap_end_ != buffer_.size() || gap_start_ != gap_end_) {
    std::copy(buffer_.begin() + gap_end_, buffer_.end(), buffer_.begin() + gap_start_);
    buffer_.resize(size());
    gap_start_ = gap_end_ = buffer_.size();
  }
  return buffer_;
}

void TextBuffer::Open(std::size_t at, std::size_t room) {
  if (gap_end_ - gap_start_ < room) {
    // Widened at the end, by half the text at least, so that growing
    // costs a bounded number of moves per unit.
    str();
    const std::size_t text = buffer_.size();
    buffer_.resize(text + std::max(room, text / 2 + 64));
    gap_end_ = buffer_.size();
  }
  if (at < gap_start_) {
    // The units [at, gap start) go behind the gap.
    const std::size_t moved = gap_start_ - at;
    std::copy_backward(buffer_.begin() + at, buffer_.begin() + gap_start_, buffer_.begin() + gap_end_);
    gap_start_ = at;
    gap_end_ -= moved;
  } else if (at > gap_start_) {
    // The units after the gap up to `at` go before it.
    const std::size_t moved = at - gap_start_;
    std::copy(buffer_.begin() + gap_end_, buffer_.begin() + gap_end_ + moved, buffer_.begin() + gap_start_);
    gap_start_ = at;
    gap_end_ += moved;
  }
}

void TextBuffer::insert(std::size_t at, const std::u16string& units) {
  Open(at, units.size());
  std::copy(units.begin(), units.end(), buffer_.begin() + gap_start_);
  gap_start_ += units.size();
}

void TextBuffer::erase(std::size_t at, std::size_t count) {
  Open(at, 0);
  gap_end_ += count;
}

bool operator==(const TextBuffer& a, const TextBuffer& b) { return a.str() == b.str(); }
bool operator==(const TextBuffer& a, const std::u16string& b) { return a.str() == b; }
bool operator==(const std::u16string& a, const TextBuffer& b) { return a == b.str(); }
bool operator==(const TextBuffer& a, const char16_t* b) { return a.str() == b; }

}  // namespace xthost
