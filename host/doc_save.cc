#include "host/doc_save.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "platform/win/leftovers.h"
#include "platform/win/replacing_file.h"
#include "platform/xt/xt_types.h"

namespace xthost {
namespace {

// The reason given for a file that another run put at the document's name.
constexpr char kReplacedText[] = "another file was put at the document's name since it was opened: \"";

}  // namespace

int32_t SaveFailure(int reason, std::string* error) {
  *error = std::strerror(reason);
  // A full quota is answered as a full disk: the host's one result for no
  // space left on the disk or in the user's quota.
  if (reason == ENOSPC || reason == EDQUOT) return kXTErrDiskFull;
  return reason == ENOENT || reason == ENOTDIR ? kXTErrNoFolder : kXTErrIo;
}

bool FileStamp::operator==(const FileStamp& other) const {
  if (exists != other.exists) return false;
  return !exists || (device == other.device && inode == other.inode && size == other.size &&
                     changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec &&
                     statusChanged.tv_sec == other.statusChanged.tv_sec &&
                     statusChanged.tv_nsec == other.statusChanged.tv_nsec);
}

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.changed = st.st_mtim;
  stamp.statusChanged = st.st_ctim;
  return stamp;
}

FileStamp StampOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? StampOf(st) : FileStamp();
}

std::size_t ContentDigest(std::string_view bytes) { return std::hash<std::string_view>()(bytes); }

bool ReplacedSince(const std::string& path, const FileStamp& known) {
  const FileStamp now = StampOf(path);
  if (!now.exists || now == known) return false;
  if (!known.digested || now.size != known.size) return true;
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(now.size), '\0');
  if (!in.read(bytes.data(), now.size) || in.peek() != std::char_traits<char>::eof()) return true;
  return ContentDigest(bytes) != known.digest;
}

int32_t WriteDocumentText(const std::string& path, std::string text, std::string* error,
                          const FileStamp* opened, FileStamp* written) {
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
      *error = (st.st_mode & 0222) == 0 ? "the document is read-only" : "the document is not writable by this user";
      return kXTErrIo;
    }
  }

  // Checked again last before the rename, after the sync: the text may
  // take long to write and sync, and another run may save there meanwhile.
  bool refused = false;
  const auto replaced = [&] {
    if (opened == nullptr || !ReplacedSince(target, *opened)) return false;
    *error = std::string(kReplacedText) + target + "\"";
    return refused = true;
  };
  if (replaced()) return kXTErrIo;
  // Under a working document's name: a whole document left by a killed
  // save is removed by the next save there, not kept as one set aside.
  win::ReplacingFile file(target, win::kWorkingDocumentSuffix);
  if (!file.Write(text.data(), text.size())) return SaveFailure(file.error(), error);
  if (!file.Commit([&] { return !replaced(); })) return refused ? kXTErrIo : SaveFailure(file.error(), error);
  if (written != nullptr) {
    // The file written, not what the name holds by now: a file another run
    // puts there after the rename is not taken for this save.
    *written = file.committed() != nullptr ? StampOf(*file.committed()) : FileStamp();
    written->digested = true;
    written->digest = ContentDigest(text);
  }
  return kXTOk;
}

}  // namespace xthost
