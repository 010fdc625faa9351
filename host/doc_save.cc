#include "host/doc_save.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/xt/xt_types.h"

namespace xthost {
namespace {

int32_t Failed(int reason, std::string* error) {
  *error = std::strerror(reason);
  return reason == ENOENT || reason == ENOTDIR ? kXTErrNoFolder : kXTErrIo;
}

// Writes all of `text`; false with errno set when it could not.
bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int32_t WriteDocumentText(const std::string& path, const std::string& text, std::string* error) {
  std::string target = path;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    if (!real) {
      *error = std::string("the link leads to no file: ") + std::strerror(errno);
      return kXTErrIo;
    }
    target = real.get();
  }
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode)) {
      *error = "not a file";
      return kXTErrIo;
    }
    // Write permission bits, not just access: the superuser may write
    // anything, but a document made read-only stays so.
    if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
      *error = "the document is read-only";
      return kXTErrIo;
    }
  }

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".xthost-save-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return Failed(errno, error);
  }
  if (fd < 0) return Failed(EEXIST, error);

  bool ok = !exists || ::fchmod(fd, st.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, text) && ::fsync(fd) == 0;
  int reason = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    reason = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    *error = std::strerror(reason);
    return kXTErrIo;
  }
  return kXTOk;
}

}  // namespace xthost
