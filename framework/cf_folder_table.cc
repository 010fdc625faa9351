#include "framework/cf_folder_table.h"

#include <algorithm>

namespace {

// <0, 0 or >0 as the child's key is before, at or after (name, index).
int Compare(const CF_FolderTable::Child& child, const char* name, int32_t index) {
  const int c = child.name.compare(name);  // char_traits<char> compares as unsigned bytes
  if (c != 0) return c;
  return child.index < index ? -1 : child.index > index ? 1 : 0;
}

bool Before(const CF_FolderTable::Child& a, const CF_FolderTable::Child& b) {
  const int c = a.name.compare(b.name);
  return c != 0 ? c < 0 : a.index < b.index;
}

}  // namespace

std::vector<CF_FolderTable::Child>::const_iterator CF_FolderTable::LowerBound(const char* name,
                                                                              int32_t index) const {
  return std::lower_bound(children_.begin(), children_.end(), 0,
                          [name, index](const Child& child, int) { return Compare(child, name, index) < 0; });
}

const uint32_t* CF_FolderTable::Find(const char* name, int32_t index) const {
  auto at = LowerBound(name, index);
  return at != children_.end() && Compare(*at, name, index) == 0 ? &at->number : nullptr;
}

uint32_t CF_FolderTable::Add(const char* name, int32_t index, uint32_t number) {
  if (children_.empty() || Compare(children_.back(), name, index) < 0) {
    children_.push_back(Child{name, index, number});
    return number;
  }
  auto at = LowerBound(name, index);
  if (Compare(*at, name, index) == 0) return at->number;
  children_.insert(at, Child{name, index, number});
  return number;
}

void CF_FolderTable::Append(std::string name, int32_t index, uint32_t number) {
  children_.push_back(Child{std::move(name), index, number});
}

bool CF_FolderTable::Seal() {
  if (!std::is_sorted(children_.begin(), children_.end(), Before)) {
    std::stable_sort(children_.begin(), children_.end(), Before);
  }
  return std::adjacent_find(children_.begin(), children_.end(), [](const Child& a, const Child& b) {
           return !Before(a, b);
         }) == children_.end();
}
