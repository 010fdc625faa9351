// The directory of a code file in memory, for millions of entries: an entry
// per (name number, stream id).  The first entry of each number lies in an
// array indexed by the number, kept in pages of 65536 entries so that it
// grows without moving; further ids of a number (rare), and numbers far
// beyond those seen so far, go to a hash map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "framework/cf_format.h"

class CF_Directory {
 public:
  struct Entry {
    int32_t id = 0;
    uint32_t tableOffset = cf::kNoOffset;
    uint32_t open = 0;  // streams open on it (the writer's count)
    uint8_t kind = 0;
    bool live = false;
  };

  // A pair as a key that orders the way the directory does: by id (signed),
  // then number.
  static uint64_t Key(uint32_t number, int32_t id) {
    return uint64_t{static_cast<uint32_t>(id) ^ 0x80000000u} << 32 | number;
  }
  static uint32_t NumberOf(uint64_t key) { return static_cast<uint32_t>(key); }
  static int32_t IdOf(uint64_t key) { return static_cast<int32_t>(static_cast<uint32_t>(key >> 32) ^ 0x80000000u); }

  // The entry of the pair, or null.
  Entry* Find(uint32_t number, int32_t id);
  // The entry of the pair; a new one is live with the given kind and no
  // table, and `made` (when given) tells which.
  Entry& Make(uint32_t number, int32_t id, uint8_t kind, bool* made = nullptr);
  void Erase(uint32_t number, int32_t id);
  // Makes room for n entries numbered from 0 on.
  void Reserve(size_t n) { first_.Reserve(n); }
  size_t Size() const { return size_; }
  // The keys of every entry in directory order.
  std::vector<uint64_t> Order() const;
  // Calls f(number, id, entry) for every entry in directory order.
  template <class F>
  void ForEachInOrder(F f) {
    if (more_.empty() && oneId_) {
      // Every entry lies in the array under one id: number order is the
      // directory order.
      for (size_t number = 0; number < first_.size(); ++number) {
        Entry& entry = first_[number];
        if (entry.live) f(static_cast<uint32_t>(number), entry.id, entry);
      }
      return;
    }
    for (uint64_t key : Order()) f(NumberOf(key), IdOf(key), *Find(NumberOf(key), IdOf(key)));
  }
  // Calls f(entry) for every entry.
  template <class F>
  void ForEach(F f) {
    for (size_t number = 0; number < first_.size(); ++number) f(first_[number]);
    for (auto& entry : more_) f(entry.second);
  }

 private:
  // Entries by number in pages; growing only adds pages.
  class Pages {
   public:
    size_t size() const { return size_; }
    Entry& operator[](size_t n) { return pages_[n >> kBits][n & (kPage - 1)]; }
    const Entry& operator[](size_t n) const { return pages_[n >> kBits][n & (kPage - 1)]; }
    // Grows to n entries; new ones are default entries.
    void Grow(size_t n) {
      while (pages_.size() << kBits < n) {
        std::unique_ptr<Entry[]> page(new Entry[kPage]);
        pages_.push_back(std::move(page));
      }
      if (n > size_) size_ = n;
    }
    void Reserve(size_t n) { pages_.reserve((n + kPage - 1) >> kBits); }

   private:
    static constexpr unsigned kBits = 16;
    static constexpr size_t kPage = size_t{1} << kBits;
    std::vector<std::unique_ptr<Entry[]>> pages_;
    size_t size_ = 0;
  };

  Pages first_;
  std::unordered_map<uint64_t, Entry> more_;
  size_t size_ = 0;
  // False once entries with two different ids were made.
  bool oneId_ = true;
  int32_t anId_ = 0;  // the id of an entry made, when size_ > 0
};
