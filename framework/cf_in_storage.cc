#include "framework/cf_in_storage.h"

#include <algorithm>

#include "framework/failures.h"
#include "framework/ole_stream.h"

CF_OLEInStorage::CF_OLEInStorage(const OLEStorage& storage) : summary_(cf::kSummaryStream) {
  OLEStorage source(storage);
  {
    std::unique_ptr<OLEStream> stream(new OLEStream(source, cf::kCodeFileStream, cf::kOpenRead));
    pager_.reset(new InPager(*stream, true));
    stream.release();
  }
  size_ = pager_->Seek(0, SeekEnd);
  summary_.Get(source);
  uint32_t minor = 0;
  CheckVersion(minor);

  uint8_t header[cf::kHeaderSize];
  ReadAt(header, cf::kHeaderSize, 0);
  ReadDirectory(cf::Get32(header), cf::Get32(header + 4), minor);
  if (minor >= 1) ReadNames();
}

CF_OLEInStorage::~CF_OLEInStorage() noexcept(false) {
  for (auto& slot : directory_) {
    for (CF_OLEInStream* stream : slot.second.open) stream->Detach();
  }
}

uint32_t CF_OLEInStorage::VersionProperty(int32_t id) {
  const Property* property = summary_.Find(id);
  if (property == nullptr) return 0;
  Variant number;
  if (!property->Value().ToInteger(number)) return 0;
  // Read as unsigned: a negative version is no version we know.
  return static_cast<uint32_t>(number.ExpandedInteger());
}

void CF_OLEInStorage::CheckVersion(uint32_t& minor) {
  const uint32_t major = VersionProperty(cf::kMajorVersionProperty);
  minor = VersionProperty(cf::kMinorVersionProperty);
  if (major > 1 || (major == 1 && minor > 1)) Error(kFailCodeFileTooNew);
}

uint32_t CF_OLEInStorage::NumberOf(const std::string& name) {
  return names_.emplace(CF_NameKey(name), static_cast<uint32_t>(names_.size())).first->second;
}

void CF_OLEInStorage::ReadDirectory(uint32_t count, uint32_t offset, uint32_t minor) {
  ReadAt(nullptr, 0, offset);  // positions the pager; 34001 past the end
  auto add = [this](const CF_DirectoryEntry& entry) {
    if (!directory_.try_emplace(cf::DirKey{entry.number, entry.id}, Slot{entry, {}}).second) {
      Error(kFailCodeFileDamaged);  // the same pair twice
    }
  };
  if (minor == 0) {
    // Older entries carry their names inline: u8 length, bytes, i32 id,
    // u8 kind, u32 table offset.
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t length;
      ReadAt(&length, 1, cf::kNoOffset);
      std::string name(length, '\0');
      ReadAt(&name[0], length, cf::kNoOffset);
      uint8_t rest[9];
      ReadAt(rest, 9, cf::kNoOffset);
      CF_DirectoryEntry entry;
      entry.number = NumberOf(name);
      entry.id = static_cast<int32_t>(cf::Get32(rest));
      entry.kind = rest[4];
      entry.tableOffset = cf::Get32(rest + 5);
      add(entry);
    }
    return;
  }
  // The whole directory at once, once it is known to be there.
  if (static_cast<uint64_t>(count) * cf::kEntrySize > size_ - offset) Error(kFailCodeFileDamaged);
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * cf::kEntrySize);
  ReadAt(bytes.data(), static_cast<uint32_t>(bytes.size()), cf::kNoOffset);
  for (const uint8_t* p = bytes.data(); p != bytes.data() + bytes.size(); p += cf::kEntrySize) {
    CF_DirectoryEntry entry;
    entry.number = cf::Get32(p);
    entry.id = static_cast<int32_t>(cf::Get32(p + 4));
    entry.kind = p[8];
    entry.tableOffset = cf::Get32(p + 9);
    add(entry);
  }
}

void CF_OLEInStorage::ReadNames() {
  // A names section that comes short simply ends; what was read stays.
  uint8_t word[4];
  if (!cf::GetExactly(*pager_, word, 4)) return;
  uint32_t count = cf::Get32(word);
  std::string name;
  while (count-- > 0) {
    if (!cf::GetCountedString(*pager_, name) || !cf::GetExactly(*pager_, word, 4)) return;
    names_.emplace(CF_NameKey(name), cf::Get32(word));
  }
}

uint32_t CF_OLEInStorage::ReadAt(void* buffer, uint32_t n, uint32_t position) {
  if (position != cf::kNoOffset) {
    if (position > size_) Error(kFailCodeFileDamaged);
    pager_->Seek(static_cast<int32_t>(position), SeekBegin);
  }
  if (n > 0 && !cf::GetExactly(*pager_, buffer, n)) Error(kFailCodeFileDamaged);
  return n;
}

uint32_t CF_OLEInStorage::GetData(void* buffer, uint32_t n) { return ReadAt(buffer, n, cf::kNoOffset); }

Variant CF_OLEInStorage::GetProperty(int32_t id) {
  const Property* property = summary_.Find(id);
  return property != nullptr ? Variant(property->Value()) : Variant();
}

CF_InStream* CF_OLEInStorage::OpenStream(const char* name, int32_t id) {
  auto number = names_.find(CF_NameKey(name ? name : ""));
  if (number == names_.end()) return nullptr;
  auto slot = directory_.find(cf::DirKey{number->second, id});
  if (slot == directory_.end()) return nullptr;
  auto* stream = new CF_OLEInStream(*this, slot->second.entry);
  slot->second.open.push_back(stream);
  return stream;
}

void CF_OLEInStorage::StreamClosed(CF_OLEInStream* stream) {
  auto slot = directory_.find(cf::DirKey{stream->Entry().number, stream->Entry().id});
  if (slot == directory_.end()) return;
  auto& open = slot->second.open;
  open.erase(std::remove(open.begin(), open.end(), stream), open.end());
}

bool CF_OLEInStorage::EnumerateStreams(IdentifierReceiver& receiver) {
  if (namesByNumber_.empty() && !names_.empty()) {
    for (const auto& name : names_) namesByNumber_.emplace(name.second, &name.first.Name());
  }
  for (const auto& slot : directory_) {
    auto name = namesByNumber_.find(slot.first.number);
    if (!receiver.Receive(name != namesByNumber_.end() ? name->second->c_str() : "", slot.first.id)) return false;
  }
  return true;
}
