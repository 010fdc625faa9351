// The file a compound file is written into: a temporary file beside the
// target, in 512-byte sectors after the 512-byte header.
//
// Large streams keep their bytes in sectors of the work file as they are
// written, so writing a stream costs about what writing a plain file costs.
// Commit() (writer.h) adds the directory and allocation tables, and Publish()
// renames the work file over the target.  After that the work file is the
// target itself; the first change after a publish first copies it to a new
// temporary file (Fork), so the published file is never changed in place.
//
// Writes that follow one another are gathered in a 64 KiB buffer and reach
// the file together; reads, truncation and publishing put them out first.
// A write that fails there is still owed: it is tried again at the next
// write, read or publish, and its failure is reported by that call.
//
// Sector bookkeeping: sectors are taken from the free list first, lowest
// first, then added at the end.  Sectors written by a commit (tables, and
// stream bytes kept in memory) become free at the next fork.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <map>
#include <string>
#include <vector>

#include "platform/ole/byte_source.h"
#include "platform/ole/file_io.h"
#include "platform/ole/ole.h"

namespace ole {

class WorkFile final : public ByteSource {
 public:
  static constexpr uint32_t kSectorSize = 512;
  static constexpr uint32_t kMaxSectors = 0xFFFFFFFA;  // sector numbers the format can use

  // Creates an empty work file for `target`.  Results as CreateErrorResult.
  static Result Create(const std::string& target, std::shared_ptr<WorkFile>* work);
  // Closes the file; removes it unless it was published.
  ~WorkFile() override;
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  static uint64_t Offset(uint32_t sector) { return (uint64_t{sector} + 1) * kSectorSize; }

  // The bytes of the sectors allocated so far.
  uint64_t size() const override { return Offset(count_); }
  bool ReadAt(uint64_t offset, void* out, size_t n) const override;

  uint32_t sector_count() const { return count_; }
  // Appends n sectors to `sectors` (free ones first).  STG_E_MEDIUMFULL when
  // the format cannot number them; nothing is taken then.
  Result Allocate(uint64_t n, std::vector<uint32_t>* sectors);
  // Appends n consecutive new sectors at the end; returns the first.
  Result AllocateAtEnd(uint64_t n, uint32_t* first);
  // Gives sectors back.
  void Free(const uint32_t* sectors, size_t n) noexcept;
  // Drops free sectors at the end of the file from the count.
  void TrimFreeTail();
  // Cuts the file to the sectors counted.
  Result Truncate();
  void FreeRun(uint32_t first, uint32_t length);
  // Free sectors as runs: first sector to length.
  using Runs = std::map<uint32_t, uint32_t>;
  const Runs& free_runs() const { return free_; }

  // Writes at a byte offset, forking first when the file was published.
  // Results as WriteErrorResult (also of gathered writes put out now).
  Result WriteAt(uint64_t offset, const void* data, size_t n);
  Result WriteZeros(uint64_t offset, uint64_t n);

  // Copies a published file to a new work file; nothing when unpublished.
  Result Fork();

  // What a failed commit puts back.
  struct Mark {
    uint32_t count;
    Runs free;
  };
  Mark Save() const { return Mark{count_, free_}; }
  void Restore(const Mark& mark);

  // Puts the work file in the target's place.  `commit_sectors` become free
  // at the next fork.
  Result Publish(std::vector<uint32_t> commit_sectors);

 private:
  WorkFile(std::string target, std::string path, int fd) : target_(std::move(target)), path_(std::move(path)), fd_(fd) {}
  // A new temporary file beside the target, with the target's permissions
  // when it exists.
  static Result CreateTemp(const std::string& target, std::string* path, int* fd);
  // Puts the gathered writes out; they stay gathered when that fails.
  Result FlushPending() const;

  static constexpr size_t kPendingSize = size_t{1} << 16;

  std::string target_;
  std::string path_;  // the temporary file while unpublished
  Fd fd_;
  bool published_ = false;
  uint32_t count_ = 0;
  Runs free_;
  std::vector<uint32_t> commit_sectors_;
  // Gathered writes: the bytes [pending_at_, pending_at_ + pending_size_).
  // Reads put them out, so they are mutable.
  mutable std::unique_ptr<uint8_t[]> pending_;
  mutable uint64_t pending_at_ = 0;
  mutable size_t pending_size_ = 0;
};

}  // namespace ole
