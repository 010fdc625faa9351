#include "platform/ole/reader.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/ole/format.h"

namespace ole {
namespace {

using namespace format;

// Thrown inside the parser when the file is damaged, or cannot be read.
struct Damaged {};
struct Unreadable {};

void Require(bool ok) {
  if (!ok) throw Damaged();
}

class Parser {
 public:
  explicit Parser(const std::shared_ptr<const ByteSource>& source) : source_(source), size_(source->size()) {}

  std::shared_ptr<Entry> Run();

 private:
  void ReadHeader();
  void ReadFat();
  void ReadDirectory();
  void ReadMiniStream();
  std::shared_ptr<Entry> MakeEntry(uint32_t id);
  StreamData StreamView(const uint8_t* entry);
  void BuildTree(const std::shared_ptr<Entry>& root);

  uint64_t SectorOffset(uint32_t s) const { return (uint64_t{s} + 1) * sector_size_; }
  // Reads sector s (already checked to lie in the file) into `out`.
  void ReadSector(uint32_t s, uint8_t* out) const {
    if (!source_->ReadAt(SectorOffset(s), out, sector_size_)) throw Unreadable();
  }
  // Directory entry `id` (below entry_count_).
  const uint8_t* DirEntry(uint32_t id) const { return directory_bytes_.data() + size_t{id} * kDirEntrySize; }
  // Follows a FAT chain, marking its sectors used; `count` sectors, or up to
  // the end-of-chain mark when count is negative.
  std::vector<uint32_t> Chain(uint32_t start, int64_t count);
  std::vector<uint32_t> MiniChain(uint32_t start, uint32_t count);

  std::shared_ptr<const ByteSource> source_;
  uint64_t size_;
  uint8_t header_[kHeaderSize] = {};
  uint16_t major_ = 0;
  uint32_t sector_size_ = 0;
  uint32_t sector_count_ = 0;  // whole sectors after the header
  std::vector<uint32_t> fat_;
  std::vector<uint8_t> used_;  // per sector: already part of some structure
  std::vector<uint32_t> directory_;
  std::vector<uint8_t> directory_bytes_;
  uint32_t entry_count_ = 0;
  std::vector<uint32_t> mini_fat_;
  std::vector<uint32_t> mini_stream_;  // sectors holding the mini stream
  std::vector<uint8_t> mini_used_;
  uint32_t mini_limit_ = 0;
};

std::shared_ptr<Entry> Parser::Run() {
  ReadHeader();
  ReadFat();
  ReadDirectory();
  ReadMiniStream();
  std::shared_ptr<Entry> root = MakeEntry(0);
  BuildTree(root);
  return root;
}

void Parser::ReadHeader() {
  if (!source_->ReadAt(0, header_, kHeaderSize)) throw Unreadable();
  const uint8_t* h = header_;
  Require(Get16(h + kHdrByteOrder) == kByteOrderMark);
  major_ = Get16(h + kHdrMajorVersion);
  uint16_t shift = Get16(h + kHdrSectorShift);
  Require((major_ == kMajorVersion3 && shift == kSectorShift3) ||
          (major_ == kMajorVersion4 && shift == kSectorShift4));
  Require(Get16(h + kHdrMiniSectorShift) == kMiniSectorShift);
  Require(Get32(h + kHdrMiniCutoff) == kMiniStreamCutoff);
  sector_size_ = 1u << shift;
  Require(size_ >= sector_size_);
  uint64_t sectors = size_ / sector_size_ - 1;
  sector_count_ = static_cast<uint32_t>(std::min<uint64_t>(sectors, kMaxRegularSector));
  used_.assign(sector_count_, 0);
}

void Parser::ReadFat() {
  const uint8_t* h = header_;
  uint32_t fat_count = Get32(h + kHdrFatSectorCount);
  uint32_t difat_count = Get32(h + kHdrDifatSectorCount);
  Require(fat_count > 0 && fat_count <= sector_count_ && difat_count <= sector_count_);
  uint32_t per_sector = sector_size_ / 4;

  std::vector<uint32_t> fat_sectors;
  fat_sectors.reserve(fat_count);
  for (uint32_t i = 0; i < kHeaderDifatEntries && fat_sectors.size() < fat_count; ++i) {
    fat_sectors.push_back(Get32(h + kHdrDifat + 4 * i));
  }
  std::vector<uint8_t> sector(sector_size_);
  const uint8_t* d = sector.data();
  uint32_t s = Get32(h + kHdrFirstDifatSector);
  for (uint32_t seen = 0; fat_sectors.size() < fat_count; ++seen) {
    Require(seen < difat_count && s < sector_count_ && !used_[s]);
    used_[s] = 1;
    ReadSector(s, sector.data());
    for (uint32_t i = 0; i + 1 < per_sector && fat_sectors.size() < fat_count; ++i) {
      fat_sectors.push_back(Get32(d + 4 * i));
    }
    s = Get32(d + 4 * (per_sector - 1));
  }

  fat_.resize(uint64_t{fat_count} * per_sector);
  uint32_t* out = fat_.data();
  for (uint32_t f : fat_sectors) {
    Require(f < sector_count_ && !used_[f]);
    used_[f] = 1;
    ReadSector(f, sector.data());
    for (uint32_t i = 0; i < per_sector; ++i) *out++ = Get32(d + 4 * i);
  }
}

std::vector<uint32_t> Parser::Chain(uint32_t start, int64_t count) {
  std::vector<uint32_t> chain;
  uint64_t limit = std::min<uint64_t>(sector_count_, fat_.size());
  uint32_t s = start;
  while (count < 0 ? s != kEndOfChain : static_cast<int64_t>(chain.size()) < count) {
    Require(s < limit && !used_[s]);
    used_[s] = 1;
    chain.push_back(s);
    s = fat_[s];
  }
  return chain;
}

std::vector<uint32_t> Parser::MiniChain(uint32_t start, uint32_t count) {
  std::vector<uint32_t> chain;
  chain.reserve(count);
  uint32_t s = start;
  for (uint32_t i = 0; i < count; ++i) {
    Require(s < mini_limit_ && !mini_used_[s]);
    mini_used_[s] = 1;
    chain.push_back(s);
    s = mini_fat_[s];
  }
  return chain;
}

void Parser::ReadDirectory() {
  directory_ = Chain(Get32(header_ + kHdrFirstDirSector), -1);
  Require(!directory_.empty());
  uint64_t entries = uint64_t{directory_.size()} * (sector_size_ / kDirEntrySize);
  Require(entries < kNoStream);
  entry_count_ = static_cast<uint32_t>(entries);
  directory_bytes_.resize(directory_.size() * size_t{sector_size_});
  for (size_t i = 0; i < directory_.size(); ++i) ReadSector(directory_[i], directory_bytes_.data() + i * sector_size_);
}

void Parser::ReadMiniStream() {
  uint32_t first = Get32(header_ + kHdrFirstMiniFatSector);
  std::vector<uint32_t> sectors;
  if (first != kEndOfChain) sectors = Chain(first, -1);
  uint32_t per_sector = sector_size_ / 4;
  mini_fat_.reserve(sectors.size() * per_sector);
  std::vector<uint8_t> sector(sector_size_);
  for (uint32_t s : sectors) {
    ReadSector(s, sector.data());
    for (uint32_t i = 0; i < per_sector; ++i) mini_fat_.push_back(Get32(sector.data() + 4 * i));
  }

  const uint8_t* root = DirEntry(0);
  uint64_t size = Get64(root + kDirSize);
  if (major_ == kMajorVersion3) size &= 0xFFFFFFFFu;
  Require(size <= 0xFFFFFFFFu);
  uint32_t count = static_cast<uint32_t>((size + sector_size_ - 1) / sector_size_);
  if (count > 0) mini_stream_ = Chain(Get32(root + kDirStart), count);
  uint64_t mini_sectors = uint64_t{mini_stream_.size()} * (sector_size_ / kMiniSectorSize);
  mini_limit_ = static_cast<uint32_t>(std::min<uint64_t>(mini_sectors, mini_fat_.size()));
  mini_used_.assign(mini_limit_, 0);
}

std::shared_ptr<Entry> Parser::MakeEntry(uint32_t id) {
  const uint8_t* e = DirEntry(id);
  uint8_t type = e[kDirType];
  if (id == 0) {
    Require(type == kTypeRoot);
  } else {
    Require(type == kTypeStorage || type == kTypeStream);
  }
  uint16_t name_bytes = Get16(e + kDirNameLength);
  Require(name_bytes % 2 == 0 && name_bytes >= 2 && name_bytes <= kNameBytes);
  std::u16string name;
  for (uint32_t i = 0; i + 1 < name_bytes / 2u; ++i) {
    char16_t c = Get16(e + kDirName + 2 * i);
    if (c == 0) break;
    name.push_back(c);
  }
  Require(!name.empty());

  auto entry = std::make_shared<Entry>(std::move(name), type == kTypeRoot      ? STGTY_ROOT
                                                        : type == kTypeStorage ? STGTY_STORAGE
                                                                               : STGTY_STREAM);
  std::memcpy(entry->clsid.bytes, e + kDirClsid, sizeof entry->clsid.bytes);
  entry->state_bits = Get32(e + kDirStateBits);
  entry->created = Get64(e + kDirCreated);
  entry->modified = Get64(e + kDirModified);
  if (type == kTypeStream) entry->data = StreamView(e);
  return entry;
}

StreamData Parser::StreamView(const uint8_t* entry) {
  uint64_t size = Get64(entry + kDirSize);
  if (major_ == kMajorVersion3) size &= 0xFFFFFFFFu;
  Require(size <= StreamData::kMaxSize);
  uint32_t remaining = static_cast<uint32_t>(size);
  uint32_t start = Get32(entry + kDirStart);
  std::vector<StreamData::Extent> extents;
  auto add = [&extents](uint32_t stream_offset, uint32_t length, uint64_t file_offset) {
    if (!extents.empty()) {
      StreamData::Extent& last = extents.back();
      if (last.source_offset + last.length == file_offset) {
        last.length += length;
        return;
      }
    }
    extents.push_back({stream_offset, length, file_offset});
  };
  uint32_t offset = 0;
  if (size < kMiniStreamCutoff) {
    for (uint32_t m : MiniChain(start, (remaining + kMiniSectorSize - 1) / kMiniSectorSize)) {
      uint64_t at = uint64_t{m} * kMiniSectorSize;
      uint32_t length = std::min(remaining, kMiniSectorSize);
      add(offset, length, SectorOffset(mini_stream_[at / sector_size_]) + at % sector_size_);
      offset += length;
      remaining -= length;
    }
  } else {
    for (uint32_t s : Chain(start, (uint64_t{remaining} + sector_size_ - 1) / sector_size_)) {
      uint32_t length = std::min(remaining, sector_size_);
      add(offset, length, SectorOffset(s));
      offset += length;
      remaining -= length;
    }
  }
  return StreamData(source_, std::move(extents), static_cast<uint32_t>(size));
}

void Parser::BuildTree(const std::shared_ptr<Entry>& root) {
  auto link = [this](uint32_t id, size_t field) { return Get32(DirEntry(id) + field); };
  std::vector<uint8_t> seen(entry_count_, 0);
  seen[0] = 1;
  std::vector<std::pair<uint32_t, Entry*>> storages{{0, root.get()}};
  std::vector<uint32_t> siblings;
  while (!storages.empty()) {
    auto [storage_id, storage] = storages.back();
    storages.pop_back();
    siblings.clear();
    uint32_t first = link(storage_id, kDirChild);
    if (first != kNoStream) siblings.push_back(first);
    while (!siblings.empty()) {
      uint32_t id = siblings.back();
      siblings.pop_back();
      Require(id < entry_count_ && !seen[id]);
      seen[id] = 1;
      std::shared_ptr<Entry> child = MakeEntry(id);
      Require(storage->Find(child->name) == nullptr);
      for (size_t field : {kDirLeft, kDirRight}) {
        uint32_t next = link(id, field);
        if (next != kNoStream) siblings.push_back(next);
      }
      if (child->IsStorage()) storages.emplace_back(id, child.get());
      storage->Attach(std::move(child));
    }
  }
}

}  // namespace

Result ParseDocfile(const std::shared_ptr<const ByteSource>& source, std::shared_ptr<Entry>* root) {
  uint8_t signature[sizeof kSignature];
  if (source->size() < kHeaderSize) return STG_E_FILEALREADYEXISTS;
  if (!source->ReadAt(0, signature, sizeof signature)) return STG_E_READFAULT;
  if (std::memcmp(signature, kSignature, sizeof kSignature) != 0) return STG_E_FILEALREADYEXISTS;
  try {
    *root = Parser(source).Run();
    return S_OK;
  } catch (const Damaged&) {
    return STG_E_OLDFORMAT;
  } catch (const Unreadable&) {
    return STG_E_READFAULT;
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

}  // namespace ole
