#include "framework/cf_directory.h"

#include <algorithm>

CF_Directory::Entry* CF_Directory::Find(uint32_t number, int32_t id) {
  if (number < first_.size() && first_[number].live && first_[number].id == id) return &first_[number];
  if (more_.empty()) return nullptr;
  auto found = more_.find(Key(number, id));
  return found != more_.end() ? &found->second : nullptr;
}

CF_Directory::Entry& CF_Directory::Make(uint32_t number, int32_t id, uint8_t kind, bool* made) {
  if (made != nullptr) *made = false;
  if (Entry* entry = Find(number, id)) return *entry;
  if (size_ == 0 && oneId_) anId_ = id;
  if (id != anId_) oneId_ = false;
  Entry entry;
  entry.id = id;
  entry.kind = kind;
  entry.live = true;
  // The array grows with the entries, never far ahead of them, so numbers
  // read from a damaged file cannot make it huge.
  if (number >= first_.size() && uint64_t{number} < 2 * uint64_t{size_} + 1024) first_.Grow(uint64_t{number} + 1);
  Entry& placed = number < first_.size() && !first_[number].live
                      ? first_[number] = entry
                      : more_.emplace(Key(number, id), entry).first->second;
  ++size_;
  if (made != nullptr) *made = true;
  return placed;
}

void CF_Directory::Erase(uint32_t number, int32_t id) {
  if (number < first_.size() && first_[number].live && first_[number].id == id) {
    first_[number] = Entry();
    --size_;
  } else {
    size_ -= more_.erase(Key(number, id));
  }
}

std::vector<uint64_t> CF_Directory::Order() const {
  std::vector<uint64_t> order;
  order.reserve(size_);
  for (uint32_t number = 0; number < first_.size(); ++number) {
    if (first_[number].live) order.push_back(Key(number, first_[number].id));
  }
  for (const auto& entry : more_) order.push_back(entry.first);
  if (!std::is_sorted(order.begin(), order.end())) std::sort(order.begin(), order.end());
  return order;
}
