// Low-level file access of the storage layer: descriptors closed by scope,
// positioned reads and writes that finish or fail, and the results errno
// values map to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ole/ole.h"

namespace ole {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Gives the descriptor up without closing it.
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now; the errno of a failing close, else 0.
  int Close();

 private:
  int fd_;
};

// Reads exactly n bytes at `offset`: 0, or the errno (EIO when the file ends
// first).
int ReadFully(int fd, uint64_t offset, void* out, size_t n);
// Writes exactly n bytes at `offset`: 0 or the errno.
int WriteFully(int fd, uint64_t offset, const void* data, size_t n);

// Opening for reading: missing file STG_E_FILENOTFOUND, missing folder
// STG_E_PATHNOTFOUND, no permission or a folder STG_E_ACCESSDENIED, too many
// open files STG_E_TOOMANYOPENFILES, else STG_E_READFAULT.
Result OpenErrorResult(int error);
// Creating a file: as OpenErrorResult, but a missing file or folder is
// STG_E_PATHNOTFOUND, a full disk STG_E_MEDIUMFULL, anything else
// STG_E_WRITEFAULT.
Result CreateErrorResult(int error);
// Writing: ENOSPC and EDQUOT give STG_E_MEDIUMFULL, anything else
// STG_E_WRITEFAULT.
Result WriteErrorResult(int error);

}  // namespace ole
