// What every storage and stream object holds: its file, its entry and the
// mode it was opened with.  While it lives, the entry counts as open.
#pragma once

#include <memory>
#include <new>

#include "platform/ole/docfile.h"
#include "platform/ole/entry.h"
#include "platform/ole/ole.h"

namespace ole {

// The modes of elements.
constexpr uint32_t kElementCreateMode = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;
constexpr uint32_t kElementReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;

class OpenElement {
 public:
  OpenElement(std::shared_ptr<Docfile> file, std::shared_ptr<Entry> entry, uint32_t mode)
      : file(std::move(file)), entry(std::move(entry)), mode(mode) {
    ++this->entry->open_objects;
  }
  ~OpenElement() { --entry->open_objects; }
  OpenElement(const OpenElement&) = delete;
  OpenElement& operator=(const OpenElement&) = delete;

  // STG_E_REVERTED once the element was destroyed or replaced, else S_OK.
  Result Usable() const { return entry->reverted ? STG_E_REVERTED : S_OK; }
  // Opened for writing, in a file opened for writing.  Objects opened for
  // writing may also read.
  bool CanWrite() const { return (mode & STGM_WRITE) != 0 && file->writable(); }

  const std::shared_ptr<Docfile> file;
  const std::shared_ptr<Entry> entry;
  const uint32_t mode;
};

// Runs `body`, turning a failed allocation into STG_E_INSUFFICIENTMEMORY.
template <class Body>
Result Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

}  // namespace ole
