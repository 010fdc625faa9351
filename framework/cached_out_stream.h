// A 4096-byte write cache in front of another OutStream.  Writes of up to
// 2048 bytes are gathered and handed on in blocks of up to 4096 bytes;
// larger writes go straight through once the cached bytes are handed on.
#pragma once

#include <cstdint>

#include "framework/streams.h"

class CachedOutStream : public OutStream {
 public:
  // With `own` set the cache deletes the target when it is destroyed.
  CachedOutStream(OutStream& target, bool own);
  // Not copyable: two caches would hand the same bytes on, or delete the
  // target, twice.
  CachedOutStream(const CachedOutStream&) = delete;
  CachedOutStream& operator=(const CachedOutStream&) = delete;
  // Flushes, then deletes an owned target.  Raises the target's failure
  // unless an exception is already unwinding; the target is deleted anyway.
  ~CachedOutStream() noexcept(false) override;

  // Nothing for a null pointer or n = 0.
  void PutData(const void* data, uint32_t n) override;
  // Bytes written so far, flushed or not (plus the starting count).
  uint32_t GetOffset() const { return flushed_ + fill_; }

 protected:
  static constexpr uint32_t kCacheSize = 4096;
  static constexpr uint32_t kBypassSize = 2048;

  // Hands the cached bytes to the target.
  void Flush();
  // For writers whose target already holds `count` bytes before the cache's
  // first, so that GetOffset gives absolute offsets.
  void SetFlushedCount(uint32_t count) { flushed_ = count; }

 private:
  void FlushAndRelease();

  OutStream* target_;
  uint32_t flushed_ = 0;
  uint8_t buffer_[kCacheSize];
  uint32_t fill_ = 0;
  bool own_;
};
