// A folder's table of children, (name, index) -> child number, as a vector
// kept in key order: by name (unsigned bytes, a proper prefix first), then
// index (signed).  Children made in key order, the usual case, are simply
// appended; a look-up is a binary search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CF_FolderTable {
 public:
  struct Child {
    std::string name;
    int32_t index;
    uint32_t number;
  };

  // The number of the child (name, index), or null.
  const uint32_t* Find(const char* name, int32_t index) const;
  // The number of the child (name, index), added with `number` when new.
  uint32_t Add(const char* name, int32_t index, uint32_t number);
  // Takes a child as read, in any order; Seal orders them and is false when
  // a key came twice.
  void Append(std::string name, int32_t index, uint32_t number);
  // Makes room for n children.
  void Reserve(size_t n) { children_.reserve(n); }
  bool Seal();

  size_t size() const { return children_.size(); }
  const std::vector<Child>& Children() const { return children_; }

 private:
  // Where the key is, or would go.
  std::vector<Child>::const_iterator LowerBound(const char* name, int32_t index) const;

  std::vector<Child> children_;
};
