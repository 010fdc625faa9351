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
#include <vector>

#include "platform/win/leftovers.h"

namespace win {

namespace {

// Writes all `n` bytes; 0, or the error number.
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

std::atomic<CommitCheck> commitCheck{nullptr};

}  // namespace

CommitCheck SetCommitCheck(CommitCheck check) { return commitCheck.exchange(check); }

int CreateFileBeside(const std::string& target, int flags, std::string* path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    *path = folder + ".~" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    fd = ::open(path->c_str(), flags | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  // Held while the maker keeps the file open: a later run's sweep of
  // leftovers (leftovers.h) leaves it alone.
  if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
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

ReplacingFile::ReplacingFile(const std::string& target) : target_(target) {
  fd_ = CreateFileBeside(target, O_WRONLY, &path_);
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

void ReplacingFile::Close() {
  if (fd_ >= 0 && ::close(fd_) != 0) Fail(errno);
  fd_ = -1;
}

bool ReplacingFile::Commit() {
  PutOutStream();
  Close();
  // The file at the temporary name is the one that takes the target's
  // place: a writer may have built it anew there (the compound-file layer
  // exchanges its work file with the file this object made), so the mode
  // and the sync go to what the name holds now, never to this object's
  // own descriptor.
  if (ok()) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat own;
    struct stat st;
    if (fd < 0) {
      Fail(errno);
    } else if (::fstat(fd, &own) != 0 || !S_ISREG(own.st_mode)) {
      Fail(EINVAL);
    } else if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               (own.st_mode & 07777) != (st.st_mode & 07777) && ::fchmod(fd, st.st_mode & 07777) != 0) {
      Fail(errno);
    } else if (::fsync(fd) != 0) {
      Fail(errno);
    }
    if (fd >= 0) ::close(fd);
  }
  const CommitCheck check = commitCheck.load();
  if (ok() && check != nullptr && !check()) Fail(ECANCELED);
  if (ok() && ::rename(path_.c_str(), target_.c_str()) != 0) Fail(errno);
  if (!ok()) {
    Discard();
    return false;
  }
  committed_ = true;
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
