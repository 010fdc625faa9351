#include "support/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// Unbuffered: every insertion goes to the file as it comes.
class LogFileStream::Buffer final : public std::streambuf {
 public:
  ~Buffer() override { Close(); }
  int fd = -1;

  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* data, std::streamsize n) override {
    std::streamsize done = 0;
    while (fd >= 0 && done < n) {
      const ssize_t wrote = ::write(fd, data + done, static_cast<size_t>(n - done));
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) break;
      done += wrote;
    }
    return done;
  }
};

LogFileStream::LogFileStream() : std::ostream(nullptr), buffer_(std::make_unique<Buffer>()) {
  rdbuf(buffer_.get());
  setstate(std::ios::badbit);
}

LogFileStream::~LogFileStream() = default;

std::string LogFileStream::FailureText(int error) {
  return error == ELOOP ? "a link is at its name" : error != 0 ? std::strerror(error) : "unknown reason";
}

bool LogFileStream::Open(const std::string& path) {
  close();
  // Not emptied before it is known to be a file of one name.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat st;
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = EISDIR;
  } else if (st.st_nlink > 1) {
    error = ELOOP;
  } else if (::ftruncate(fd, 0) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::close(fd);
    errno = error;
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);  // blocking writes from here on
  buffer_->fd = fd;
  clear();
  return true;
}

bool LogFileStream::is_open() const { return buffer_->fd >= 0; }

void LogFileStream::close() {
  buffer_->Close();
  setstate(std::ios::badbit);
}
