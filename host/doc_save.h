// Putting a document's file text in place of the file at a path.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace xthost {

// What tells one content of a file from another: the file itself (device
// and inode), its size, the time of its last change and the inode's change
// time, which no program can set back.  A file written anew, renamed over
// the old one, or changed in place has another stamp.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec changed{};
  timespec statusChanged{};
  // The digest (ContentDigest) of the bytes a document was read from or
  // saved as, when `digested`: a file of another stamp whose bytes have it
  // is no other file.  Not compared by ==.  A digest, not the bytes, so
  // that an open document does not hold its file twice.
  bool digested = false;
  std::size_t digest = 0;

  bool operator==(const FileStamp& other) const;
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The digest of a file's bytes that FileStamp keeps (this process's own
// 64-bit hash, with the size beside it in the stamp).
std::size_t ContentDigest(std::string_view bytes);

// The stamp of the file at `path`, a link followed; `exists` false when
// there is none.
FileStamp StampOf(const std::string& path);
// The stamp of a file of status `st`.
FileStamp StampOf(const struct stat& st);

// The save's result for the system's error `reason`, its text in *error:
// kXTErrDiskFull for no space left on the disk or in the user's quota
// (ENOSPC, EDQUOT), kXTErrNoFolder for a missing folder, else kXTErrIo.
int32_t SaveFailure(int reason, std::string* error);

// Whether another file was put at `path` since `known` was taken: a file is
// there, of another stamp, and its bytes are not `known`'s (a file only
// touched, or written anew with the same bytes, is the same file).
bool ReplacedSince(const std::string& path, const FileStamp& known);

// Replaces the file at `path` by `text`, whole or not at all.  A link at
// `path` is followed: the file it names is replaced and the link kept.  The
// text goes to a fresh temporary file beside that file (made exclusively,
// never through a link), which gets the old file's permissions and is
// renamed over it.  A read-only document is refused.  With `opened` (the
// stamp of the file the document was read from or last saved to), a file
// that another run put there since (ReplacedSince, asked last right before
// the rename) is refused too: it is kept, and the document is not saved
// over it.  Once the new file has the name the save is done (a failed sync
// of the folder after it is a WARNING), and *written (when given) is the
// stamp of the file written, taken from its descriptor (not by name), with
// `text`'s digest.  Returns 0, kXTErrNoFolder, kXTErrDiskFull (no space
// left on the disk or in the user's quota), or kXTErrIo (with the reason
// in *error).
int32_t WriteDocumentText(const std::string& path, std::string text, std::string* error,
                          const FileStamp* opened = nullptr, FileStamp* written = nullptr);

}  // namespace xthost
