// The bytes of one stream element, kept in one of three ways:
// - in memory, in chunks of up to kChunk bytes (appending never moves what
//   is already there, so growth is amortised O(1));
// - in sectors of the work file of the file being written, once the stream
//   grows past kSpillSize (writing then costs about what writing a plain
//   file costs, and memory stays small);
// - as a view of a file being read: extents of that file, read on demand.
// A view turns into bytes of its own on its first change.  Sizes are 32-bit,
// as the format stores them; callers keep positions within kMaxSize.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ole/byte_source.h"
#include "platform/ole/ole.h"
#include "platform/ole/work_file.h"

namespace ole {

class StreamData {
 public:
  static constexpr uint64_t kMaxSize = 0xFFFFFFFFu;
  static constexpr size_t kChunk = size_t{1} << 20;
  static constexpr uint32_t kSpillSize = 1u << 20;

  // One contiguous piece of a viewed stream in its source.
  struct Extent {
    uint32_t stream_offset;
    uint32_t length;
    uint64_t source_offset;
  };

  StreamData() = default;
  // A view: the extents, in stream order, cover [0, size).
  StreamData(std::shared_ptr<const ByteSource> source, std::vector<Extent> extents, uint32_t size);
  // Gives work-file sectors back.
  ~StreamData();
  StreamData(StreamData&& other) noexcept;
  StreamData& operator=(StreamData&& other) noexcept;
  StreamData(const StreamData&) = delete;
  StreamData& operator=(const StreamData&) = delete;

  uint32_t size() const { return size_; }

  // Copies up to n bytes from `pos`; *got is 0 at or past the end.
  // STG_E_READFAULT when the file being read cannot deliver them.
  Result Read(uint64_t pos, void* out, size_t n, size_t* got) const;
  // Writes n bytes at `pos`, first filling any gap past the end with zeros.
  // `work` is the work file of the element's file (null for files being
  // read, which are never written).
  Result Write(const std::shared_ptr<WorkFile>& work, uint64_t pos, const void* in, size_t n);
  // Truncates, or extends with zeros.
  Result Resize(const std::shared_ptr<WorkFile>& work, uint32_t size);
  // A copy for an element of `work`'s file: views are shared, other bytes
  // copied.
  Result CopyTo(const std::shared_ptr<WorkFile>& work, StreamData* copy) const;

  // The sectors holding the bytes when they are kept in `work`, else null.
  const std::vector<uint32_t>* SectorsIn(const WorkFile* work) const {
    return kind_ == kDisk && work_.get() == work ? &sectors_ : nullptr;
  }
  // Hands the bytes, in order, to `piece` in pieces of at most kChunk bytes;
  // stops at the first failure.
  Result ForEachPiece(const std::function<Result(const uint8_t*, size_t)>& piece) const;

 private:
  enum Kind { kMemory, kView, kDisk };

  void Clear();
  // Memory bytes.
  void MemoryAppend(const uint8_t* in, size_t n);  // null `in` appends zeros
  void MemoryOverwrite(size_t pos, const uint8_t* in, size_t n);
  void MemoryResize(uint32_t size);
  // Sector bytes.
  Result DiskWrite(uint64_t pos, const uint8_t* in, uint64_t n);  // null `in` writes zeros
  Result DiskTransfer(uint64_t pos, uint8_t* read_into, const uint8_t* write_from, uint64_t n) const;
  void DiskTrim();  // frees sectors past the size
  // Turns the bytes into memory bytes, or work-file bytes when `size` needs
  // more than kSpillSize and there is a work file.
  Result Own(const std::shared_ptr<WorkFile>& work, uint64_t size);

  Kind kind_ = kMemory;
  uint32_t size_ = 0;
  std::vector<std::vector<uint8_t>> chunks_;  // memory: all full but the last
  std::shared_ptr<const ByteSource> source_;  // view
  std::vector<Extent> extents_;               // view
  std::shared_ptr<WorkFile> work_;            // disk
  std::vector<uint32_t> sectors_;             // disk: exactly enough for the size
};

}  // namespace ole
