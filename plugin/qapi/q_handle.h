// QHandle: one relocatable host memory block (XTMemorySuite).
//
// The handle owns its block and gives it back when it goes (or earlier,
// through Dispose); it moves but is never copied.  The block's address may
// change whenever the host fills it: take Data() again after such a call.
// Host thread only.
#pragma once

#include <cstdint>

#include "platform/xt/xt_doc_suites.h"

class QHandle {
 public:
  // Holds nothing.
  QHandle() = default;
  // Allocate: a block of `size` bytes.  When the host gives none, the
  // failure goes to QuarkInternalError ("Plugin\\Qapi\\QHandle", line 28) and
  // std::bad_alloc is thrown.
  explicit QHandle(uint32_t size);
  static QHandle Allocate(uint32_t size) { return QHandle(size); }
  // The same without throwing: the host's result, *out holding the block on
  // success.
  static int32_t TryAllocate(uint32_t size, QHandle* out);
  // Takes over a block the host made for the caller.
  static QHandle Adopt(XTHandle handle);

  ~QHandle() { Dispose(); }
  QHandle(QHandle&& other) noexcept;
  QHandle& operator=(QHandle&& other) noexcept;
  QHandle(const QHandle&) = delete;
  QHandle& operator=(const QHandle&) = delete;

  // Gives a held block back to the host: the host's result, 0 when none is
  // held.
  int32_t Dispose();
  // The block's size in bytes; 0 when none is held or the host cannot tell
  // (a failed host call is logged, support/host_result.h).
  uint32_t Size() const;
  // The block's present address; null when none is held, it is empty or the
  // host cannot give it (logged as above).  Every caller checks for null;
  // CopyOut and CopyIn do that for the callers that copy.
  void* Data() const;
  // Copies `size` bytes from `offset` of the block to `out`; false, changing
  // nothing, when the block does not hold them or cannot be had.
  bool CopyOut(uint32_t offset, void* out, uint32_t size) const;
  // Copies `size` bytes from `in` to `offset` of the block; false, changing
  // nothing, as for CopyOut.
  bool CopyIn(uint32_t offset, const void* in, uint32_t size);
  XTHandle Get() const { return handle_; }

 private:
  XTHandle handle_ = 0;
};
