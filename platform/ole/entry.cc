#include "platform/ole/entry.h"

#include <utility>
#include <vector>

namespace ole {

Entry::~Entry() {
  try {
    std::vector<std::shared_ptr<Entry>> pending;
    for (auto& child : children) pending.push_back(std::move(child.second));
    children.clear();
    while (!pending.empty()) {
      std::shared_ptr<Entry> e = std::move(pending.back());
      pending.pop_back();
      if (e.use_count() != 1) continue;  // someone else still holds it
      for (auto& child : e->children) pending.push_back(std::move(child.second));
      e->children.clear();
    }
  } catch (const std::bad_alloc&) {
    // Out of memory: what is left goes down the usual, recursive way.
  }
}

std::shared_ptr<Entry> Entry::Find(const std::u16string& child_name) const {
  auto it = children.find(child_name);
  return it == children.end() ? nullptr : it->second;
}

void Entry::Attach(std::shared_ptr<Entry> child) {
  child->parent = this;
  std::u16string key = child->name;
  children.emplace(std::move(key), std::move(child));
}

std::shared_ptr<Entry> Entry::Detach(const std::u16string& child_name) {
  auto it = children.find(child_name);
  if (it == children.end()) return nullptr;
  std::shared_ptr<Entry> child = std::move(it->second);
  children.erase(it);
  child->parent = nullptr;
  return child;
}

bool Entry::IsWithin(const Entry* ancestor) const {
  for (const Entry* e = this; e != nullptr; e = e->parent) {
    if (e == ancestor) return true;
  }
  return false;
}

bool Entry::HasOpenObjects() const {
  std::vector<const Entry*> pending{this};
  while (!pending.empty()) {
    const Entry* e = pending.back();
    pending.pop_back();
    if (e->open_objects > 0) return true;
    for (const auto& child : e->children) pending.push_back(child.second.get());
  }
  return false;
}

Result DeepCopy(const Entry& source, const std::u16string& name, const std::shared_ptr<WorkFile>& work,
                std::shared_ptr<Entry>* copy) {
  auto copy_one = [&work](const Entry& from, const std::u16string& as, std::shared_ptr<Entry>* to) {
    *to = std::make_shared<Entry>(as, from.type == STGTY_ROOT ? STGTY_STORAGE : from.type);
    (*to)->clsid = from.clsid;
    (*to)->state_bits = from.state_bits;
    (*to)->created = from.created;
    (*to)->modified = from.modified;
    return from.data.CopyTo(work, &(*to)->data);
  };
  std::shared_ptr<Entry> top;
  if (Result r = copy_one(source, name, &top); !Succeeded(r)) return r;
  std::vector<std::pair<const Entry*, Entry*>> pending{{&source, top.get()}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (const auto& child : from->children) {
      std::shared_ptr<Entry> c;
      if (Result r = copy_one(*child.second, child.second->name, &c); !Succeeded(r)) return r;
      pending.emplace_back(child.second.get(), c.get());
      to->Attach(std::move(c));
    }
  }
  *copy = std::move(top);
  return S_OK;
}

void RevertTree(const std::shared_ptr<Entry>& top) {
  std::vector<std::shared_ptr<Entry>> pending{top};
  while (!pending.empty()) {
    std::shared_ptr<Entry> e = std::move(pending.back());
    pending.pop_back();
    e->reverted = true;
    e->parent = nullptr;
    e->data = StreamData();
    for (auto& child : e->children) pending.push_back(std::move(child.second));
    e->children.clear();
  }
}

}  // namespace ole
