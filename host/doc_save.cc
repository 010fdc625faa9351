#include "host/doc_save.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/win/replacing_file.h"
#include "platform/xt/xt_types.h"

namespace xthost {
namespace {

int32_t Failed(int reason, std::string* error) {
  *error = std::strerror(reason);
  return reason == ENOENT || reason == ENOTDIR ? kXTErrNoFolder : kXTErrIo;
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

  win::ReplacingFile file(target);
  if (!file.Write(text.data(), text.size()) || !file.Commit()) return Failed(file.error(), error);
  return kXTOk;
}

}  // namespace xthost
