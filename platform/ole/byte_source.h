// Where the bytes of a compound file being read come from: an open file, or
// memory.  A file opened for reading stays open, and element data is read
// from it when asked for, at offsets checked when the file was opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ole/file_io.h"
#include "platform/ole/ole.h"

namespace ole {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly n bytes at `offset`; false when they cannot all be read
  // (the file shrank since, or an I/O error).
  virtual bool ReadAt(uint64_t offset, void* out, size_t n) const = 0;
};

class MemorySource final : public ByteSource {
 public:
  MemorySource(const void* data, size_t size);
  uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* out, size_t n) const override;

 private:
  std::vector<uint8_t> bytes_;
};

class FileSource final : public ByteSource {
 public:
  // Opens a regular file for reading.  Results as OpenErrorResult; anything
  // but a regular file or a folder is STG_E_FILEALREADYEXISTS (not a compound
  // file).
  static Result Open(const std::string& path, std::shared_ptr<FileSource>* source);
  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t n) const override;

 private:
  FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}

  Fd fd_;
  uint64_t size_;
};

}  // namespace ole
