#include "platform/win/replacing_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/win/file_notes.h"
#include "platform/win/leftovers.h"

namespace win {

namespace {

std::atomic<CommitCheck> commitCheck{nullptr};

// Puts the file at `from` at `to` only when nothing is there: 0, EEXIST
// when something is, or the system's error.  A rename that refuses an
// existing target; where the file system has no such rename, a link and an
// unlink; where it has no links either, a test and a rename, which a file
// put there in between does not survive.
int RenameWhereNothingIs(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The mode a file made in `folder` beside `target` is created with: no
// wider than a regular file already there (its group's bits only when the
// new file gets that group, the owner's read and write kept), else 0666;
// the umask applies on top.
mode_t ModeBeside(const std::string& folder, const std::string& target) {
  struct stat st;
  if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0666;
  // A new file takes a set-group-id folder's group, else the process's.
  struct stat dir;
  const bool folderGroup = ::stat(folder.empty() ? "." : folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISGID) != 0;
  const gid_t group = folderGroup ? dir.st_gid : ::getegid();
  return 0600 | (st.st_mode & (group == st.st_gid ? 0066 : 0006));
}

}  // namespace

int WriteAll(int fd, const char* data, std::size_t n) {
  for (std::size_t done = 0; done < n;) {
    const ssize_t wrote = ::write(fd, data + done, n - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return errno;
    if (wrote == 0) return EIO;
    done += static_cast<std::size_t>(wrote);
  }
  return 0;
}

CommitCheck SetCommitCheck(CommitCheck check) { return commitCheck.exchange(check); }

int CreateFileBeside(const std::string& target, int flags, std::string* path, const char* suffix,
                     const std::string& like) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const mode_t mode = ModeBeside(folder, like.empty() ? target : like);
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    *path = folder + ".~" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + suffix;
    fd = ::open(path->c_str(), flags | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
    // Held while the maker keeps the file open: a later run's sweep of
    // leftovers (leftovers.h) leaves it alone.  A sweep that took the lock
    // in the instant before may remove the file: another name is taken.
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(fd);
      ::unlink(path->c_str());
      fd = -1;
      errno = EWOULDBLOCK;
    }
  }
  if (fd < 0) path->clear();
  return fd;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0);
}

// The stream's buffer: 64 KiB, put out through the owner's Write.
class ReplacingFile::Buffer final : public std::streambuf {
 public:
  explicit Buffer(ReplacingFile* file) : file_(file), bytes_(1 << 16) {
    setp(bytes_.data(), bytes_.data() + bytes_.size());
  }
  int sync() override {
    const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
    setp(bytes_.data(), bytes_.data() + bytes_.size());
    return n == 0 || file_->WriteDirect(bytes_.data(), n) ? 0 : -1;
  }
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

 private:
  ReplacingFile* file_;
  std::vector<char> bytes_;
};

ReplacingFile::ReplacingFile(const std::string& target, const char* suffix, const std::string& like)
    : target_(target) {
  fd_ = CreateFileBeside(target, O_WRONLY, &path_, suffix, like);
  if (fd_ < 0) Fail(errno);
}

ReplacingFile::~ReplacingFile() {
  if (!committed_) Discard();
}

std::string ReplacingFile::Reason() const { return ok() ? std::string() : std::strerror(error_); }

bool ReplacingFile::Fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  return false;
}

bool ReplacingFile::WriteDirect(const char* data, std::size_t n) {
  if (!ok()) return false;
  const int error = WriteAll(fd_, data, n);
  return error == 0 || Fail(error);
}

bool ReplacingFile::PutOutStream() {
  if (!stream_) return ok();
  stream_->flush();
  return stream_->good() ? ok() : Fail(EIO);
}

bool ReplacingFile::Write(const void* data, std::size_t n) {
  return PutOutStream() && WriteDirect(static_cast<const char*>(data), n);
}

std::ostream& ReplacingFile::stream() {
  if (!stream_) {
    buffer_ = std::make_unique<Buffer>(this);
    stream_ = std::make_unique<std::ostream>(buffer_.get());
    if (!ok()) stream_->setstate(std::ios::badbit);
  }
  return *stream_;
}

bool ReplacingFile::HoldNamedFile() {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  struct stat named;
  struct stat own;
  if (::fstat(fd, &named) != 0 || !S_ISREG(named.st_mode)) return ::close(fd), Fail(EINVAL);
  if (::fstat(fd_, &own) == 0 && own.st_dev == named.st_dev && own.st_ino == named.st_ino) return ::close(fd), true;
  // Another process's sweep of leftovers holds the lock for an instant
  // while it looks at the file; it may remove it then.
  int error = 0;
  for (int attempt = 0; attempt < 200; ++attempt) {
    error = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (error != EWOULDBLOCK && error != EINTR) break;
    ::usleep(5000);
  }
  struct stat now;
  if (error == 0 && (::stat(path_.c_str(), &now) != 0 || now.st_dev != named.st_dev || now.st_ino != named.st_ino))
    error = ENOENT;
  if (error != 0) return ::close(fd), Fail(error);
  ::close(fd_);
  fd_ = fd;
  return true;
}

void ReplacingFile::KeepOwnerAndMode(int fd) {
  struct stat target;
  struct stat own;
  if (::stat(target_.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) return;
  if (::fstat(fd, &own) != 0) {
    Fail(errno);
    return;
  }
  if (own.st_uid != target.st_uid || own.st_gid != target.st_gid) {
    // The owner only the superuser may give; the group, one of the
    // process's own.
    int error = ::fchown(fd, target.st_uid, target.st_gid) == 0 ? 0 : errno;
    if (error != 0 && own.st_gid != target.st_gid) ::fchown(fd, static_cast<uid_t>(-1), target.st_gid);
    // A change of owner may have cleared the set-user and set-group bits.
    if (::fstat(fd, &own) != 0) {
      Fail(errno);
      return;
    }
    if (error != 0) {
      NoteFile("Warning: \"" + target_ + "\" was replaced by a file of owner " + std::to_string(own.st_uid) +
               " and group " + std::to_string(own.st_gid) + ", not those of the file it replaced (owner " +
               std::to_string(target.st_uid) + ", group " + std::to_string(target.st_gid) +
               "): " + std::strerror(error));
    }
  }
  // The group's bits only for the target's group: another group may not
  // read what the target's could.
  const mode_t mode = target.st_mode & (own.st_gid == target.st_gid ? 07777 : 07707);
  if ((own.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0) Fail(errno);
}

bool ReplacingFile::Commit(const std::function<bool()>& lastCheck, bool onlyWhereNothingIs) {
  PutOutStream();
  // The file at the temporary name is the one that takes the target's
  // place: a writer may have built it anew there (the compound-file layer
  // exchanges its work file with the file this object made), so the owner,
  // mode and sync go to what the name holds now.  It stays locked until it
  // has the target's name: a sweep of leftovers leaves it alone.
  if (ok() && HoldNamedFile()) KeepOwnerAndMode(fd_);
  if (ok() && ::fsync(fd_) != 0) Fail(errno);
  if (ok() && lastCheck && !lastCheck()) Fail(ECANCELED);
  const CommitCheck check = commitCheck.load();
  if (ok() && check != nullptr && !check()) Fail(ECANCELED);
  if (ok()) {
    const int renamed = onlyWhereNothingIs ? RenameWhereNothingIs(path_, target_)
                                           : ::rename(path_.c_str(), target_.c_str()) == 0 ? 0 : errno;
    if (renamed != 0) Fail(renamed);
  }
  if (!ok()) {
    Discard();
    return false;
  }
  committed_ = true;
  // The file written, whatever the target's name holds by the time anyone
  // looks at it again.
  hasCommittedStat_ = ::fstat(fd_, &committedStat_) == 0;
  ::close(fd_);
  fd_ = -1;
  // The rename itself lasts only once the folder is synced; the target is
  // replaced either way, so a failed sync is told, not failed.
  const std::size_t slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int synced = dir < 0 || (::fsync(dir) != 0 && errno != EINVAL) ? errno : 0;
  if (dir >= 0) ::close(dir);
  if (synced != 0) {
    NoteFile("WARNING: the folder \"" + folder + "\" was not synced after \"" + target_ +
             "\" was written (" + std::strerror(synced) + "): the file is in place but may not survive a power cut");
  }
  SweepLeftovers(target_);
  return true;
}

void ReplacingFile::Discard() {
  if (stream_) stream_->setstate(std::ios::badbit);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace win
