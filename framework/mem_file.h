// Streams over memory: a seek position, a reader over bytes someone else
// holds, a growing writer, and MemFile, which reads back what it wrote.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/streams.h"

// A seek position over a memory image of Size() bytes.  Seek applies no
// bound: positions past the end are allowed (a writer fills the gap later).
class MemSeekMethod : public virtual SeekMethod {
 public:
  // Origin SeekBegin sets the position, SeekCurrent adds to it, SeekEnd sets
  // it to Size() + offset; any other origin leaves it.  Returns it.
  uint32_t Seek(int32_t offset, SeekOrigin origin) override;
  virtual uint32_t Size() const = 0;

 protected:
  uint32_t position_ = 0;
};

// Reads the bytes Data()[0, Size()) from the shared position.
class MemInFile : public InFile, public virtual MemSeekMethod {
 public:
  virtual const void* Data() const = 0;
  // Copies min(n, Size() - position) bytes (0 at or past the end).
  uint32_t GetData(void* buffer, uint32_t n) override;
};

// Writes into an owned heap buffer that grows as needed.  Size() is the
// highest position ever written to.
class MemOutFile : public OutFile, public virtual MemSeekMethod {
 public:
  MemOutFile();
  // A buffer exactly as long as the source's size, holding its bytes; the
  // position is at the end.
  MemOutFile(const MemOutFile& other);
  MemOutFile& operator=(const MemOutFile&) = delete;
  ~MemOutFile() override;

  // Writes n bytes at the position.  A buffer too small is replaced by one of
  // 2 * position + n bytes; an end past 4 GiB raises failure 32773.  Bytes
  // skipped by seeking past the end hold whatever the buffer held there.
  void PutData(const void* data, uint32_t n) override;
  uint32_t Size() const override { return size_; }
  const void* Data() const { return buffer_.get(); }
  uint32_t Capacity() const { return capacity_; }
  // Trims the buffer to the position, which becomes size and capacity.
  void Resize();
  // Position and size back to 0; the buffer is kept.
  void Clear();

 private:
  void Reallocate(uint32_t capacity);

  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t capacity_ = 0;
  uint32_t size_ = 0;
};

// A MemOutFile whose bytes are also read through one shared position.
class MemFile : public MemInFile, public MemOutFile {
 public:
  MemFile() = default;
  MemFile(const MemFile& other) : MemSeekMethod(other), MemInFile(other), MemOutFile(other) {}
  MemFile& operator=(const MemFile&) = delete;

  uint32_t Size() const override { return MemOutFile::Size(); }
  const void* Data() const override { return MemOutFile::Data(); }
};
