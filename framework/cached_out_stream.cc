#include "framework/cached_out_stream.h"

#include <cstring>

#include "framework/finish_in_destructor.h"

CachedOutStream::CachedOutStream(OutStream& target, bool own) : target_(&target), own_(own) {}

CachedOutStream::~CachedOutStream() noexcept(false) {
  FinishInDestructor([this] { FlushAndRelease(); });
}

void CachedOutStream::FlushAndRelease() {
  try {
    Flush();
  } catch (...) {
    // The flush failure is the one reported; the target still goes.
    if (own_) {
      try {
        delete target_;
      } catch (...) {
      }
    }
    throw;
  }
  if (own_) delete target_;
}

void CachedOutStream::PutData(const void* data, uint32_t n) {
  if (data == nullptr || n == 0) return;
  if (n > kBypassSize) {
    Flush();
    target_->PutData(data, n);
    flushed_ += n;
    return;
  }
  if (fill_ + n > kCacheSize) Flush();
  std::memcpy(buffer_ + fill_, data, n);
  fill_ += n;
}

void CachedOutStream::Flush() {
  if (fill_ == 0) return;
  target_->PutData(buffer_, fill_);
  flushed_ += fill_;
  fill_ = 0;
}
