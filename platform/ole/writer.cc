#include "platform/ole/writer.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/ole/format.h"

namespace ole {
namespace {

using namespace format;

constexpr uint32_t kSectorSize = WorkFile::kSectorSize;
constexpr uint32_t kIdsPerSector = kSectorSize / 4;
constexpr uint32_t kEntriesPerSector = kSectorSize / kDirEntrySize;

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

#define RETURN_IF_FAILED(expr)            \
  do {                                    \
    Result result_ = (expr);              \
    if (!Succeeded(result_)) return result_; \
  } while (0)

// Writes a sequence of bytes into a chain of sectors, batching runs of
// consecutive sectors into single writes; the last sector is padded with
// zeros.
class ChainWriter {
 public:
  ChainWriter(WorkFile& work, const std::vector<uint32_t>& chain) : work_(work), chain_(chain) {}

  Result Put(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + n);
    return buffer_.size() >= kFlushSize ? Flush() : S_OK;
  }
  Result PutZeros(size_t n) {
    buffer_.resize(buffer_.size() + n, 0);
    return buffer_.size() >= kFlushSize ? Flush() : S_OK;
  }
  Result Finish() {
    buffer_.resize(CeilDiv(buffer_.size(), kSectorSize) * kSectorSize, 0);
    RETURN_IF_FAILED(Flush());
    return next_ == chain_.size() ? S_OK : E_UNEXPECTED;
  }

 private:
  static constexpr size_t kFlushSize = size_t{1} << 18;

  // Writes every whole sector buffered.
  Result Flush() {
    size_t whole = buffer_.size() / kSectorSize;
    if (next_ + whole > chain_.size()) return E_UNEXPECTED;
    for (size_t i = 0; i < whole;) {
      size_t j = i;
      while (j + 1 < whole && chain_[next_ + j + 1] == chain_[next_ + j] + 1) ++j;
      RETURN_IF_FAILED(work_.WriteAt(WorkFile::Offset(chain_[next_ + i]), buffer_.data() + i * kSectorSize,
                                     (j - i + 1) * kSectorSize));
      i = j + 1;
    }
    next_ += whole;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(whole * kSectorSize));
    return S_OK;
  }

  WorkFile& work_;
  const std::vector<uint32_t>& chain_;
  size_t next_ = 0;
  std::vector<uint8_t> buffer_;
};

struct DirItem {
  const Entry* entry;
  uint32_t left = kNoStream;
  uint32_t right = kNoStream;
  uint32_t child = kNoStream;
  uint8_t color = kBlack;
  uint32_t start = kEndOfChain;
  uint32_t size = 0;
  const std::vector<uint32_t>* chain = nullptr;  // streams in sectors
};

class Committer {
 public:
  Committer(const Entry& root, WorkFile& work) : root_(root), work_(work) {}
  Result Run();

 private:
  Result PlanDirectory();
  uint32_t Siblings(uint32_t base, uint32_t lo, uint32_t hi, uint32_t depth, uint32_t black_height);
  // Sectors for a new structure, remembered as written by this commit.
  Result Take(uint64_t n, std::vector<uint32_t>* chain);
  Result WriteStreams();
  Result WriteMiniStream();
  Result WriteDirectory();
  Result WriteMiniFat();
  Result WriteFat();
  Result ZeroFreeSectors();
  Result WriteHeader();

  const Entry& root_;
  WorkFile& work_;
  std::vector<DirItem> dir_;
  std::vector<uint32_t> small_;  // dir ids of streams in the mini stream
  std::vector<std::vector<uint32_t>> copies_;  // chains of streams written now
  uint64_t mini_sectors_ = 0;
  std::vector<uint32_t> mini_stream_, directory_, mini_fat_;
  uint32_t fat_start_ = 0, fat_sectors_ = 0, difat_start_ = 0, difat_sectors_ = 0;
  std::vector<uint32_t> written_;  // every sector this commit allocated
};

Result Committer::Run() {
  RETURN_IF_FAILED(PlanDirectory());
  RETURN_IF_FAILED(WriteStreams());
  RETURN_IF_FAILED(WriteMiniStream());
  RETURN_IF_FAILED(WriteDirectory());
  RETURN_IF_FAILED(WriteMiniFat());
  RETURN_IF_FAILED(WriteFat());
  RETURN_IF_FAILED(ZeroFreeSectors());
  RETURN_IF_FAILED(work_.Truncate());
  RETURN_IF_FAILED(WriteHeader());
  return work_.Publish(std::move(written_));
}

Result Committer::PlanDirectory() {
  dir_.push_back(DirItem{&root_});
  for (size_t i = 0; i < dir_.size(); ++i) {
    const Entry* e = dir_[i].entry;
    if (!e->IsStorage() || e->children.empty()) continue;
    if (dir_.size() + e->children.size() >= kNoStream) return STG_E_MEDIUMFULL;
    auto base = static_cast<uint32_t>(dir_.size());
    auto n = static_cast<uint32_t>(e->children.size());
    for (const auto& child : e->children) dir_.push_back(DirItem{child.second.get()});
    uint32_t black_height = 0;
    while ((uint64_t{2} << black_height) <= uint64_t{n} + 1) ++black_height;
    dir_[i].child = Siblings(base, 0, n, 0, black_height);
  }
  return S_OK;
}

uint32_t Committer::Siblings(uint32_t base, uint32_t lo, uint32_t hi, uint32_t depth, uint32_t black_height) {
  if (lo >= hi) return kNoStream;
  uint32_t mid = lo + (hi - lo) / 2;
  uint32_t id = base + mid;
  dir_[id].color = depth >= black_height ? kRed : kBlack;
  dir_[id].left = Siblings(base, lo, mid, depth + 1, black_height);
  dir_[id].right = Siblings(base, mid + 1, hi, depth + 1, black_height);
  return id;
}

Result Committer::Take(uint64_t n, std::vector<uint32_t>* chain) {
  RETURN_IF_FAILED(work_.Allocate(n, chain));
  written_.insert(written_.end(), chain->begin(), chain->end());
  return S_OK;
}

Result Committer::WriteStreams() {
  copies_.reserve(dir_.size());
  for (uint32_t id = 0; id < dir_.size(); ++id) {
    DirItem& item = dir_[id];
    if (item.entry->type != STGTY_STREAM) continue;
    const StreamData& data = item.entry->data;
    item.size = data.size();
    const std::vector<uint32_t>* sectors = data.SectorsIn(&work_);
    // Bytes past the end of a stream kept in sectors (left by a truncation)
    // are zeroed.
    if (sectors != nullptr && item.size % kSectorSize != 0) {
      uint32_t tail = item.size % kSectorSize;
      RETURN_IF_FAILED(work_.WriteZeros(WorkFile::Offset(sectors->back()) + tail, kSectorSize - tail));
    }
    if (item.size == 0) continue;
    if (item.size < kMiniStreamCutoff) {
      small_.push_back(id);
      item.start = static_cast<uint32_t>(mini_sectors_);
      mini_sectors_ += CeilDiv(item.size, kMiniSectorSize);
      continue;
    }
    if (sectors != nullptr) {
      item.chain = sectors;
    } else {
      copies_.emplace_back();
      std::vector<uint32_t>& chain = copies_.back();
      RETURN_IF_FAILED(Take(CeilDiv(item.size, kSectorSize), &chain));
      ChainWriter out(work_, chain);
      RETURN_IF_FAILED(data.ForEachPiece([&out](const uint8_t* p, size_t n) { return out.Put(p, n); }));
      RETURN_IF_FAILED(out.Finish());
      item.chain = &chain;
    }
    item.start = item.chain->front();
  }
  return S_OK;
}

Result Committer::WriteMiniStream() {
  uint64_t bytes = mini_sectors_ * kMiniSectorSize;
  if (bytes == 0) return S_OK;
  if (bytes > StreamData::kMaxSize) return STG_E_MEDIUMFULL;
  RETURN_IF_FAILED(Take(CeilDiv(bytes, kSectorSize), &mini_stream_));
  ChainWriter out(work_, mini_stream_);
  for (uint32_t id : small_) {
    RETURN_IF_FAILED(dir_[id].entry->data.ForEachPiece([&out](const uint8_t* p, size_t n) { return out.Put(p, n); }));
    RETURN_IF_FAILED(out.PutZeros(CeilDiv(dir_[id].size, kMiniSectorSize) * kMiniSectorSize - dir_[id].size));
  }
  RETURN_IF_FAILED(out.Finish());
  dir_[0].start = mini_stream_.front();
  dir_[0].size = static_cast<uint32_t>(bytes);
  return S_OK;
}

Result Committer::WriteDirectory() {
  static const std::u16string kRootName = u"Root Entry";
  RETURN_IF_FAILED(Take(CeilDiv(dir_.size(), kEntriesPerSector), &directory_));
  ChainWriter out(work_, directory_);
  for (size_t id = 0; id < directory_.size() * kEntriesPerSector; ++id) {
    uint8_t d[kDirEntrySize] = {};
    Put32(d + kDirLeft, kNoStream);
    Put32(d + kDirRight, kNoStream);
    Put32(d + kDirChild, kNoStream);
    if (id < dir_.size()) {
      const DirItem& item = dir_[id];
      const Entry& e = *item.entry;
      const std::u16string& name = id == 0 ? kRootName : e.name;
      for (size_t i = 0; i < name.size(); ++i) Put16(d + kDirName + 2 * i, name[i]);
      Put16(d + kDirNameLength, static_cast<uint16_t>(2 * (name.size() + 1)));
      d[kDirType] = id == 0 ? kTypeRoot : e.type == STGTY_STREAM ? kTypeStream : kTypeStorage;
      d[kDirColor] = item.color;
      Put32(d + kDirLeft, item.left);
      Put32(d + kDirRight, item.right);
      Put32(d + kDirChild, item.child);
      if (e.IsStorage()) std::memcpy(d + kDirClsid, e.clsid.bytes, sizeof e.clsid.bytes);
      Put32(d + kDirStateBits, e.state_bits);
      Put64(d + kDirCreated, e.created);
      Put64(d + kDirModified, e.modified);
      bool has_data = id == 0 || e.type == STGTY_STREAM;
      Put32(d + kDirStart, has_data ? item.start : 0);
      Put64(d + kDirSize, item.size);
    }
    RETURN_IF_FAILED(out.Put(d, sizeof d));
  }
  return out.Finish();
}

Result Committer::WriteMiniFat() {
  if (mini_sectors_ == 0) return S_OK;
  RETURN_IF_FAILED(Take(CeilDiv(mini_sectors_, kIdsPerSector), &mini_fat_));
  std::vector<uint8_t> bytes(mini_fat_.size() * kSectorSize, 0xFF);  // free
  uint32_t at = 0;
  for (uint32_t id : small_) {
    uint64_t count = CeilDiv(dir_[id].size, kMiniSectorSize);
    for (uint64_t k = 0; k < count; ++k, ++at) {
      Put32(bytes.data() + 4 * at, k + 1 < count ? at + 1 : kEndOfChain);
    }
  }
  ChainWriter out(work_, mini_fat_);
  RETURN_IF_FAILED(out.Put(bytes.data(), bytes.size()));
  return out.Finish();
}

Result Committer::WriteFat() {
  // The FAT covers every sector, its own and the DIFAT's included; they go at
  // the end, after dropping free sectors there.
  work_.TrimFreeTail();
  uint64_t used = work_.sector_count();
  uint64_t fat = 0, difat = 0;
  for (;;) {
    uint64_t next_fat = CeilDiv(used + fat + difat, kIdsPerSector);
    uint64_t next_difat =
        next_fat > kHeaderDifatEntries ? CeilDiv(next_fat - kHeaderDifatEntries, kIdsPerSector - 1) : 0;
    if (next_fat == fat && next_difat == difat) break;
    fat = next_fat;
    difat = next_difat;
  }
  RETURN_IF_FAILED(work_.AllocateAtEnd(fat + difat, &fat_start_));
  fat_sectors_ = static_cast<uint32_t>(fat);
  difat_start_ = fat_start_ + fat_sectors_;
  difat_sectors_ = static_cast<uint32_t>(difat);
  for (uint64_t k = 0; k < fat + difat; ++k) written_.push_back(static_cast<uint32_t>(fat_start_ + k));

  std::vector<uint32_t> table(fat * kIdsPerSector, kFreeSector);
  auto link = [&table](const std::vector<uint32_t>& chain) {
    for (size_t k = 0; k < chain.size(); ++k) table[chain[k]] = k + 1 < chain.size() ? chain[k + 1] : kEndOfChain;
  };
  for (const DirItem& item : dir_) {
    if (item.chain != nullptr) link(*item.chain);
  }
  link(mini_stream_);
  link(directory_);
  link(mini_fat_);
  for (uint32_t k = 0; k < fat_sectors_; ++k) table[fat_start_ + k] = kFatSector;
  for (uint32_t k = 0; k < difat_sectors_; ++k) table[difat_start_ + k] = kDifatSector;

  std::vector<uint32_t> ids;
  ids.reserve(difat * kIdsPerSector);
  for (uint32_t k = 0; k < difat_sectors_; ++k) {
    for (uint32_t i = 0; i + 1 < kIdsPerSector; ++i) {
      uint64_t index = kHeaderDifatEntries + uint64_t{k} * (kIdsPerSector - 1) + i;
      ids.push_back(index < fat_sectors_ ? static_cast<uint32_t>(fat_start_ + index) : kFreeSector);
    }
    ids.push_back(k + 1 < difat_sectors_ ? difat_start_ + k + 1 : kEndOfChain);
  }
  table.insert(table.end(), ids.begin(), ids.end());  // the DIFAT follows the FAT
  std::vector<uint8_t> bytes(table.size() * 4);
  for (size_t i = 0; i < table.size(); ++i) Put32(bytes.data() + 4 * i, table[i]);
  return work_.WriteAt(WorkFile::Offset(fat_start_), bytes.data(), bytes.size());
}

Result Committer::ZeroFreeSectors() {
  for (const auto& [first, length] : work_.free_runs()) {
    RETURN_IF_FAILED(work_.WriteZeros(WorkFile::Offset(first), uint64_t{length} * kSectorSize));
  }
  return S_OK;
}

Result Committer::WriteHeader() {
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, kSignature, sizeof kSignature);
  Put16(h + kHdrMinorVersion, kMinorVersion);
  Put16(h + kHdrMajorVersion, kMajorVersion3);
  Put16(h + kHdrByteOrder, kByteOrderMark);
  Put16(h + kHdrSectorShift, kSectorShift3);
  Put16(h + kHdrMiniSectorShift, kMiniSectorShift);
  Put32(h + kHdrFatSectorCount, fat_sectors_);
  Put32(h + kHdrFirstDirSector, directory_.front());
  Put32(h + kHdrMiniCutoff, kMiniStreamCutoff);
  Put32(h + kHdrFirstMiniFatSector, mini_fat_.empty() ? kEndOfChain : mini_fat_.front());
  Put32(h + kHdrMiniFatSectorCount, static_cast<uint32_t>(mini_fat_.size()));
  Put32(h + kHdrFirstDifatSector, difat_sectors_ > 0 ? difat_start_ : kEndOfChain);
  Put32(h + kHdrDifatSectorCount, difat_sectors_);
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i) {
    Put32(h + kHdrDifat + 4 * i, i < fat_sectors_ ? fat_start_ + i : kFreeSector);
  }
  return work_.WriteAt(0, h, sizeof h);
}

}  // namespace

Result CommitDocfile(const Entry& root, const std::shared_ptr<WorkFile>& work) {
  try {
    if (Result r = work->Fork(); !Succeeded(r)) return r;
    WorkFile::Mark mark = work->Save();
    Result r;
    try {
      r = Committer(root, *work).Run();
    } catch (const std::bad_alloc&) {
      r = STG_E_INSUFFICIENTMEMORY;
    }
    if (!Succeeded(r)) work->Restore(mark);
    return r;
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

}  // namespace ole
