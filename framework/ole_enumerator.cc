#include "framework/ole_enumerator.h"

#include <limits>
#include <utility>
#include <vector>

#include "framework/ole_functions.h"

namespace {

constexpr uint8_t kKindStream = 0;
constexpr uint8_t kKindStorage = 1;
constexpr uint8_t kListEnd = 0xFF;
// The longest name of an element, its NUL included.
constexpr uint32_t kMaxNameUnits = ole::kMaxNameLength + 1;

void PutName(OutStream& out, const std::u16string& name) {
  std::vector<uint8_t> bytes;
  bytes.reserve(2 * (name.size() + 1));
  for (char16_t unit : name) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  PutU32LE(out, static_cast<uint32_t>(name.size() + 1));
  out.PutData(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// Reads a name record: its length (1 to 32 units) and the units, the last of
// them the NUL.
bool GetName(InStream& in, std::u16string& name) {
  uint32_t units = 0;
  if (!GetU32LE(in, units) || units == 0 || units > kMaxNameUnits) return false;
  uint8_t bytes[2 * kMaxNameUnits];
  if (GetFull(in, bytes, 2 * units) != 2 * units) return false;
  name.clear();
  for (uint32_t i = 0; i < units; ++i) name.push_back(static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
  if (name.back() != 0) return false;
  name.pop_back();
  return name.find(u'\0') == std::u16string::npos;
}

void CheckDepth(unsigned depth, const char16_t* name) {
  if (depth >= OLEStorageEnumerator::kMaxTreeDepth) OLEObject::Abort(ole::STG_E_CANTSAVE, name);
}

}  // namespace

OLEStorageEnumerator::OLEStorageEnumerator(OLEStorage& storage) : storage_(storage) {
  if (storage_.Stat().Data().mode & ole::STGM_WRITE) return;
  ole::Result result = (*storage_.Handler())()->EnumElements(&elements_);
  if (!ole::Succeeded(result)) Abort(result, storage_.Name());
}

OLEStorageEnumerator::OLEStorageEnumerator(const OLEStorageEnumerator& other)
    : OLEObject(other), storage_(other.storage_), has_item_(other.has_item_), item_(other.item_) {
  if (!other.elements_) return;
  ole::Result result = other.elements_->Clone(&elements_);
  if (!ole::Succeeded(result)) Abort(result, storage_.Name());
}

OLEStorageEnumerator::~OLEStorageEnumerator() noexcept(false) {
  if (elements_) elements_->Release();
}

void OLEStorageEnumerator::Forget() {
  has_item_ = false;
  item_ = ole::StatStg();
}

void OLEStorageEnumerator::Rewind() {
  Forget();
  if (!elements_) return;
  ole::Result result = elements_->Reset();
  if (!ole::Succeeded(result)) Abort(result, storage_.Name());
}

bool OLEStorageEnumerator::Next(uint32_t n) {
  if (n == 0) return true;
  Forget();
  if (!elements_) return false;
  ole::Result result = n > 1 ? elements_->Skip(n - 1) : ole::S_OK;
  if (!ole::Succeeded(result)) Abort(result, storage_.Name());
  ole::StatStg stat;
  uint32_t fetched = 0;
  result = elements_->Next(1, &stat, &fetched);
  if (!ole::Succeeded(result)) Abort(result, storage_.Name());
  if (fetched != 1) return false;
  item_ = std::move(stat);
  has_item_ = true;
  return true;
}

bool OLEStorageEnumerator::Seek(const char16_t* name) {
  Rewind();
  while (Next(1)) {
    if (CompareWideN(ItemName(), name, std::numeric_limits<uint32_t>::max(), nullptr) == 0) return true;
  }
  return false;
}

void OLEStorageEnumerator::RequireItem() const {
  if (!has_item_) Abort(ole::STG_E_INVALIDPOINTER, storage_.Name());
}

OLEStorage OLEStorageEnumerator::OpenStorage(CD_OpenMode mode) {
  RequireItem();
  return OLEStorage(storage_, item_.name.c_str(), mode);
}

OLEStream OLEStorageEnumerator::OpenStream(CD_OpenMode mode) {
  RequireItem();
  return OLEStream(storage_, item_.name.c_str(), mode);
}

uint32_t OLEStorageEnumerator::GetItemSize() {
  RequireItem();
  if (item_.type != ole::STGTY_STORAGE) return static_cast<uint32_t>(item_.size);
  OLEStorage storage = OpenStorage(kOLERead);
  return StorageSize(storage, 1);
}

uint32_t OLEStorageEnumerator::StorageSize(OLEStorage& storage, unsigned depth) {
  CheckDepth(depth, storage.Name());
  OLEStorageEnumerator items(storage);
  uint32_t size = 0;
  while (items.Next(1)) {
    if (items.ItemIsStorage()) {
      OLEStorage child = items.OpenStorage(kOLERead);
      size += StorageSize(child, depth + 1);
    } else {
      size += static_cast<uint32_t>(items.item_.size);
    }
  }
  return size;
}

void OLEStorageEnumerator::operator>>(OutStream& out) { WriteItem(out, 0); }

void OLEStorageEnumerator::WriteItem(OutStream& out, unsigned depth) {
  RequireItem();
  bool storage = item_.type == ole::STGTY_STORAGE;
  uint8_t kind = storage ? kKindStorage : kKindStream;
  out.PutData(&kind, 1);
  PutName(out, item_.name);
  if (!storage) {
    OLEStream stream = OpenStream(kOLERead);
    uint32_t size = stream.GetSize();
    PutU32LE(out, size);
    if (CopyStreamData(stream, out, size, 0x10000) != size) Abort(ole::STG_E_CANTSAVE, stream.Name());
    return;
  }
  CheckDepth(depth, item_.name.c_str());
  OLEStorage child = OpenStorage(kOLERead);
  child.Stat().WriteClass(out);
  OLEStorageEnumerator items(child);
  while (items.Next(1)) items.WriteItem(out, depth + 1);
  out.PutData(&kListEnd, 1);
}

bool OLEStorageEnumerator::operator<<(InStream& in) { return ReadItem(storage_, in, 0); }

bool OLEStorageEnumerator::ReadItem(OLEStorage& into, InStream& in, unsigned depth) {
  uint8_t kind = kListEnd;
  if (GetFull(in, &kind, 1) != 1 || (kind != kKindStream && kind != kKindStorage)) return false;
  std::u16string name;
  if (!GetName(in, name)) return false;
  if (kind == kKindStream) {
    uint32_t size = 0;
    if (!GetU32LE(in, size)) return false;
    OLEStream stream(into, name.c_str(), kOLECreate);
    if (CopyStreamData(in, stream, size, 1024) != size) Abort(ole::STG_E_CANTSAVE, name.c_str());
    return true;
  }
  CheckDepth(depth, name.c_str());
  OLEStorage child(into, name.c_str(), kOLECreate);
  child.Stat().ReadClass(in);
  while (ReadItem(child, in, depth + 1)) {
  }
  return true;
}
