// A read-ahead buffer in front of a seekable source that is read mostly
// forward in small pieces (the code-file reader's page cache sits on it):
// a read outside the buffer loads the 64 KiB from there on, so that the
// source is asked once per 64 KiB instead of once per piece; the 16 KiB
// before it stay, so that short steps back need no new load.  Reads of the
// buffer's size or more go straight to the source.  The source must not
// change while this reads it.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/streams.h"

class ReadAheadFile : public InFile {
 public:
  // Starts at the source's current position.  With `own` set the source is
  // deleted with this file (it stays the caller's when the constructor
  // fails).
  ReadAheadFile(InFile& source, bool own);
  ~ReadAheadFile() override;
  ReadAheadFile(const ReadAheadFile&) = delete;
  ReadAheadFile& operator=(const ReadAheadFile&) = delete;

  uint32_t GetData(void* buffer, uint32_t n) override;
  // Done by the source; its answer becomes the position.
  uint32_t Seek(int32_t offset, SeekOrigin origin) override;

 private:
  static constexpr uint32_t kSize = 64 * 1024;     // read ahead at once
  static constexpr uint32_t kBehind = 16 * 1024;  // kept before the read that loads more

  InFile* source_;
  bool own_;
  uint32_t position_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t first_ = 0;  // the buffer holds the source bytes [first_, first_ + fill_)
  uint32_t fill_ = 0;
};
