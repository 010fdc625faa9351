#include "framework/read_ahead_file.h"

#include <cstring>

#include "framework/cf_format.h"

ReadAheadFile::ReadAheadFile(InFile& source, bool own)
    : source_(&source), own_(own), position_(source.Seek(0, SeekCurrent)), buffer_(new uint8_t[kBehind + kSize]) {}

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
    if (n >= kSize) {
      source_->Seek(static_cast<int32_t>(position_), SeekBegin);
      const uint32_t got = source_->GetData(buffer, n);
      position_ += got;
      return got;
    }
    // The buffer keeps up to kBehind bytes before the read, so that a reader
    // that steps back a few KiB (the page cache above does) finds them still
    // there.  Bytes already held are moved, not read again.
    const uint32_t behind = position_ < kBehind ? position_ : kBehind;
    const uint32_t start = position_ - behind;
    uint32_t kept = 0;
    if (start >= first_ && position_ <= first_ + fill_) {
      std::memmove(buffer_.get(), buffer_.get() + (start - first_), behind);
      kept = behind;
    }
    first_ = start;
    fill_ = 0;
    source_->Seek(static_cast<int32_t>(start + kept), SeekBegin);
    fill_ = kept + cf::GetAll(*source_, buffer_.get() + kept, behind - kept + kSize);
    if (fill_ <= behind) return 0;
  }
  const uint32_t within = position_ - first_;
  const uint32_t count = n < fill_ - within ? n : fill_ - within;
  std::memcpy(buffer, buffer_.get() + within, count);
  position_ += count;
  return count;
}
