#include "framework/cf_out_stream.h"

#include <cstring>

#include "framework/failures.h"
#include "framework/finish_in_destructor.h"
#include "framework/lz_stream.h"
#include "framework/mem_file.h"

namespace {

// Deflate parameters: logical streams use a small window and little memory;
// the trial that decides the kind of a short stream uses zlib's defaults.
constexpr int kLevel = -1;
constexpr int kStreamWindowBits = 10;
constexpr int kStreamMemoryLevel = 3;
constexpr int kTrialWindowBits = 15;
constexpr int kTrialMemoryLevel = 8;

LZ_OutStream* NewDeflater(OutStream& target, int windowBits, int memoryLevel) {
  return LZ_OutStream::New(target, static_cast<LZ_CompressionLevel>(kLevel),
                           static_cast<LZ_WindowBits>(windowBits),
                           static_cast<LZ_MemoryLevel>(memoryLevel));
}

// Appends n bytes to `buffer`, which holds `fill` bytes, calling full() each
// time it is full; full() empties it (sets `fill` to 0).
template <size_t N, class Full>
void Buffer(uint8_t (&buffer)[N], uint32_t& fill, const void* data, uint32_t n, Full full) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const uint32_t room = static_cast<uint32_t>(N) - fill;
    const uint32_t take = n < room ? n : room;
    std::memcpy(buffer + fill, p, take);
    fill += take;
    p += take;
    n -= take;
    if (fill == N) full();
  }
}

// True when deflating the bytes gives fewer bytes than they are (never for
// none: a deflate stream is never empty).
bool DeflatingPays(const uint8_t* data, uint32_t n) {
  if (n == 0) return false;
  MemFile trial;
  {
    LZ_OutStream* deflater = NewDeflater(trial, kTrialWindowBits, kTrialMemoryLevel);
    try {
      deflater->PutData(data, n);
    } catch (...) {
      delete deflater;
      throw;
    }
    delete deflater;  // finishes the trial stream
  }
  return trial.Size() < n;
}

}  // namespace

// --- OutImpl -----------------------------------------------------------------

void CF_OLEOutStream::OutImpl::PutData(const void* data, uint32_t n) {
  if (writer_ == nullptr) return;  // abandoned
  Buffer(buffer_, fill_, data, n, [this] { EmitSegment(); });
}

void CF_OLEOutStream::OutImpl::EmitSegment() {
  const uint32_t offset = writer_->WriteBlock(buffer_, fill_);
  segments_.push_back({offset, fill_});
  fill_ = 0;
}

uint32_t CF_OLEOutStream::OutImpl::Close() {
  EmitSegment();  // the last segment is always recorded, even when empty
  // The table: the count, then the pairs from the last segment to the first,
  // handed over in pieces of up to 64 pairs.  Nothing else is written in
  // between, so the pieces lie one after the other in the code file.
  uint8_t table[8 * 64];
  const size_t count = segments_.size();
  cf::Put32(table, static_cast<uint32_t>(count));
  const uint32_t tableOffset = writer_->WriteBlock(table, 4);
  uint32_t fill = 0;
  for (size_t i = count; i-- > 0;) {
    cf::Put32(table + fill, segments_[i].offset);
    cf::Put32(table + fill + 4, segments_[i].length);
    fill += 8;
    if (fill == sizeof table || i == 0) {
      writer_->WriteBlock(table, fill);
      fill = 0;
    }
  }
  writer_ = nullptr;
  return tableOffset;
}

// --- CF_OLEOutStream ------------------------------------------------------------

CF_OLEOutStream::CF_OLEOutStream(CF_Writer& writer, const CF_DirectoryEntry& entry)
    : entry_(entry), writer_(&writer), impl_(writer) {}

CF_OLEOutStream::~CF_OLEOutStream() noexcept(false) {
  FinishInDestructor([this] { Finish(); });
  DeleteDeflater();  // only left over when finishing failed
}

void CF_OLEOutStream::PutData(const void* data, uint32_t n) {
  if (writer_ == nullptr) Error(kFailCodeFileDamaged);
  // Stored bytes are cut into the same segments whether staged or not.
  if (entry_.kind == CF_Stored) {
    impl_.PutData(data, n);
    return;
  }
  Buffer(staging_, fill_, data, n, [this] { FlushStaging(); });
}

void CF_OLEOutStream::SetIdentifier(uint32_t nameNumber, int32_t id) {
  entry_.number = nameNumber;
  entry_.id = id;
}

void CF_OLEOutStream::FlushStaging() {
  if (entry_.kind == CF_DecideAtFirstFlush) {
    entry_.kind = (fill_ == cf::kStagingSize || DeflatingPays(staging_, fill_)) ? CF_Compressed : CF_Stored;
  }
  if (entry_.kind == CF_Compressed) {
    if (deflater_ == nullptr) deflater_ = NewDeflater(impl_, kStreamWindowBits, kStreamMemoryLevel);
    deflater_->PutData(staging_, fill_);
  } else {
    impl_.PutData(staging_, fill_);
  }
  fill_ = 0;
}

void CF_OLEOutStream::DeleteDeflater() {
  LZ_OutStream* deflater = deflater_;
  deflater_ = nullptr;
  delete deflater;  // writes the end of the deflate stream
}

void CF_OLEOutStream::Finish() {
  if (writer_ == nullptr) return;
  CF_Writer* writer = writer_;
  try {
    if (fill_ > 0 || entry_.kind != CF_Stored) FlushStaging();
    DeleteDeflater();
    entry_.tableOffset = impl_.Close();
  } catch (...) {
    writer_ = nullptr;
    impl_.Abandon();
    try {
      DeleteDeflater();
    } catch (...) {
    }
    writer->StreamDropped(this);
    throw;
  }
  writer_ = nullptr;
  writer->StreamClosed(this, entry_);
}

void CF_OLEOutStream::Detach() {
  writer_ = nullptr;
  impl_.Abandon();
}
