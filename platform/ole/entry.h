// The in-memory tree of a compound file: one Entry per storage or stream.
//
// A storage's children are kept in the directory's order (NameLess), which is
// also the order enumerations report them in.  Open objects hold their entry
// by shared pointer; an entry removed from the tree is marked reverted, so
// objects still holding it refuse further work with STG_E_REVERTED.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/ole/names.h"
#include "platform/ole/ole.h"
#include "platform/ole/stream_data.h"

namespace ole {

class Entry {
 public:
  using Children = std::map<std::u16string, std::shared_ptr<Entry>, NameLess>;

  Entry(std::u16string name, ElementType type) : name(std::move(name)), type(type) {}
  // Tears the sub-tree down without recursion, so deep trees cannot exhaust
  // the stack.
  ~Entry();
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;

  bool IsStorage() const { return type != STGTY_STREAM; }

  // The child of that name, or null.
  std::shared_ptr<Entry> Find(const std::u16string& child_name) const;
  // Adds a child whose name is not taken; it takes `child` as its parent.
  void Attach(std::shared_ptr<Entry> child);
  // Takes the child out of this storage and returns it (null when absent).
  std::shared_ptr<Entry> Detach(const std::u16string& child_name);
  // True when this entry is `ancestor` or lies below it.
  bool IsWithin(const Entry* ancestor) const;
  // True when this entry or anything below it is held by an open object.
  bool HasOpenObjects() const;

  std::u16string name;
  ElementType type;
  Clsid clsid;
  uint32_t state_bits = 0;
  uint64_t created = 0;
  uint64_t modified = 0;
  StreamData data;    // streams
  Children children;  // storages
  Entry* parent = nullptr;
  uint32_t open_objects = 0;  // stream and storage objects over this entry
  bool reverted = false;
};

// A copy of the sub-tree under a new name, for a file whose work file is
// `work` (open counts and parent not copied).  Fails when stream bytes cannot
// be read or written.
Result DeepCopy(const Entry& source, const std::u16string& name, const std::shared_ptr<WorkFile>& work,
                std::shared_ptr<Entry>* copy);

// Marks a detached sub-tree reverted and frees its contents.
void RevertTree(const std::shared_ptr<Entry>& top);

}  // namespace ole
