#include "framework/cf_in_storage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/cf_name.h"
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
  for (CF_OLEInStream* stream : open_) stream->Detach();
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

namespace {

// Orders pairs as the directory does: by id (signed), then number.
uint64_t PairKey(uint32_t number, int32_t id) {
  return uint64_t{static_cast<uint32_t>(id) ^ 0x80000000u} << 32 | number;
}

size_t PairHash(uint32_t number, int32_t id) {
  uint64_t h = PairKey(number, id) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(h ^ (h >> 29));
}

// Directory pieces read at once.
constexpr uint32_t kEntriesAtOnce = 4096;

}  // namespace

const CF_DirectoryEntry* CF_OLEInStorage::Find(uint32_t number, int32_t id) const {
  if (index_.empty()) return nullptr;
  const size_t mask = index_.size() - 1;
  for (size_t i = PairHash(number, id) & mask; index_[i] != 0; i = (i + 1) & mask) {
    const CF_DirectoryEntry& entry = entries_[index_[i] - 1];
    if (entry.number == number && entry.id == id) return &entry;
  }
  return nullptr;
}

void CF_OLEInStorage::GrowIndex() {
  index_.assign(index_.empty() ? 64 : index_.size() * 2, 0);
  const size_t mask = index_.size() - 1;
  for (uint32_t e = 0; e < entries_.size(); ++e) {
    size_t i = PairHash(entries_[e].number, entries_[e].id) & mask;
    while (index_[i] != 0) i = (i + 1) & mask;
    index_[i] = e + 1;
  }
}

void CF_OLEInStorage::AddEntry(const CF_DirectoryEntry& entry) {
  if (Find(entry.number, entry.id) != nullptr) Error(kFailCodeFileDamaged);  // the same pair twice
  entries_.push_back(entry);
  if (entries_.size() * 2 > index_.size()) {
    GrowIndex();
    return;
  }
  const size_t mask = index_.size() - 1;
  size_t i = PairHash(entry.number, entry.id) & mask;
  while (index_[i] != 0) i = (i + 1) & mask;
  index_[i] = static_cast<uint32_t>(entries_.size());
}

void CF_OLEInStorage::ReadDirectory(uint32_t count, uint32_t offset, uint32_t minor) {
  ReadAt(nullptr, 0, offset);  // positions the pager; 34001 past the end
  if (minor == 0) {
    // Older entries carry their names inline: u8 length, bytes, i32 id,
    // u8 kind, u32 table offset.  Names are numbered in order of first use.
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t length;
      ReadAt(&length, 1, cf::kNoOffset);
      char name[255];
      ReadAt(name, length, cf::kNoOffset);
      uint8_t rest[9];
      ReadAt(rest, 9, cf::kNoOffset);
      CF_DirectoryEntry entry;
      entry.number = names_.Add(name, length);
      if (entry.number == numbers_.size()) numbers_.push_back(entry.number);
      entry.id = static_cast<int32_t>(cf::Get32(rest));
      entry.kind = rest[4];
      entry.tableOffset = cf::Get32(rest + 5);
      AddEntry(entry);
    }
    return;
  }
  // The whole directory, once it is known to be there, in large pieces.
  if (static_cast<uint64_t>(count) * cf::kEntrySize > size_ - offset) Error(kFailCodeFileDamaged);
  entries_.reserve(count);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min(count, kEntriesAtOnce)) * cf::kEntrySize);
  for (uint32_t left = count; left > 0;) {
    const uint32_t n = std::min(left, kEntriesAtOnce);
    ReadAt(bytes.data(), n * cf::kEntrySize, cf::kNoOffset);
    for (const uint8_t* p = bytes.data(); p != bytes.data() + n * cf::kEntrySize; p += cf::kEntrySize) {
      CF_DirectoryEntry entry;
      entry.number = cf::Get32(p);
      entry.id = static_cast<int32_t>(cf::Get32(p + 4));
      entry.kind = p[8];
      entry.tableOffset = cf::Get32(p + 9);
      AddEntry(entry);
    }
    left -= n;
  }
}

void CF_OLEInStorage::ReadNames() {
  // A names section that comes short simply ends; what was read stays.  A
  // name given twice keeps its first number.
  uint8_t word[4];
  if (!cf::GetExactly(*pager_, word, 4)) return;
  uint32_t count = cf::Get32(word);
  std::unique_ptr<char[]> name(new char[cf::kMaxNameLength]);
  while (count-- > 0) {
    if (!cf::GetExactly(*pager_, word, 2)) return;
    const uint32_t length = cf::Get16(word);
    if (!cf::GetExactly(*pager_, name.get(), length) || !cf::GetExactly(*pager_, word, 4)) return;
    if (names_.Add(name.get(), length) == numbers_.size()) numbers_.push_back(cf::Get32(word));
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
  if (name == nullptr) name = "";
  const uint32_t known = names_.Find(name, std::strlen(name));
  if (known == CF_NameTable::kNone) return nullptr;
  const CF_DirectoryEntry* entry = Find(numbers_[known], id);
  if (entry == nullptr) return nullptr;
  open_.push_back(nullptr);  // the place is taken first, so registering cannot fail
  CF_OLEInStream* stream;
  try {
    stream = new CF_OLEInStream(*this, *entry);
  } catch (...) {
    open_.pop_back();
    throw;
  }
  stream->SetTicket(static_cast<uint32_t>(open_.size() - 1));
  open_.back() = stream;
  return stream;
}

void CF_OLEInStorage::StreamClosed(CF_OLEInStream* stream) {
  const uint32_t ticket = stream->Ticket();
  if (ticket >= open_.size() || open_[ticket] != stream) return;
  open_[ticket] = open_.back();
  open_[ticket]->SetTicket(ticket);
  open_.pop_back();
}

bool CF_OLEInStorage::EnumerateStreams(IdentifierReceiver& receiver) {
  if (order_.size() != entries_.size()) {
    order_.resize(entries_.size());
    for (uint32_t e = 0; e < entries_.size(); ++e) order_[e] = e;
    std::sort(order_.begin(), order_.end(), [this](uint32_t a, uint32_t b) {
      return PairKey(entries_[a].number, entries_[a].id) < PairKey(entries_[b].number, entries_[b].id);
    });
    // A number given to several names reports the first of them by the
    // stored name order.
    for (uint32_t known = 0; known < numbers_.size(); ++known) {
      auto placed = nameOfNumber_.emplace(numbers_[known], known);
      if (placed.second) continue;
      const CF_NameTable::Name a = names_.Get(known), b = names_.Get(placed.first->second);
      if (CF_NameKey(a.String()) < CF_NameKey(b.String())) placed.first->second = known;
    }
  }
  std::string name;
  for (uint32_t e : order_) {
    const CF_DirectoryEntry& entry = entries_[e];
    auto known = nameOfNumber_.find(entry.number);
    name = known != nameOfNumber_.end() ? names_.Get(known->second).String() : std::string();
    if (!receiver.Receive(name.c_str(), entry.id)) return false;
  }
  return true;
}
