#include "platform/ole/storage_object.h"

#include <vector>

#include "platform/ole/element_enum.h"
#include "platform/ole/stream_object.h"

namespace ole {

Result StorageObject::CreateElement(const char16_t* name, uint32_t mode, ElementType type,
                                    std::shared_ptr<Entry>* made) {
  if (mode != kElementCreateMode) return STG_E_INVALIDFLAG;
  std::u16string key;
  if (Result r = TakeName(name, &key); !Succeeded(r)) return r;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  if (!element_.CanWrite()) return STG_E_ACCESSDENIED;
  Entry& parent = *element_.entry;
  std::shared_ptr<Entry> existing = parent.Find(key);
  if (existing && existing->open_objects > 0) return STG_E_ACCESSDENIED;
  auto entry = std::make_shared<Entry>(key, type);
  if (existing) RevertTree(parent.Detach(key));
  parent.Attach(entry);
  element_.file->Touch();
  *made = std::move(entry);
  return S_OK;
}

Result StorageObject::FindForOpen(const char16_t* name, uint32_t mode, ElementType type,
                                  std::shared_ptr<Entry>* found) {
  if (mode != kElementReadMode) return STG_E_INVALIDFLAG;
  std::u16string key;
  if (Result r = TakeName(name, &key); !Succeeded(r)) return r;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  std::shared_ptr<Entry> entry = element_.entry->Find(key);
  if (!entry || entry->type != type) return STG_E_FILENOTFOUND;
  if (entry->open_objects > 0) return STG_E_ACCESSDENIED;
  *found = std::move(entry);
  return S_OK;
}

Result StorageObject::CreateStream(const char16_t* name, uint32_t mode, Stream** stream) {
  if (stream == nullptr) return STG_E_INVALIDPOINTER;
  *stream = nullptr;
  return Guarded([&] {
    std::shared_ptr<Entry> entry;
    Result r = CreateElement(name, mode, STGTY_STREAM, &entry);
    if (Succeeded(r)) *stream = new StreamObject(element_.file, entry, mode);
    return r;
  });
}

Result StorageObject::OpenStream(const char16_t* name, uint32_t mode, Stream** stream) {
  if (stream == nullptr) return STG_E_INVALIDPOINTER;
  *stream = nullptr;
  return Guarded([&] {
    std::shared_ptr<Entry> entry;
    Result r = FindForOpen(name, mode, STGTY_STREAM, &entry);
    if (Succeeded(r)) *stream = new StreamObject(element_.file, entry, mode);
    return r;
  });
}

Result StorageObject::CreateStorage(const char16_t* name, uint32_t mode, Storage** storage) {
  if (storage == nullptr) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  return Guarded([&] {
    std::shared_ptr<Entry> entry;
    Result r = CreateElement(name, mode, STGTY_STORAGE, &entry);
    if (Succeeded(r)) *storage = new StorageObject(element_.file, entry, mode, entry->name);
    return r;
  });
}

Result StorageObject::OpenStorage(const char16_t* name, uint32_t mode, Storage** storage) {
  if (storage == nullptr) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  return Guarded([&] {
    std::shared_ptr<Entry> entry;
    Result r = FindForOpen(name, mode, STGTY_STORAGE, &entry);
    if (Succeeded(r)) *storage = new StorageObject(element_.file, entry, mode, entry->name);
    return r;
  });
}

Result StorageObject::MoveElementTo(const char16_t* name, Storage* destination, const char16_t* newName,
                                    MoveMode mode) {
  if (mode != STGMOVE_MOVE && mode != STGMOVE_COPY) return STG_E_INVALIDFLAG;
  if (destination == nullptr) return STG_E_INVALIDPOINTER;
  auto* target = dynamic_cast<StorageObject*>(destination);
  if (target == nullptr) return STG_E_INVALIDPARAMETER;
  return Guarded([&] {
    std::u16string key, new_key;
    if (Result r = TakeName(name, &key); !Succeeded(r)) return r;
    if (Result r = TakeName(newName, &new_key); !Succeeded(r)) return r;
    if (Result r = element_.Usable(); !Succeeded(r)) return r;
    if (Result r = target->element_.Usable(); !Succeeded(r)) return r;
    std::shared_ptr<Entry> source = element_.entry->Find(key);
    if (!source) return STG_E_FILENOTFOUND;
    Entry& into = *target->element_.entry;
    bool move = mode == STGMOVE_MOVE;
    if (!target->element_.CanWrite() || (move && !element_.CanWrite())) return STG_E_ACCESSDENIED;
    if (move && source->open_objects > 0) return STG_E_ACCESSDENIED;
    if (into.Find(new_key)) return STG_E_FILEALREADYEXISTS;
    // A storage cannot go into itself or below itself.
    if (into.IsWithin(source.get())) return STG_E_ACCESSDENIED;

    if (move && target->element_.file == element_.file) {
      std::shared_ptr<Entry> moved = element_.entry->Detach(key);
      moved->name = new_key;
      into.Attach(std::move(moved));
    } else {
      std::shared_ptr<Entry> copy;
      if (Result r = DeepCopy(*source, new_key, target->element_.file->work(), &copy); !Succeeded(r)) return r;
      into.Attach(std::move(copy));
      if (move) RevertTree(element_.entry->Detach(key));
    }
    target->element_.file->Touch();
    if (move) element_.file->Touch();
    return S_OK;
  });
}

Result StorageObject::DestroyElement(const char16_t* name) {
  return Guarded([&] {
    std::u16string key;
    if (Result r = TakeName(name, &key); !Succeeded(r)) return r;
    if (Result r = element_.Usable(); !Succeeded(r)) return r;
    if (!element_.CanWrite()) return STG_E_ACCESSDENIED;
    std::shared_ptr<Entry> gone = element_.entry->Detach(key);
    if (!gone) return STG_E_FILENOTFOUND;
    RevertTree(gone);
    element_.file->Touch();
    return S_OK;
  });
}

Result StorageObject::RenameElement(const char16_t* oldName, const char16_t* newName) {
  return Guarded([&] {
    std::u16string key, new_key;
    if (Result r = TakeName(oldName, &key); !Succeeded(r)) return r;
    if (Result r = TakeName(newName, &new_key); !Succeeded(r)) return r;
    if (Result r = element_.Usable(); !Succeeded(r)) return r;
    if (!element_.CanWrite()) return STG_E_ACCESSDENIED;
    Entry& parent = *element_.entry;
    std::shared_ptr<Entry> source = parent.Find(key);
    if (!source) return STG_E_FILENOTFOUND;
    // A name differing only in case finds the element itself: a change of case.
    std::shared_ptr<Entry> other = parent.Find(new_key);
    if (other && other != source) return STG_E_FILEALREADYEXISTS;
    if (source->open_objects > 0) return STG_E_ACCESSDENIED;
    std::shared_ptr<Entry> renamed = parent.Detach(key);
    renamed->name = new_key;
    parent.Attach(std::move(renamed));
    element_.file->Touch();
    return S_OK;
  });
}

Result StorageObject::EnumElements(ElementEnum** elements) {
  if (elements == nullptr) return STG_E_INVALIDPOINTER;
  *elements = nullptr;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  return Guarded([&] {
    std::vector<StatStg> list;
    list.reserve(element_.entry->children.size());
    for (const auto& child : element_.entry->children) {
      const Entry& e = *child.second;
      StatStg s;
      s.name = e.name;
      s.type = e.type;
      s.size = e.type == STGTY_STREAM ? e.data.size() : 0;
      if (e.IsStorage()) s.clsid = e.clsid;
      s.state_bits = e.state_bits;
      list.push_back(std::move(s));
    }
    *elements = new ElementEnumObject(std::make_shared<const std::vector<StatStg>>(std::move(list)));
    return S_OK;
  });
}

Result StorageObject::SetClass(const Clsid& clsid) {
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  if (!element_.CanWrite()) return STG_E_ACCESSDENIED;
  element_.entry->clsid = clsid;
  element_.file->Touch();
  return S_OK;
}

Result StorageObject::Stat(StatStg* stat) {
  if (stat == nullptr) return STG_E_INVALIDPOINTER;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  return Guarded([&] {
    const Entry& e = *element_.entry;
    stat->name = stat_name_;
    stat->type = e.type;
    stat->size = 0;
    stat->mode = element_.mode;
    stat->clsid = e.clsid;
    stat->state_bits = e.state_bits;
    return S_OK;
  });
}

Result StorageObject::Commit() {
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  if (element_.entry->type != STGTY_ROOT) return S_OK;
  return element_.file->Save();
}

}  // namespace ole
