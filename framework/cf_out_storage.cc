#include "framework/cf_out_storage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/failures.h"
#include "framework/finish_in_destructor.h"
#include "framework/ole_stream.h"

CF_OLEOutStorage::CF_OLEOutStorage(const OLEStorage& storage, bool compress)
    : storage_(storage),
      summary_(cf::kSummaryStream),
      container_(new CF_OutContainer(new OLEStream(storage_, cf::kCodeFileStream, cf::kOpenCreate),
                                     cf::kHeaderSize)),
      compress_(compress) {}

CF_OLEOutStorage::~CF_OLEOutStorage() noexcept(false) {
  // Whatever happens below, no stream may keep pointing at this writer and
  // the cache goes.
  struct Cleanup {
    CF_OLEOutStorage* self;
    ~Cleanup() {
      self->DetachAll();
      CF_OutContainer* container = self->container_;
      self->container_ = nullptr;
      try {
        delete container;
      } catch (...) {
      }
    }
  } cleanup{this};
  FinishInDestructor([this] { Close(); });
}

void CF_OLEOutStorage::SetProperty(int32_t id, const Variant& value) { summary_ += Property(id, value); }

uint32_t CF_OLEOutStorage::NumberOf(const char* name) {
  const size_t length = std::strlen(name);
  if (length > cf::kMaxNameLength) Error(cf::kFailBadName);
  auto found = names_.emplace(CF_NameKey(std::string(name, length)), static_cast<uint32_t>(names_.size()));
  return found.first->second;
}

void CF_OLEOutStorage::Register(CF_OLEOutStream* stream, const CF_DirectoryEntry& entry) {
  const cf::DirKey key{entry.number, entry.id};
  // A pair already in the directory keeps its entry until a stream closes.
  directory_.try_emplace(key, Slot{entry, {}}).first->second.open.push_back(stream);
  open_[stream] = key;
}

CF_OutStream* CF_OLEOutStorage::CreateStream(const char* name, int32_t id, int32_t kind) {
  if (!compress_ || (kind != CF_Compressed && kind != CF_DecideAtFirstFlush)) kind = CF_Stored;
  CF_DirectoryEntry entry;
  entry.number = NumberOf(name ? name : "");
  entry.id = id;
  entry.kind = static_cast<uint8_t>(kind);
  auto* stream = new CF_OLEOutStream(*this, entry);
  try {
    Register(stream, entry);
  } catch (...) {
    stream->Detach();
    delete stream;
    throw;
  }
  return stream;
}

CF_OutStream* CF_OLEOutStorage::RenameStream(const char* oldName, int32_t oldId, const char* newName,
                                             int32_t newId) {
  const uint32_t newNumber = NumberOf(newName ? newName : "");
  auto name = names_.find(CF_NameKey(oldName ? oldName : ""));
  if (name == names_.end()) Error(kFailCodeFileDamaged);
  auto old = directory_.find(cf::DirKey{name->second, oldId});
  if (old == directory_.end() || old->second.open.empty()) Error(kFailCodeFileDamaged);
  // The newest stream of the pair moves; an entry left without streams goes.
  CF_OLEOutStream* stream = old->second.open.back();
  Forget(stream);
  if (old->second.open.empty()) directory_.erase(old);
  stream->SetIdentifier(newNumber, newId);
  CF_DirectoryEntry entry;
  entry.number = newNumber;
  entry.id = newId;
  Register(stream, entry);
  return stream;
}

CF_OLEOutStorage::Slot* CF_OLEOutStorage::Forget(CF_OLEOutStream* stream) {
  auto registered = open_.find(stream);
  if (registered == open_.end()) return nullptr;
  auto slot = directory_.find(registered->second);
  open_.erase(registered);
  if (slot == directory_.end()) return nullptr;
  auto& open = slot->second.open;
  open.erase(std::remove(open.begin(), open.end(), stream), open.end());
  return &slot->second;
}

void CF_OLEOutStorage::StreamClosed(CF_OLEOutStream* stream, const CF_DirectoryEntry& entry) {
  Slot* slot = Forget(stream);
  if (slot == nullptr) return;
  slot->entry.kind = entry.kind;
  slot->entry.tableOffset = entry.tableOffset;
}

void CF_OLEOutStorage::StreamDropped(CF_OLEOutStream* stream) {
  Slot* slot = Forget(stream);
  // An entry that never got a table has nothing to point at.
  if (slot != nullptr && slot->open.empty() && slot->entry.tableOffset == cf::kNoOffset) {
    directory_.erase(cf::DirKey{slot->entry.number, slot->entry.id});
  }
}

uint32_t CF_OLEOutStorage::WriteBlock(const void* data, uint32_t n) {
  const uint32_t offset = container_->GetOffset();
  container_->PutData(data, n);
  return offset;
}

void CF_OLEOutStorage::DetachAll() {
  for (auto& stream : open_) stream.first->Detach();
  open_.clear();
  for (auto& slot : directory_) slot.second.open.clear();
}

void CF_OLEOutStorage::Close() {
  summary_ += Property(cf::kMajorVersionProperty, Variant(static_cast<uint16_t>(1)));
  summary_ += Property(cf::kMinorVersionProperty, Variant(static_cast<uint16_t>(1)));
  summary_.Put(storage_);

  // Streams still open are completed here; their owners delete them later.
  std::vector<CF_OLEOutStream*> open;
  for (const auto& slot : directory_) open.insert(open.end(), slot.second.open.begin(), slot.second.open.end());
  for (CF_OLEOutStream* stream : open) stream->Finish();

  const uint32_t count = static_cast<uint32_t>(directory_.size());
  const uint32_t directoryOffset = container_->GetOffset();
  std::vector<bool> used(names_.size(), false);
  for (const auto& slot : directory_) {
    const CF_DirectoryEntry& e = slot.second.entry;
    uint8_t bytes[cf::kEntrySize];
    cf::Put32(bytes, e.number);
    cf::Put32(bytes + 4, static_cast<uint32_t>(e.id));
    bytes[8] = e.kind;
    cf::Put32(bytes + 9, e.tableOffset);
    container_->PutData(bytes, cf::kEntrySize);
    used[e.number] = true;
  }

  cf::PutU32(*container_, static_cast<uint32_t>(std::count(used.begin(), used.end(), true)));
  for (const auto& name : names_) {
    if (!used[name.second]) continue;
    cf::PutCountedString(*container_, name.first.Name());
    cf::PutU32(*container_, name.second);
  }

  uint8_t header[cf::kHeaderSize];
  cf::Put32(header, count);
  cf::Put32(header + 4, directoryOffset);
  container_->WriteHeader(header);
}
