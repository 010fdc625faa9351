#include "framework/cf_in_stream.h"

#include "framework/failures.h"
#include "framework/lz_stream.h"

namespace {
constexpr int kStreamWindowBits = 10;
}

CF_OLEInStream::InImpl::InImpl(CF_Reader& reader, const CF_DirectoryEntry& entry) : reader_(&reader) {
  // The count and the pairs that most streams have, in one read.
  constexpr uint32_t kFirstPairs = 2;
  uint8_t bytes[4 + 8 * kFirstPairs];
  const uint32_t got = reader.ReadUpTo(bytes, sizeof bytes, entry.tableOffset);
  if (got < 4) Error(kFailCodeFileDamaged);
  const uint32_t count = cf::Get32(bytes);
  uint32_t taken = 0;
  for (; taken < count && 4 + 8 * (taken + 1) <= got; ++taken) {
    segments_.push_back({cf::Get32(bytes + 4 + 8 * taken), cf::Get32(bytes + 8 + 8 * taken)});
  }
  // Further pairs are read one by one so that a damaged count costs no more
  // than the bytes that are really there.
  if (taken < count) reader.ReadAt(nullptr, 0, static_cast<uint32_t>(entry.tableOffset + 4 + 8 * taken));
  for (; taken < count; ++taken) {
    reader.ReadAt(bytes, 8, cf::kNoOffset);
    segments_.push_back({cf::Get32(bytes), cf::Get32(bytes + 4)});
  }
  left_ = segments_.size();
}

uint32_t CF_OLEInStream::InImpl::GetData(void* buffer, uint32_t n) {
  if (reader_ == nullptr) Error(kFailCodeFileDamaged);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t delivered = 0;
  while (delivered < n && left_ > 0) {
    const cf::Segment& segment = segments_[left_ - 1];
    if (consumed_ < segment.length) {
      const uint64_t position = static_cast<uint64_t>(segment.offset) + consumed_;
      if (position >= cf::kNoOffset) Error(kFailCodeFileDamaged);
      const uint32_t left = segment.length - consumed_;
      const uint32_t take = n - delivered < left ? n - delivered : left;
      reader_->ReadAt(out + delivered, take, static_cast<uint32_t>(position));
      delivered += take;
      consumed_ += take;
    }
    if (consumed_ >= segment.length) {
      --left_;
      consumed_ = 0;
    }
  }
  return delivered;
}

CF_OLEInStream::CF_OLEInStream(CF_Reader& reader, const CF_DirectoryEntry& entry)
    : entry_(entry), impl_(reader, entry) {}

CF_OLEInStream::~CF_OLEInStream() {
  delete inflater_;
  if (impl_.Reader() != nullptr) impl_.Reader()->StreamClosed(this);
}

uint32_t CF_OLEInStream::GetData(void* buffer, uint32_t n) {
  if (entry_.kind != CF_Compressed) return impl_.GetData(buffer, n);
  if (impl_.Reader() == nullptr) Error(kFailCodeFileDamaged);
  if (inflater_ == nullptr) inflater_ = LZ_InStream::New(impl_, static_cast<LZ_WindowBits>(kStreamWindowBits));
  return inflater_->GetData(buffer, n);
}
