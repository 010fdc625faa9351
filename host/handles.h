// A table of host objects by 32-bit id.
//
// The host never hands pointers across the plug-in boundary: every object a
// plug-in may hold is kept here and named by an id.  Ids start at 1, count
// up and are never reused while the table lives, so a stale id is refused
// instead of reaching another object.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

namespace xthost {

template <class T>
class HandleTable {
 public:
  // Stores `value` and returns its new id.
  int32_t Add(T value) {
    const int32_t id = next_++;
    items_.emplace(id, std::move(value));
    return id;
  }
  // The object of `id`, or null for an unknown id.
  T* Find(int32_t id) {
    auto it = items_.find(id);
    return it == items_.end() ? nullptr : &it->second;
  }
  // Removes `id`; false when it is unknown.
  bool Remove(int32_t id) { return items_.erase(id) == 1; }
  std::size_t size() const { return items_.size(); }
  const std::map<int32_t, T>& items() const { return items_; }

 private:
  std::map<int32_t, T> items_;
  int32_t next_ = 1;
};

}  // namespace xthost
