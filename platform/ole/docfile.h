// One open compound file: its tree, and for a file being written its work
// file and whether it changed since it was last written.  Every storage and
// stream object opened in the file shares it, so the file lives as long as
// any of them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/ole/entry.h"
#include "platform/ole/ole.h"
#include "platform/ole/work_file.h"

namespace ole {

class Docfile {
 public:
  // `work` is null for a file opened for reading.
  Docfile(std::shared_ptr<WorkFile> work, std::shared_ptr<Entry> root) : work_(std::move(work)), root_(std::move(root)) {}
  // A file being written that changed since its last write is written now;
  // a failure here cannot be reported, which is why callers Commit() first.
  ~Docfile();
  Docfile(const Docfile&) = delete;
  Docfile& operator=(const Docfile&) = delete;

  bool writable() const { return work_ != nullptr; }
  const std::shared_ptr<WorkFile>& work() const { return work_; }
  // Records a change that the next Save() writes.
  void Touch() { dirty_ = true; }
  // Writes the file when it changed since the last write (always with
  // `force`).  Files being read: S_OK, nothing to do.
  Result Save(bool force = false);

 private:
  std::shared_ptr<WorkFile> work_;
  std::shared_ptr<Entry> root_;
  bool dirty_ = false;
};

// The modes of root files.
constexpr uint32_t kRootCreateMode = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;
constexpr uint32_t kRootReadMode = STGM_SHARE_DENY_WRITE;

// Opens a compound file held in memory, read-only, as OpenDocfile opens one
// from disk (the bytes are copied).  For tests and fuzzing.
Result OpenDocfileFromBytes(const void* data, size_t size, Storage** root);

}  // namespace ole
