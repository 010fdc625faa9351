#include "framework/ole_storage.h"

#include <utility>

#include "framework/ole_enumerator.h"
#include "framework/ole_stream.h"
#include "framework/ole_string.h"

namespace {

constexpr uint32_t kShareExclusive = ole::STGM_SHARE_EXCLUSIVE;   // 0x10
constexpr uint32_t kShareDenyWrite = ole::STGM_SHARE_DENY_WRITE;  // 0x20

}  // namespace

OLEStorage::Opened OLEStorage::Snapshot(ole::Storage* storage, const char16_t* name) {
  Opened opened{storage, {}};
  ole::Result result = storage->Stat(&opened.stat);
  if (!ole::Succeeded(result)) {
    storage->Release();
    Abort(result, name);
  }
  return opened;
}

OLEStorage::Opened OLEStorage::OpenRoot(const char* path, CD_OpenMode mode) {
  // The storage layer takes the path in the system's narrow encoding, so it
  // is passed on byte for byte; its UTF-16 form names a failing snapshot.
  OLEString name(path, 0);
  uint32_t flags = mode | (mode != 0 ? kShareExclusive : kShareDenyWrite);
  ole::Storage* storage = nullptr;
  ole::Result result;
  if (mode & ole::STGM_CREATE) {
    result = ole::CreateDocfile(path, flags, &storage);
  } else {
    result = ole::OpenDocfile(path, flags, &storage);
    if (result == ole::STG_E_FILEALREADYEXISTS) result = ole::STG_E_OLDFORMAT;  // not a compound file
  }
  if (!ole::Succeeded(result)) Abort(result, path);
  return Snapshot(storage, name);
}

OLEStorage::Opened OLEStorage::OpenChild(OLEStorage& parent, const char16_t* name, CD_OpenMode mode) {
  uint32_t flags = mode | kShareExclusive;
  ole::Storage* storage = nullptr;
  ole::Storage* in = (*parent.handler_)();
  ole::Result result = (mode & ole::STGM_CREATE) ? in->CreateStorage(name, flags, &storage)
                                                 : in->OpenStorage(name, flags, &storage);
  if (!ole::Succeeded(result)) Abort(result, name);
  return Snapshot(storage, name);
}

OLEStorage::OLEStorage(Opened opened, OLEHandler<ole::Storage>* parent)
    : handler_(OLEHandler<ole::Storage>::Adopt(opened.storage, parent)), stat_(handler_, std::move(opened.stat)) {}

OLEStorage::OLEStorage(ole::Storage* storage) : OLEStorage(Snapshot(storage, u"IStorage"), nullptr) {}

OLEStorage::OLEStorage(const char* path, CD_OpenMode mode) : OLEStorage(OpenRoot(path, mode), nullptr) {}

OLEStorage::OLEStorage(OLEStorage& parent, const char16_t* name, CD_OpenMode mode)
    : OLEStorage(OpenChild(parent, name, mode), parent.handler_) {}

OLEStorage::OLEStorage(const OLEStorage& other)
    : OLEStorage(((*other.handler_)()->AddRef(), Snapshot((*other.handler_)(), other.Name())),
                 other.handler_->Parent()) {}

OLEStorage::~OLEStorage() noexcept(false) { handler_->Release(); }

OLEStorageEnumerator OLEStorage::CreateEnumerator() { return OLEStorageEnumerator(*this); }

namespace {

// Opens the element read-only to see whether it exists.
template <class T, class Open>
bool ElementExists(const char16_t* name, Open open) {
  T* element = nullptr;
  ole::Result result = open(name, ole::STGM_READ | ole::STGM_SHARE_EXCLUSIVE, &element);
  if (ole::Succeeded(result)) {
    element->Release();
    return true;
  }
  if (result == ole::STG_E_FILENOTFOUND) return false;
  OLEObject::Abort(result, name);
}

}  // namespace

bool OLEStorage::StorageExists(const char16_t* name) {
  ole::Storage* in = (*handler_)();
  return ElementExists<ole::Storage>(
      name, [in](const char16_t* n, uint32_t m, ole::Storage** s) { return in->OpenStorage(n, m, s); });
}

bool OLEStorage::StreamExists(const char16_t* name) {
  ole::Storage* in = (*handler_)();
  return ElementExists<ole::Stream>(
      name, [in](const char16_t* n, uint32_t m, ole::Stream** s) { return in->OpenStream(n, m, s); });
}

OLEStorage OLEStorage::OpenStorage(const char16_t* name, CD_OpenMode mode) { return OLEStorage(*this, name, mode); }

OLEStream OLEStorage::OpenStream(const char16_t* name, CD_OpenMode mode) { return OLEStream(*this, name, mode); }

void OLEStorage::CopyItem(const char16_t* name, OLEStorage& destination, const char16_t* newName, bool move) {
  const char16_t* target = newName ? newName : name;
  ole::Result result = (*handler_)()->MoveElementTo(name, (*destination.handler_)(), target,
                                                    move ? ole::STGMOVE_MOVE : ole::STGMOVE_COPY);
  if (ole::Succeeded(result)) return;
  bool target_fault = result == ole::STG_E_SHAREVIOLATION || result == ole::STG_E_ACCESSDENIED ||
                      result == ole::STG_E_FILEALREADYEXISTS;
  Abort(result, target_fault ? target : name);
}

void OLEStorage::DestroyItem(const char16_t* name) {
  ole::Result result = (*handler_)()->DestroyElement(name);
  if (!ole::Succeeded(result)) Abort(result, name);
}

void OLEStorage::RenameItem(const char16_t* oldName, const char16_t* newName) {
  ole::Result result = (*handler_)()->RenameElement(oldName, newName);
  if (!ole::Succeeded(result)) Abort(result, result == ole::STG_E_FILEALREADYEXISTS ? newName : oldName);
}

uint32_t OLEStorage::GetSize() { return OLEStorageEnumerator::StorageSize(*this, 0); }
