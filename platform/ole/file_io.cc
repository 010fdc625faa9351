#include "platform/ole/file_io.h"

#include <unistd.h>

#include <cerrno>

namespace ole {

int Fd::Close() {
  if (fd_ < 0) return 0;
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : errno;
}

int ReadFully(int fd, uint64_t offset, void* out, size_t n) {
  auto* p = static_cast<uint8_t*>(out);
  while (n > 0) {
    ssize_t got = ::pread(fd, p, n, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return EIO;
    p += got;
    offset += static_cast<uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return 0;
}

int WriteFully(int fd, uint64_t offset, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += put;
    offset += static_cast<uint64_t>(put);
    n -= static_cast<size_t>(put);
  }
  return 0;
}

namespace {

thread_local int mediumFullError = ENOSPC;

// Keeps which of the two a full medium was.
bool MediumFull(int error) {
  if (error != ENOSPC && error != EDQUOT) return false;
  mediumFullError = error;
  return true;
}

}  // namespace

int LastMediumFullError() { return mediumFullError; }

Result OpenErrorResult(int error) {
  switch (error) {
    case ENOENT:
      return STG_E_FILENOTFOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return STG_E_ACCESSDENIED;
    case EMFILE:
    case ENFILE:
      return STG_E_TOOMANYOPENFILES;
    case ENOMEM:
      return STG_E_INSUFFICIENTMEMORY;
    default:
      return STG_E_READFAULT;
  }
}

Result CreateErrorResult(int error) {
  if (MediumFull(error)) return STG_E_MEDIUMFULL;
  Result r = OpenErrorResult(error);
  if (r == STG_E_FILENOTFOUND) return STG_E_PATHNOTFOUND;
  return r == STG_E_READFAULT ? STG_E_WRITEFAULT : r;
}

Result WriteErrorResult(int error) {
  return MediumFull(error) ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
}

}  // namespace ole
