#include "platform/win/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace win {
namespace {

LeftoverReporter g_reporter = nullptr;

// The bytes that tell an output's kind.
constexpr std::size_t kMarkSize = 16;
// How every host document begins.
constexpr char kDocumentMark[] = "{\"format\": \"xthost document\"";

// Up to kMarkSize bytes from the start of the file open at `fd`.
std::string Mark(int fd) {
  char bytes[kMarkSize];
  ssize_t n;
  do {
    n = ::pread(fd, bytes, sizeof bytes, 0);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? std::string(bytes, static_cast<std::size_t>(n)) : std::string();
}

bool ProcessGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

struct Fd {
  explicit Fd(int value) : fd(value) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int fd;
};

}  // namespace

void SetLeftoverReporter(LeftoverReporter reporter) { g_reporter = reporter; }

bool IsBesideName(const std::string& name, long* pid) {
  if (name.size() < 5 || name.compare(0, 2, ".~") != 0) return false;
  const std::size_t dash = name.find('-', 2);
  if (dash == std::string::npos || dash == 2 || dash + 1 == name.size()) return false;
  for (std::size_t i = 2; i < name.size(); ++i) {
    if (i != dash && (name[i] < '0' || name[i] > '9')) return false;
  }
  if (dash - 2 > 9) return false;
  *pid = std::stol(name.substr(2, dash - 2));
  return true;
}

void SweepLeftovers(const std::string& made) {
  const std::size_t slash = made.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : made.substr(0, slash + 1);
  std::string kind;
  {
    Fd own(::open(made.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (own.fd >= 0) kind = Mark(own.fd);
  }
  {
    // Once per folder, kind and process: a run writing many targets into
    // one folder reads it once.
    static std::mutex lock;
    static std::set<std::string> swept;
    const std::lock_guard<std::mutex> hold(lock);
    if (!swept.insert(folder + '\0' + kind).second) return;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), &::closedir);
  if (!dir) return;
  std::vector<std::string> names;
  for (const dirent* entry; (entry = ::readdir(dir.get())) != nullptr;) {
    long pid = 0;
    if (IsBesideName(entry->d_name, &pid) && ProcessGone(pid)) names.push_back(entry->d_name);
  }
  for (const std::string& name : names) {
    const std::string path = folder + name;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // A lock held: some process still writes it.
    if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0) continue;
    const std::string mark = Mark(fd.fd);
    const bool document = !mark.empty() && std::string(kDocumentMark).compare(0, mark.size(), mark) == 0;
    const bool ours = st.st_size == 0 || (!document && kind.size() == kMarkSize && mark == kind);
    if (ours && ::unlink(path.c_str()) == 0) continue;
    if (g_reporter != nullptr) g_reporter(path);
  }
}

}  // namespace win
