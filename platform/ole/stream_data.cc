#include "platform/ole/stream_data.h"

#include <algorithm>
#include <cstring>

namespace ole {
namespace {

constexpr uint32_t kSector = WorkFile::kSectorSize;

uint64_t SectorsFor(uint64_t bytes) { return (bytes + kSector - 1) / kSector; }

}  // namespace

StreamData::StreamData(std::shared_ptr<const ByteSource> source, std::vector<Extent> extents, uint32_t size)
    : kind_(kView), size_(size), source_(std::move(source)), extents_(std::move(extents)) {}

StreamData::~StreamData() { Clear(); }

StreamData::StreamData(StreamData&& other) noexcept { *this = std::move(other); }

StreamData& StreamData::operator=(StreamData&& other) noexcept {
  if (this != &other) {
    Clear();
    kind_ = other.kind_;
    size_ = other.size_;
    chunks_ = std::move(other.chunks_);
    source_ = std::move(other.source_);
    extents_ = std::move(other.extents_);
    work_ = std::move(other.work_);
    sectors_ = std::move(other.sectors_);
    other.kind_ = kMemory;
    other.size_ = 0;
    other.sectors_.clear();
  }
  return *this;
}

void StreamData::Clear() {
  if (work_ && !sectors_.empty()) work_->Free(sectors_.data(), sectors_.size());
  kind_ = kMemory;
  size_ = 0;
  chunks_.clear();
  source_.reset();
  extents_.clear();
  work_.reset();
  sectors_.clear();
}

Result StreamData::Read(uint64_t pos, void* out, size_t n, size_t* got) const {
  *got = 0;
  if (pos >= size_) return S_OK;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - pos));
  auto* dst = static_cast<uint8_t*>(out);
  switch (kind_) {
    case kMemory:
      for (size_t done = 0; done < n;) {
        uint64_t at = pos + done;
        const std::vector<uint8_t>& chunk = chunks_[at / kChunk];
        size_t within = static_cast<size_t>(at % kChunk);
        size_t take = std::min(n - done, chunk.size() - within);
        std::memcpy(dst + done, chunk.data() + within, take);
        done += take;
      }
      break;
    case kView: {
      // The last extent starting at or before pos.
      auto it = std::upper_bound(extents_.begin(), extents_.end(), pos,
                                 [](uint64_t p, const Extent& e) { return p < e.stream_offset; });
      --it;
      for (size_t done = 0; done < n; ++it) {
        uint64_t within = pos + done - it->stream_offset;
        size_t take = static_cast<size_t>(std::min<uint64_t>(n - done, it->length - within));
        if (!source_->ReadAt(it->source_offset + within, dst + done, take)) return STG_E_READFAULT;
        done += take;
      }
      break;
    }
    case kDisk:
      if (Result r = DiskTransfer(pos, dst, nullptr, n); !Succeeded(r)) return r;
      break;
  }
  *got = n;
  return S_OK;
}

Result StreamData::Write(const std::shared_ptr<WorkFile>& work, uint64_t pos, const void* in, size_t n) {
  uint64_t end = pos + n;
  if (Result r = Own(work, std::max<uint64_t>(end, size_)); !Succeeded(r)) return r;
  const auto* src = static_cast<const uint8_t*>(in);
  if (kind_ == kDisk) {
    if (pos > size_) {
      if (Result r = DiskWrite(size_, nullptr, pos - size_); !Succeeded(r)) return r;
    }
    return DiskWrite(pos, src, n);
  }
  if (pos > size_) MemoryAppend(nullptr, static_cast<size_t>(pos - size_));
  size_t inside = static_cast<size_t>(std::min<uint64_t>(n, size_ - pos));
  MemoryOverwrite(static_cast<size_t>(pos), src, inside);
  MemoryAppend(src + inside, n - inside);
  return S_OK;
}

Result StreamData::Resize(const std::shared_ptr<WorkFile>& work, uint32_t size) {
  if (Result r = Own(work, size); !Succeeded(r)) return r;
  if (kind_ == kMemory) {
    MemoryResize(size);
    return S_OK;
  }
  if (size > size_) return DiskWrite(size_, nullptr, size - size_);
  size_ = size;
  DiskTrim();
  return S_OK;
}

Result StreamData::CopyTo(const std::shared_ptr<WorkFile>& work, StreamData* copy) const {
  StreamData out;
  if (kind_ == kView) {
    out.kind_ = kView;
    out.size_ = size_;
    out.source_ = source_;
    out.extents_ = extents_;
  } else if (kind_ == kMemory) {
    out.chunks_ = chunks_;
    out.size_ = size_;
  } else {
    if (Result r = out.Own(work, size_); !Succeeded(r)) return r;
    uint64_t at = 0;
    Result r = ForEachPiece([&](const uint8_t* p, size_t n) {
      Result w = out.Write(work, at, p, n);
      at += n;
      return w;
    });
    if (!Succeeded(r)) return r;
  }
  *copy = std::move(out);
  return S_OK;
}

Result StreamData::ForEachPiece(const std::function<Result(const uint8_t*, size_t)>& piece) const {
  if (kind_ == kMemory) {
    for (const std::vector<uint8_t>& chunk : chunks_) {
      if (Result r = piece(chunk.data(), chunk.size()); !Succeeded(r)) return r;
    }
    return S_OK;
  }
  std::vector<uint8_t> buffer(std::min<size_t>(size_, kChunk));
  for (uint64_t at = 0; at < size_;) {
    size_t got = 0;
    if (Result r = Read(at, buffer.data(), buffer.size(), &got); !Succeeded(r)) return r;
    if (Result r = piece(buffer.data(), got); !Succeeded(r)) return r;
    at += got;
  }
  return S_OK;
}

Result StreamData::Own(const std::shared_ptr<WorkFile>& work, uint64_t size) {
  bool to_disk = work && size > kSpillSize;
  if (kind_ == kDisk || (kind_ == kMemory && !to_disk)) return S_OK;
  StreamData owned;
  if (to_disk) {
    owned.kind_ = kDisk;
    owned.work_ = work;
  }
  uint64_t at = 0;
  Result r = ForEachPiece([&](const uint8_t* p, size_t n) {
    Result w = S_OK;
    if (owned.kind_ == kDisk) w = owned.DiskWrite(at, p, n);
    else owned.MemoryAppend(p, n);
    at += n;
    return w;
  });
  if (!Succeeded(r)) return r;
  *this = std::move(owned);
  return S_OK;
}

void StreamData::MemoryAppend(const uint8_t* in, size_t n) {
  while (n > 0) {
    if (chunks_.empty() || chunks_.back().size() == kChunk) chunks_.emplace_back();
    std::vector<uint8_t>& last = chunks_.back();
    size_t take = std::min(n, kChunk - last.size());
    size_t need = last.size() + take;
    if (need > last.capacity()) {
      // The first chunk grows geometrically so small streams stay small;
      // later chunks are allocated whole.
      size_t grown = chunks_.size() == 1 ? std::max(need, 2 * last.capacity()) : kChunk;
      last.reserve(std::min(std::max<size_t>(grown, 64), kChunk));
    }
    if (in != nullptr) {
      last.insert(last.end(), in, in + take);
      in += take;
    } else {
      last.resize(need);
    }
    size_ += static_cast<uint32_t>(take);
    n -= take;
  }
}

void StreamData::MemoryOverwrite(size_t pos, const uint8_t* in, size_t n) {
  while (n > 0) {
    std::vector<uint8_t>& chunk = chunks_[pos / kChunk];
    size_t within = pos % kChunk;
    size_t take = std::min(n, chunk.size() - within);
    std::memcpy(chunk.data() + within, in, take);
    pos += take;
    in += take;
    n -= take;
  }
}

void StreamData::MemoryResize(uint32_t size) {
  if (size >= size_) {
    MemoryAppend(nullptr, size - size_);
    return;
  }
  size_t keep = (size + kChunk - 1) / kChunk;
  chunks_.resize(keep);
  if (keep > 0) {
    std::vector<uint8_t>& last = chunks_.back();
    last.resize(size - (keep - 1) * kChunk);
    if (last.capacity() > 2 * last.size() + 4096) last.shrink_to_fit();
  }
  size_ = size;
}

Result StreamData::DiskWrite(uint64_t pos, const uint8_t* in, uint64_t n) {
  uint64_t end = pos + n;
  uint64_t needed = SectorsFor(end);
  if (needed > sectors_.size()) {
    if (Result r = work_->Allocate(needed - sectors_.size(), &sectors_); !Succeeded(r)) return r;
  }
  Result r = DiskTransfer(pos, nullptr, in, n);
  if (Succeeded(r)) size_ = static_cast<uint32_t>(std::max<uint64_t>(size_, end));
  DiskTrim();
  return r;
}

Result StreamData::DiskTransfer(uint64_t pos, uint8_t* read_into, const uint8_t* write_from, uint64_t n) const {
  uint64_t done = 0;
  while (done < n) {
    uint64_t at = pos + done;
    size_t k = static_cast<size_t>(at / kSector);
    // The run of consecutive sectors starting at sector k.
    size_t last = k;
    while (last + 1 < sectors_.size() && sectors_[last + 1] == sectors_[last] + 1 &&
           (uint64_t{last + 1 - k} * kSector) < (at % kSector) + (n - done)) {
      ++last;
    }
    uint64_t run_bytes = uint64_t{last - k + 1} * kSector - at % kSector;
    size_t take = static_cast<size_t>(std::min<uint64_t>(n - done, std::min<uint64_t>(run_bytes, kChunk * 64)));
    uint64_t offset = WorkFile::Offset(sectors_[k]) + at % kSector;
    if (read_into != nullptr) {
      if (!work_->ReadAt(offset, read_into + done, take)) return STG_E_READFAULT;
    } else if (write_from != nullptr) {
      if (Result r = work_->WriteAt(offset, write_from + done, take); !Succeeded(r)) return r;
    } else {
      if (Result r = work_->WriteZeros(offset, take); !Succeeded(r)) return r;
    }
    done += take;
  }
  return S_OK;
}

void StreamData::DiskTrim() {
  uint64_t keep = SectorsFor(size_);
  if (sectors_.size() > keep) {
    work_->Free(sectors_.data() + keep, sectors_.size() - keep);
    sectors_.resize(keep);
  }
}

}  // namespace ole
