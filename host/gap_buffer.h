// A sequence (a std::u16string or a std::vector) kept with a gap at the
// place of the last change that added or removed elements, so that a run of
// edits moving along it (an import typing behind its cursor, or deleting
// ranges from the front to the back or the back to the front) moves each
// element a bounded number of times instead of moving the whole tail at
// every edit.
//
// Elements read by index, in place or through iterators, without moving the
// gap; whole() gives the sequence as one Container, which closes the gap
// first (the next edit opens it again where it is needed).  Host thread
// only: reading it whole changes the layout kept inside.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <type_traits>
#include <utility>

namespace xthost {

template <class Container>
class GapBuffer {
 public:
  using value_type = typename Container::value_type;

  // An iterator by index over a buffer; `Ref` is value_type& or const
  // value_type&.
  template <class Owner, class Ref>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = typename Container::value_type;
    using difference_type = std::ptrdiff_t;
    using pointer = std::remove_reference_t<Ref>*;
    using reference = Ref;
    Iterator(Owner* owner, std::size_t at) : owner_(owner), at_(at) {}
    Ref operator*() const { return (*owner_)[at_]; }
    pointer operator->() const { return &(*owner_)[at_]; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator==(const Iterator& o) const { return at_ == o.at_; }
    bool operator!=(const Iterator& o) const { return at_ != o.at_; }

   private:
    Owner* owner_;
    std::size_t at_;
  };
  using iterator = Iterator<GapBuffer, value_type&>;
  using const_iterator = Iterator<const GapBuffer, const value_type&>;

  GapBuffer() = default;
  GapBuffer(Container items)  // NOLINT: reads as the sequence
      : buffer_(std::move(items)), gap_start_(buffer_.size()), gap_end_(buffer_.size()) {}
  GapBuffer& operator=(Container items) {
    buffer_ = std::move(items);
    gap_start_ = gap_end_ = buffer_.size();
    return *this;
  }

  std::size_t size() const { return buffer_.size() - (gap_end_ - gap_start_); }
  bool empty() const { return size() == 0; }
  const value_type& operator[](std::size_t at) const { return buffer_[Place(at)]; }
  value_type& operator[](std::size_t at) { return buffer_[Place(at)]; }
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size()}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  // The whole sequence.
  const Container& whole() const {
    if (gap_end_ != buffer_.size() || gap_start_ != gap_end_) {
      std::copy(buffer_.begin() + Offset(gap_end_), buffer_.end(), buffer_.begin() + Offset(gap_start_));
      buffer_.resize(size());
      gap_start_ = gap_end_ = buffer_.size();
    }
    return buffer_;
  }

  // Inserts [first, last) before element `at` (at most size()); erases
  // `count` elements from `at` (the range within the sequence).
  template <class It>
  void insert(std::size_t at, It first, It last) {
    Open(at, static_cast<std::size_t>(std::distance(first, last)));
    gap_start_ = Offset(std::copy(first, last, buffer_.begin() + Offset(gap_start_)) - buffer_.begin());
  }
  void erase(std::size_t at, std::size_t count) {
    Open(at, 0);
    gap_end_ += count;
  }
  // Replaces the `count` elements from `at` by [first, last): as many as
  // fit are overwritten in place, and only the difference moves the gap.
  template <class It>
  void replace(std::size_t at, std::size_t count, It first, It last) {
    std::size_t i = 0;
    for (; i < count && first != last; ++i, ++first) (*this)[at + i] = *first;
    if (first != last) insert(at + i, first, last);
    if (i < count) erase(at + i, count - i);
  }
  void push_back(value_type item) { insert(size(), &item, &item + 1); }
  void clear() { *this = Container(); }
  const value_type& front() const { return (*this)[0]; }
  const value_type& back() const { return (*this)[size() - 1]; }
  value_type& front() { return (*this)[0]; }
  value_type& back() { return (*this)[size() - 1]; }

  // Calls visit(first, last) with the buffer's iterators for the parts of
  // the elements [from, to) before and after the gap (those there are).
  template <class Visit>
  void ForParts(std::size_t from, std::size_t to, Visit visit) const {
    if (from < gap_start_) {
      visit(buffer_.begin() + Offset(from), buffer_.begin() + Offset(std::min(to, gap_start_)));
    }
    if (to > gap_start_) {
      const std::size_t shift = gap_end_ - gap_start_;
      visit(buffer_.begin() + Offset(std::max(from, gap_start_) + shift), buffer_.begin() + Offset(to + shift));
    }
  }

 private:
  static std::ptrdiff_t Offset(std::size_t at) { return static_cast<std::ptrdiff_t>(at); }
  std::size_t Place(std::size_t at) const { return at < gap_start_ ? at : at + gap_end_ - gap_start_; }

  // Moves the gap to `at` and makes it at least `room` elements wide.
  void Open(std::size_t at, std::size_t room) {
    if (gap_end_ - gap_start_ < room) {
      // Widened at the end, by half the sequence at least, so that growing
      // costs a bounded number of moves per element.
      whole();
      const std::size_t length = buffer_.size();
      buffer_.resize(length + std::max(room, length / 2 + 64));
      gap_end_ = buffer_.size();
    }
    if (at < gap_start_) {
      // The elements [at, gap start) go behind the gap.
      const std::size_t moved = gap_start_ - at;
      std::copy_backward(buffer_.begin() + Offset(at), buffer_.begin() + Offset(gap_start_),
                         buffer_.begin() + Offset(gap_end_));
      gap_start_ = at;
      gap_end_ -= moved;
    } else if (at > gap_start_) {
      // The elements after the gap up to `at` go before it.
      const std::size_t moved = at - gap_start_;
      std::copy(buffer_.begin() + Offset(gap_end_), buffer_.begin() + Offset(gap_end_ + moved),
                buffer_.begin() + Offset(gap_start_));
      gap_start_ = at;
      gap_end_ += moved;
    }
  }

  // The sequence is buffer_ without [gap_start_, gap_end_); whole() leaves
  // the gap at the end, cut off, so that buffer_ is the sequence.
  mutable Container buffer_;
  mutable std::size_t gap_start_ = 0;
  mutable std::size_t gap_end_ = 0;
};

// Equal elements in the same order, however the gaps lie.
template <class A, class B>
bool SameElements(const A& a, const B& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!(a[i] == b[i])) return false;
  }
  return true;
}

template <class C>
bool operator==(const GapBuffer<C>& a, const GapBuffer<C>& b) {
  return SameElements(a, b);
}
template <class C>
bool operator==(const GapBuffer<C>& a, const C& b) {
  return SameElements(a, b);
}
template <class C>
bool operator!=(const GapBuffer<C>& a, const GapBuffer<C>& b) {
  return !SameElements(a, b);
}
template <class C>
bool operator!=(const GapBuffer<C>& a, const C& b) {
  return !SameElements(a, b);
}

}  // namespace xthost
