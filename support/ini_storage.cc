#include "support/ini_storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/win/replacing_file.h"

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and tells whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

class FileStorage : public IniStorage {
 public:
  ReadFailure Read(const std::string& name, std::string& content) override {
    // Without O_NONBLOCK opening a pipe would wait for a writer.
    Fd file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return ReadFailure::kCannotOpen;
    struct stat info;
    if (::fstat(file.get(), &info) != 0) return ReadFailure::kReadError;
    if (!S_ISREG(info.st_mode)) return ReadFailure::kNotRegular;
    if (static_cast<unsigned long long>(info.st_size) > kMaxIniFileSize) return ReadFailure::kTooLarge;
    std::string bytes;
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return ReadFailure::kReadError;
      if (got == 0) break;
      bytes.append(buffer, static_cast<std::size_t>(got));
      // The file may grow while it is read.
      if (bytes.size() > kMaxIniFileSize) return ReadFailure::kTooLarge;
    }
    content.swap(bytes);
    return ReadFailure::kNone;
  }

  bool Write(const std::string& name, const std::string& content) override {
    return ReplaceFileContent(name, content);
  }
};

IniStorage* g_storage = nullptr;  // null: the file system

}  // namespace

IniStorage& CurrentIniStorage() {
  static FileStorage files;
  return g_storage ? *g_storage : files;
}

IniStorage* SetIniStorage(IniStorage* storage) {
  IniStorage* previous = g_storage;
  g_storage = storage;
  return previous;
}

bool ReplaceFileContent(const std::string& name, const std::string& content) {
  std::string target = name;
  struct stat info;
  if (::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    // Write through a symbolic link: replace the file it names, keep the link.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
    if (real) target = real.get();
  }
  win::ReplacingFile file(target);
  return file.Write(content.data(), content.size()) && file.Commit();
}
