#include "framework/cf_in_storage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/cf_name.h"
#include "framework/failures.h"
#include "framework/ole_stream.h"
#include "framework/read_ahead_file.h"

CF_OLEInStorage::CF_OLEInStorage(const OLEStorage& storage) : summary_(cf::kSummaryStream) {
  OLEStorage source(storage);
  {
    std::unique_ptr<OLEStream> ole(new OLEStream(source, cf::kCodeFileStream, cf::kOpenRead));
    std::unique_ptr<InFile> stream(new ReadAheadFile(*ole, true));
    ole.release();
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

// Directory entries read at once.
constexpr uint32_t kEntriesAtOnce = 4096;

}  // namespace

void CF_OLEInStorage::AddEntry(uint32_t number, int32_t id, uint8_t kind, uint32_t tableOffset) {
  bool made = false;
  CF_Directory::Entry& entry = directory_.Make(number, id, kind, &made);
  if (!made) Error(kFailCodeFileDamaged);  // the same pair twice
  entry.tableOffset = tableOffset;
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
      const uint32_t number = names_.Add(name, length, static_cast<uint32_t>(names_.Count()));
      AddEntry(number, static_cast<int32_t>(cf::Get32(rest)), rest[4], cf::Get32(rest + 5));
    }
    return;
  }
  // The whole directory, once it is known to be there, in large pieces.
  if (static_cast<uint64_t>(count) * cf::kEntrySize > size_ - offset) Error(kFailCodeFileDamaged);
  directory_.Reserve(count);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min(count, kEntriesAtOnce)) * cf::kEntrySize);
  for (uint32_t left = count; left > 0;) {
    const uint32_t n = std::min(left, kEntriesAtOnce);
    ReadAt(bytes.data(), n * cf::kEntrySize, cf::kNoOffset);
    for (const uint8_t* p = bytes.data(); p != bytes.data() + n * cf::kEntrySize; p += cf::kEntrySize) {
      AddEntry(cf::Get32(p), static_cast<int32_t>(cf::Get32(p + 4)), p[8], cf::Get32(p + 9));
    }
    left -= n;
  }
}

void CF_OLEInStorage::ReadNames() {
  // The section runs to the end of the stream; the table reads its records
  // from there in turns, straight from the stream.  A names section that
  // comes short simply ends; what was read stays.  A name given twice keeps
  // its first number.
  const uint32_t at = pager_->Seek(0, SeekCurrent);
  const uint32_t size = at < size_ ? size_ - at : 0;
  if (size < 4) return;
  uint8_t count[4];
  if (cf::GetAll(*pager_, count, 4) < 4) return;
  const uint32_t records = at + 4;
  names_.Load(
      [this, records](uint8_t* buffer, size_t n, size_t offset) -> size_t {
        pager_->Seek(static_cast<int32_t>(records + offset), SeekBegin);
        return cf::GetAll(*pager_, buffer, static_cast<uint32_t>(n));
      },
      size - 4, cf::Get32(count));
}

uint32_t CF_OLEInStorage::ReadUpTo(void* buffer, uint32_t n, uint32_t position) {
  if (position != cf::kNoOffset) {
    if (position > size_) Error(kFailCodeFileDamaged);
    pager_->Seek(static_cast<int32_t>(position), SeekBegin);
  }
  return n > 0 ? cf::GetAll(*pager_, buffer, n) : 0;
}

uint32_t CF_OLEInStorage::ReadAt(void* buffer, uint32_t n, uint32_t position) {
  if (ReadUpTo(buffer, n, position) < n) Error(kFailCodeFileDamaged);
  return n;
}

uint32_t CF_OLEInStorage::GetData(void* buffer, uint32_t n) { return ReadAt(buffer, n, cf::kNoOffset); }

Variant CF_OLEInStorage::GetProperty(int32_t id) {
  const Property* property = summary_.Find(id);
  return property != nullptr ? Variant(property->Value()) : Variant();
}

CF_InStream* CF_OLEInStorage::OpenStream(const char* name, int32_t id) {
  if (name == nullptr) name = "";
  const uint32_t number = names_.FindAhead(name, std::strlen(name));
  if (number == CF_NameTable::kNone) return nullptr;
  const CF_Directory::Entry* found = directory_.Find(number, id);
  if (found == nullptr) return nullptr;
  CF_DirectoryEntry entry;
  entry.number = number;
  entry.id = id;
  entry.kind = found->kind;
  entry.tableOffset = found->tableOffset;
  open_.push_back(nullptr);  // the place is taken first, so registering cannot fail
  CF_OLEInStream* stream;
  try {
    stream = new CF_OLEInStream(*this, entry);
  } catch (...) {
    open_.pop_back();
    throw;
  }
  stream->SetTicket(static_cast<uint32_t>(open_.size() - 1));
  open_.back() = stream;
  return stream;
}

void CF_OLEInStorage::Expect(const char* name) {
  if (name != nullptr) names_.PrefetchSlot(CF_NameTable::HashOf(name, std::strlen(name)));
}

void CF_OLEInStorage::StreamClosed(CF_OLEInStream* stream) {
  const uint32_t ticket = stream->Ticket();
  if (ticket >= open_.size() || open_[ticket] != stream) return;
  open_[ticket] = open_.back();
  open_[ticket]->SetTicket(ticket);
  open_.pop_back();
}

bool CF_OLEInStorage::EnumerateStreams(IdentifierReceiver& receiver) {
  if (order_.size() != directory_.Size()) {
    order_ = directory_.Order();
    // A number given to several names reports the first of them by the
    // stored name order.
    names_.ForEach([this](uint32_t place, const CF_NameTable::Name& name) {
      auto placed = nameOfNumber_.emplace(name.value, place);
      if (!placed.second && CF_NameKey(name.String()) < CF_NameKey(names_.Get(placed.first->second).String())) {
        placed.first->second = place;
      }
    });
  }
  std::string name;
  for (uint64_t key : order_) {
    auto known = nameOfNumber_.find(CF_Directory::NumberOf(key));
    name = known != nameOfNumber_.end() ? names_.Get(known->second).String() : std::string();
    if (!receiver.Receive(name.c_str(), CF_Directory::IdOf(key))) return false;
  }
  return true;
}
