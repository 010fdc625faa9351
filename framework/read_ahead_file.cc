#include "framework/read_ahead_file.h"

#include <cstring>

#include "framework/cf_format.h"

ReadAheadFile::ReadAheadFile(InFile& source, bool own)
    : source_(&source), own_(own), position_(source.Seek(0, SeekCurrent)), buffer_(new uint8_t[kSize]) {}

ReadAheadFile::~ReadAheadFile() {
  if (own_) delete source_;
}

uint32_t ReadAheadFile::Seek(int32_t offset, SeekOrigin origin) {
  if (origin == SeekCurrent) {
    // Relative to this file's position, not the source's (32-bit positions
    // wrap as the sources' do).
    offset = static_cast<int32_t>(position_ + static_cast<uint32_t>(offset));
    origin = SeekBegin;
  }
  position_ = source_->Seek(offset, origin);
  return position_;
}

uint32_t ReadAheadFile::GetData(void* buffer, uint32_t n) {
  const bool held = position_ >= first_ && position_ - first_ < fill_;
  if (!held) {
    source_->Seek(static_cast<int32_t>(position_), SeekBegin);
    if (n >= kSize) {
      const uint32_t got = source_->GetData(buffer, n);
      position_ += got;
      return got;
    }
    first_ = position_;
    fill_ = 0;
    fill_ = cf::GetAll(*source_, buffer_.get(), kSize);
    if (fill_ == 0) return 0;
  }
  const uint32_t within = position_ - first_;
  const uint32_t count = n < fill_ - within ? n : fill_ - within;
  std::memcpy(buffer, buffer_.get() + within, count);
  position_ += count;
  return count;
}
