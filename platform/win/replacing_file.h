// A file written under a temporary name beside its target, which takes the
// target's name only when the writer commits it.
//
// The temporary file is created new and exclusive (O_CREAT | O_EXCL: a
// link or any file already at that name is never followed, truncated or
// reused) in the target's folder, under a short name of its own (".~", the
// process id and a number), so that it fits wherever the target's name
// fits and the final rename stays within one file system.  Commit puts out
// what is buffered, gives the file at the temporary name (which a writer
// may have built anew there) the owner, group and mode of a regular file
// already at the target (an owner or group the process may not give is
// named through NoteFile, file_notes.h, and without the target's group the
// file has no group bits), syncs it to the disk, runs the
// caller's last check and renames it over the target, holding the file's
// lock throughout; until then the target is untouched.  Once renamed, the
// output is committed: Commit answers true, and a failed sync of the
// target's folder after it is a WARNING (NoteFile) naming the folder and
// the reason (the file may then not survive a power cut).  The temporary
// file is no wider than the target from the start (CreateFileBeside); a
// new target keeps the owner and mode the process and umask give.  After
// the rename the leftovers of stopped runs beside the target are swept
// (leftovers.h).  A file that was not committed is removed when the object
// goes, or at Discard.
//
// The first step that fails keeps the system's error number (error()) and
// every later step does nothing; Reason() is its text.  One object per
// thread.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace win {

// Creates a new file beside `target` under a short name of its own (with
// `suffix` at its end: kWorkingDocumentSuffix, leftovers.h, for a working
// document), opened with `flags` (O_WRONLY or O_RDWR) and O_CREAT | O_EXCL
// | O_CLOEXEC, and locked (flock) while it stays open; its descriptor and
// *path, or -1 with errno set.  It is no wider than a regular file at
// `target` from the start (that file's bits for group and others, the
// group's only when the new file gets the same group; the owner may read
// and write); for no file there, 0666.  The umask applies on top.
// With `like`, no wider than a regular file there instead.
int CreateFileBeside(const std::string& target, int flags, std::string* path, const char* suffix = "",
                     const std::string& like = std::string());

// Writes all `n` bytes to `fd`, again after EINTR; 0, or the error number.
int WriteAll(int fd, const char* data, std::size_t n);

// Whether `path` (through a link) is a file made read-only: no write
// permission bit, or no write access for this process.  The superuser may
// write anything, but a document made read-only stays so.
bool IsReadOnlyFile(const std::string& path);

// The check every Commit makes last, just before its rename: when it
// answers false the commit fails (ECANCELED) and the target stays as it
// was.  One for each copy of this library, none at first (nullptr removes
// it); returns the one it replaces.  The plug-in and the host link copies
// of their own: the plug-in's check covers the plug-in's own files, never
// the host's saves.
using CommitCheck = bool (*)();
CommitCheck SetCommitCheck(CommitCheck check);

class ReplacingFile {
 public:
  // Creates the temporary file (its name ending in `suffix`, as
  // CreateFileBeside, no wider than a file at `like` when given); ok() is
  // false (with the reason) when it cannot be made.
  explicit ReplacingFile(const std::string& target, const char* suffix = "", const std::string& like = std::string());
  // Removes the temporary file unless it was committed.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  const std::string& target() const { return target_; }
  // The temporary file's path ("" when it could not be made).
  const std::string& path() const { return path_; }
  bool ok() const { return error_ == 0; }
  int error() const { return error_; }
  // The system's text of error(); "" while ok().
  std::string Reason() const;

  // Writes all `n` bytes at the end of what was written; false on failure.
  bool Write(const void* data, std::size_t n);
  // A buffered stream into the file; a failed write makes it bad and ok()
  // false.  Made on first use; Commit and Write put its buffer out first.
  std::ostream& stream();

  // Puts everything out, syncs and renames the file over the target, then
  // syncs the folder; `lastCheck` (when given) runs right before the rename
  // and refuses it by answering false (error() is then ECANCELED).  False
  // (and the file removed, the target as it was) when any step before the
  // rename fails or failed before; true once the rename is done, also when
  // the folder's sync then fails (a WARNING tells it).  With
  // `onlyWhereNothingIs` the rename refuses a target that exists by then
  // (error() is then EEXIST; a file system without such a rename or hard
  // links leaves a moment between the test and the rename).
  bool Commit(const std::function<bool()>& lastCheck = nullptr, bool onlyWhereNothingIs = false);
  // After a commit, the status of the file committed, taken from its own
  // descriptor right after the rename (whatever the target's name holds
  // later); nullptr before, or when it could not be had.
  const struct stat* committed() const { return hasCommittedStat_ ? &committedStat_ : nullptr; }
  // Closes and removes the temporary file; the target is left as it was.
  void Discard();

 private:
  class Buffer;
  bool Fail(int error);
  bool WriteDirect(const char* data, std::size_t n);
  bool PutOutStream();
  // Locks what the temporary name holds now (a file a writer built there
  // in place of this object's) and makes it this object's descriptor;
  // false on failure.
  bool HoldNamedFile();
  // Gives the file open at `fd` the owner, group and mode of the target
  // (the group's bits only with the target's group).
  void KeepOwnerAndMode(int fd);

  std::string target_;
  std::string path_;
  int fd_ = -1;
  int error_ = 0;
  bool committed_ = false;
  bool hasCommittedStat_ = false;
  struct stat committedStat_ {};
  std::unique_ptr<Buffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
};

}  // namespace win
