// Putting a document's file text in place of the file at a path.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace xthost {

// What tells one content of a file from another: the file itself (device
// and inode), its size and the time of its last change.  A file written
// anew, or renamed over the old one, has another stamp.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec changed{};

  bool operator==(const FileStamp& other) const;
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of the file at `path`, a link followed; `exists` false when
// there is none.
FileStamp StampOf(const std::string& path);

// Replaces the file at `path` by `text`, whole or not at all.  A link at
// `path` is followed: the file it names is replaced and the link kept.  The
// text goes to a fresh temporary file beside that file (made exclusively,
// never through a link), which gets the old file's permissions and is
// renamed over it.  A read-only document is refused.  With `opened` (the
// stamp of the file the document was read from), a file that another run
// put there since is refused too: it is kept, and the document is not
// saved over it.  On success *written (when given) is the new file's
// stamp.  Returns 0, kXTErrNoFolder, or kXTErrIo (with the reason in
// *error).
int32_t WriteDocumentText(const std::string& path, const std::string& text, std::string* error,
                          const FileStamp* opened = nullptr, FileStamp* written = nullptr);

}  // namespace xthost
