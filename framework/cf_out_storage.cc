#include "framework/cf_out_storage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/cf_name.h"
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
  return names_.Add(name, length, static_cast<uint32_t>(names_.Count()));
}

void CF_OLEOutStorage::Register(CF_OLEOutStream* stream, uint32_t number, int32_t id, uint8_t kind) {
  // A pair already in the directory keeps its entry until a stream closes.
  open_.push_back(OpenStream{stream, number, id, registered_++});
  try {
    ++directory_.Make(number, id, kind).open;
  } catch (...) {
    open_.pop_back();
    throw;
  }
  stream->SetTicket(static_cast<uint32_t>(open_.size() - 1));
}

void CF_OLEOutStorage::Resolve() {
  if (!pending_.active) return;
  pending_.active = false;
  const uint32_t number = names_.Add(pending_.name.get(), pending_.length, static_cast<uint32_t>(names_.Count()),
                                     pending_.hash);
  Entry& entry = directory_.Make(number, pending_.id, pending_.kind);
  if (pending_.stream != nullptr) {
    ++entry.open;
    open_[pending_.stream->Ticket()].number = number;
    pending_.stream->SetIdentifier(number, pending_.id);
  } else if (!pending_.dropped) {
    entry.kind = pending_.closed.kind;
    entry.tableOffset = pending_.closed.tableOffset;
  } else if (entry.open == 0 && entry.tableOffset == cf::kNoOffset) {
    directory_.Erase(number, pending_.id);
  }
}

CF_OutStream* CF_OLEOutStorage::CreateStream(const char* name, int32_t id, int32_t kind) {
  Resolve();
  if (!compress_ || (kind != CF_Compressed && kind != CF_DecideAtFirstFlush)) kind = CF_Stored;
  if (name == nullptr) name = "";
  const size_t length = std::strlen(name);
  if (length > cf::kMaxNameLength) Error(cf::kFailBadName);
  if (!pending_.name || length > pending_.room) {
    pending_.room = std::max<size_t>(length, 64);
    pending_.name.reset(new char[pending_.room]);
  }
  std::memcpy(pending_.name.get(), name, length);
  pending_.length = length;
  pending_.hash = CF_NameTable::HashOf(name, length);
  names_.PrefetchSlot(pending_.hash);
  CF_DirectoryEntry entry;
  entry.id = id;
  entry.kind = static_cast<uint8_t>(kind);
  auto* stream = new CF_OLEOutStream(*this, entry);
  try {
    open_.push_back(OpenStream{stream, CF_NameTable::kNone, id, registered_++});
  } catch (...) {
    stream->Detach();
    delete stream;
    throw;
  }
  stream->SetTicket(static_cast<uint32_t>(open_.size() - 1));
  pending_.active = true;
  pending_.dropped = false;
  pending_.id = id;
  pending_.kind = entry.kind;
  pending_.stream = stream;
  return stream;
}

CF_OutStream* CF_OLEOutStorage::RenameStream(const char* oldName, int32_t oldId, const char* newName,
                                             int32_t newId) {
  Resolve();
  const uint32_t newNumber = NumberOf(newName ? newName : "");
  const char* old = oldName ? oldName : "";
  const uint32_t oldNumber = names_.Find(old, std::strlen(old));
  if (oldNumber == CF_NameTable::kNone) Error(kFailCodeFileDamaged);
  Entry* entry = directory_.Find(oldNumber, oldId);
  if (entry == nullptr || entry->open == 0) Error(kFailCodeFileDamaged);
  // The newest stream of the pair moves; an entry left without streams goes.
  const OpenStream* newest = nullptr;
  for (const OpenStream& o : open_) {
    if (o.number == oldNumber && o.id == oldId && (newest == nullptr || o.order > newest->order)) newest = &o;
  }
  CF_OLEOutStream* stream = newest->stream;
  Forget(stream);
  if (entry->open == 0) directory_.Erase(oldNumber, oldId);
  stream->SetIdentifier(newNumber, newId);
  Register(stream, newNumber, newId, 0);
  return stream;
}

CF_OLEOutStorage::OpenStream CF_OLEOutStorage::Unregister(CF_OLEOutStream* stream) {
  const uint32_t ticket = stream->Ticket();
  const OpenStream registered = open_[ticket];
  open_[ticket] = open_.back();
  open_[ticket].stream->SetTicket(ticket);
  open_.pop_back();
  return registered;
}

CF_OLEOutStorage::Entry* CF_OLEOutStorage::Forget(CF_OLEOutStream* stream, uint32_t* number, int32_t* id) {
  const uint32_t ticket = stream->Ticket();
  if (ticket >= open_.size() || open_[ticket].stream != stream) return nullptr;
  const OpenStream registered = Unregister(stream);
  Entry* entry = directory_.Find(registered.number, registered.id);
  if (entry == nullptr) return nullptr;
  --entry->open;
  if (number != nullptr) *number = registered.number;
  if (id != nullptr) *id = registered.id;
  return entry;
}

void CF_OLEOutStorage::StreamClosed(CF_OLEOutStream* stream, const CF_DirectoryEntry& entry) {
  if (pending_.active && pending_.stream == stream) {
    // Its entry takes what it reports now when its name is numbered.
    Unregister(stream);
    pending_.stream = nullptr;
    pending_.closed = entry;
    return;
  }
  // Off the open ones first, whatever happens next; a stream that closed
  // earlier, still pending, reports before this one.
  uint32_t number = 0;
  int32_t id = 0;
  const bool known = Forget(stream, &number, &id) != nullptr;
  Resolve();
  Entry* slot = known ? directory_.Find(number, id) : nullptr;
  if (slot == nullptr) return;
  slot->kind = entry.kind;
  slot->tableOffset = entry.tableOffset;
}

void CF_OLEOutStorage::StreamDropped(CF_OLEOutStream* stream) {
  if (pending_.active && pending_.stream == stream) {
    Unregister(stream);
    pending_.stream = nullptr;
    pending_.dropped = true;
    Resolve();
    return;
  }
  uint32_t number = 0;
  int32_t id = 0;
  const bool known = Forget(stream, &number, &id) != nullptr;
  Resolve();
  Entry* slot = known ? directory_.Find(number, id) : nullptr;
  // An entry that never got a table has nothing to point at.
  if (slot != nullptr && slot->open == 0 && slot->tableOffset == cf::kNoOffset) directory_.Erase(number, id);
}

uint32_t CF_OLEOutStorage::WriteBlock(const void* data, uint32_t n) {
  const uint32_t offset = container_->GetOffset();
  container_->PutData(data, n);
  return offset;
}

void CF_OLEOutStorage::DetachAll() {
  pending_.active = false;
  for (const OpenStream& o : open_) o.stream->Detach();
  open_.clear();
  directory_.ForEach([](Entry& entry) { entry.open = 0; });
}

void CF_OLEOutStorage::Close() {
  summary_ += Property(cf::kMajorVersionProperty, Variant(static_cast<uint16_t>(1)));
  summary_ += Property(cf::kMinorVersionProperty, Variant(static_cast<uint16_t>(1)));
  summary_.Put(storage_);
  Resolve();

  // Streams still open are completed here, in directory order and oldest
  // first on each entry; their owners delete them later.
  std::vector<OpenStream> open(open_);
  std::sort(open.begin(), open.end(), [](const OpenStream& a, const OpenStream& b) {
    const uint64_t ka = CF_Directory::Key(a.number, a.id), kb = CF_Directory::Key(b.number, b.id);
    return ka != kb ? ka < kb : a.order < b.order;
  });
  for (const OpenStream& o : open) o.stream->Finish();

  const uint32_t directoryOffset = container_->GetOffset();
  const size_t entries = directory_.Size();
  std::vector<bool> used(names_.Count(), false);
  uint8_t bytes[cf::kEntrySize * 256];
  uint32_t fill = 0;
  directory_.ForEachInOrder([&](uint32_t number, int32_t id, const Entry& e) {
    uint8_t* p = bytes + fill;
    cf::Put32(p, number);
    cf::Put32(p + 4, static_cast<uint32_t>(id));
    p[8] = e.kind;
    cf::Put32(p + 9, e.tableOffset);
    fill += cf::kEntrySize;
    if (fill == sizeof bytes) {
      container_->PutData(bytes, fill);
      fill = 0;
    }
    used[number] = true;
  });
  container_->PutData(bytes, fill);
  WriteNames(used);

  uint8_t header[cf::kHeaderSize];
  cf::Put32(header, static_cast<uint32_t>(entries));
  cf::Put32(header + 4, directoryOffset);
  container_->WriteHeader(header);
}

namespace {

// Orders keys by their upper 32 bits (the stored hash): two counting passes
// of 16 bits, through `spare` (room for as many keys); keys with equal hashes
// keep their order.
void SortByHash(std::vector<uint64_t>& keys, uint64_t* spare) {
  std::vector<size_t> starts((1 << 16) + 1);
  uint64_t* from = keys.data();
  uint64_t* to = spare;
  for (int shift = 32; shift < 64; shift += 16) {
    std::fill(starts.begin(), starts.end(), 0);
    for (size_t i = 0; i < keys.size(); ++i) ++starts[(from[i] >> shift & 0xFFFF) + 1];
    for (size_t i = 1; i < starts.size(); ++i) starts[i] += starts[i - 1];
    for (size_t i = 0; i < keys.size(); ++i) to[starts[from[i] >> shift & 0xFFFF]++] = from[i];
    std::swap(from, to);
  }
}

// True when the bytes a come before the bytes b: unsigned, byte by byte, a
// proper beginning first (as memcmp, then the lengths).  Eight bytes at a
// time, read as big-endian numbers.
bool BytesBefore(const char* a, uint32_t aLength, const char* b, uint32_t bLength) {
  const uint32_t n = std::min(aLength, bLength);
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y);
  }
  for (; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<uint8_t>(a[i]) < static_cast<uint8_t>(b[i]);
  }
  return aLength < bLength;
}

}  // namespace

void CF_OLEOutStorage::WriteNames(const std::vector<bool>& used) {
  // The used names by their stored key: hash, then the bytes.  The records
  // are visited in that order, so each is asked for well before it is used.
  constexpr size_t kAhead = 16;
  // The names are taken in the order they were added, so that each mostly
  // shares its beginning with the one before it (CF_NameHashChain).
  CF_NameHashChain chain;
  // The names of one hash, found once each, while they are ordered.
  struct Member {
    const char* bytes;
    uint32_t length;
    uint32_t place;
  };
  std::vector<Member> run;
  run.reserve(256);
  std::vector<uint64_t> keys;
  keys.reserve(names_.Count());
  names_.ForEach([&](uint32_t place, const CF_NameTable::Name& name) {
    if (used[name.value]) keys.push_back(uint64_t{chain.Hash(name.bytes, name.length)} << 32 | place);
  });
  // No name is looked up any more: the look-up table's memory, already
  // there, is the sort's scratch space.
  size_t words = 0;
  uint64_t* spare = names_.DropLookUps(&words);
  std::vector<uint64_t> more;
  if (words < keys.size()) {
    more.resize(keys.size());
    spare = more.data();
  }
  SortByHash(keys, spare);
  const auto place = [](uint64_t key) { return static_cast<uint32_t>(key); };
  const auto byBytes = [](const Member& a, const Member& b) {
    return BytesBefore(a.bytes, a.length, b.bytes, b.length);
  };
  for (size_t i = 0; i < keys.size() && i < kAhead; ++i) names_.Prefetch(place(keys[i]));
  // The section goes out in blocks gathered here.
  constexpr uint32_t kBlock = 64 * 1024;
  std::unique_ptr<uint8_t[]> block(new uint8_t[kBlock]);
  uint32_t fill = 4;
  cf::Put32(block.get(), static_cast<uint32_t>(keys.size()));
  size_t runEnd = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i >= runEnd) {
      runEnd = i + 1;
      while (runEnd < keys.size() && keys[runEnd] >> 32 == keys[i] >> 32) ++runEnd;
      for (size_t k = i + kAhead; k < runEnd + kAhead && k < keys.size(); ++k) names_.Prefetch(place(keys[k]));
      if (runEnd - i > 1) {
        run.clear();
        for (size_t k = i; k < runEnd; ++k) {
          const CF_NameTable::Name name = names_.Get(place(keys[k]));
          run.push_back(Member{name.bytes, name.length, place(keys[k])});
        }
        std::sort(run.begin(), run.end(), byBytes);
        for (size_t k = i; k < runEnd; ++k) keys[k] = keys[k] >> 32 << 32 | run[k - i].place;
      }
    }
    const CF_NameTable::Name name = names_.Get(place(keys[i]));
    const uint32_t counted = name.length + 2;
    if (kBlock - fill < counted + 4) {
      container_->PutData(block.get(), fill);
      fill = 0;
    }
    if (counted + 4 > kBlock) {
      container_->PutData(name.Counted(), counted);
    } else {
      std::memcpy(block.get() + fill, name.Counted(), counted);
      fill += counted;
    }
    cf::Put32(block.get() + fill, name.value);
    fill += 4;
  }
  container_->PutData(block.get(), fill);
}
