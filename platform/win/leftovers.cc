#include "platform/win/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/win/file_notes.h"

namespace win {
namespace {

// The bytes that tell an output's kind.
constexpr std::size_t kMarkSize = 16;

// Up to kMarkSize bytes from the start of the file open at `fd`.
std::string Mark(int fd) {
  char bytes[kMarkSize];
  ssize_t n;
  do {
    n = ::pread(fd, bytes, sizeof bytes, 0);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? std::string(bytes, static_cast<std::size_t>(n)) : std::string();
}

// A file's bytes from its start, one at a time.
class Bytes {
 public:
  explicit Bytes(int fd) : fd_(fd) {}
  // The next byte without taking it; -1 at the end (or when it cannot be read).
  int Peek() {
    if (at_ == size_) {
      ssize_t n;
      do {
        n = ::pread(fd_, buffer_, sizeof buffer_, offset_);
      } while (n < 0 && errno == EINTR);
      at_ = 0;
      size_ = n > 0 ? static_cast<std::size_t>(n) : 0;
      offset_ += static_cast<off_t>(size_);
      if (size_ == 0) return -1;
    }
    return static_cast<unsigned char>(buffer_[at_]);
  }
  int Next() {
    const int c = Peek();
    if (c >= 0) ++at_;
    return c;
  }
  // The next byte after JSON white space.
  int PeekPastSpace() {
    int c;
    while ((c = Peek()) == ' ' || c == '\t' || c == '\n' || c == '\r') Next();
    return c;
  }

 private:
  int fd_;
  off_t offset_ = 0;
  char buffer_[4096];
  std::size_t at_ = 0;
  std::size_t size_ = 0;
};

// How far a JSON value could be read: whole, not JSON, or cut off by the
// end of the bytes.
enum class Scan { kWhole, kBad, kCut };

// A string whose opening quote was taken; its first bytes in *text (an
// escape of a character above 0x7F as 0xFF, which no name here holds).
Scan ReadString(Bytes& in, std::string* text) {
  for (;;) {
    int c = in.Next();
    if (c < 0) return Scan::kCut;
    if (c == '"') return Scan::kWhole;
    if (c < 0x20) return Scan::kBad;
    if (c == '\\') {
      c = in.Next();
      if (c < 0) return Scan::kCut;
      if (c == 'u') {
        int value = 0;
        for (int i = 0; i < 4; ++i) {
          const int h = in.Next();
          if (h < 0) return Scan::kCut;
          if (!std::isxdigit(h)) return Scan::kBad;
          value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
        }
        c = value < 0x80 ? value : 0xFF;
      } else if (c == 0 || std::strchr("\"\\/bfnrt", c) == nullptr) {
        return Scan::kBad;
      } else if (std::strchr("bfnrt", c) != nullptr) {
        c = 0x01;  // a control character, which no name here holds
      }
    }
    // Longer than any name compared: never equal to one.
    if (text != nullptr && text->size() <= 16) text->push_back(static_cast<char>(c));
  }
}

// Skips one value: a string, an object or array (not checked within), or
// a number or word.
Scan SkipValue(Bytes& in) {
  int c = in.PeekPastSpace();
  if (c < 0) return Scan::kCut;
  if (c == '"') {
    in.Next();
    return ReadString(in, nullptr);
  }
  if (c == '{' || c == '[') {
    for (int depth = 0;;) {
      c = in.Next();
      if (c < 0) return Scan::kCut;
      if (c == '"') {
        const Scan string = ReadString(in, nullptr);
        if (string != Scan::kWhole) return string;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return Scan::kWhole;
      }
    }
  }
  bool any = false;
  while ((c = in.Peek()) > 0 && std::strchr(",}] \t\n\r", c) == nullptr) {
    in.Next();
    any = true;
  }
  return c < 0 ? Scan::kCut : any ? Scan::kWhole : Scan::kBad;
}

// Whether the file open at `fd` is a host document as the host reads one (a
// JSON object, after an optional byte order mark, whose "format" is
// "xthost document", however it is spaced or written), or may be the start
// of one: its bytes end before its object does.
bool MayBeDocument(int fd) {
  Bytes in(fd);
  if (in.Peek() == 0xEF) {
    in.Next();
    for (const int expected : {0xBB, 0xBF}) {
      const int c = in.Next();
      if (c != expected) return c < 0;
    }
  }
  int c = in.PeekPastSpace();
  if (c != '{') return c < 0;
  in.Next();
  c = in.PeekPastSpace();
  if (c == '}') return false;
  for (;;) {
    if (c != '"') return c < 0;
    in.Next();
    std::string key;
    Scan scan = ReadString(in, &key);
    if (scan != Scan::kWhole) return scan == Scan::kCut;
    c = in.PeekPastSpace();
    if (c != ':') return c < 0;
    in.Next();
    if (key == "format" && in.PeekPastSpace() == '"') {
      in.Next();
      std::string value;
      scan = ReadString(in, &value);
      if (scan == Scan::kWhole && value == "xthost document") return true;
    } else {
      scan = SkipValue(in);
    }
    if (scan != Scan::kWhole) return scan == Scan::kCut;
    c = in.PeekPastSpace();
    if (c != ',') return c < 0;
    in.Next();
    c = in.PeekPastSpace();
  }
}

// Whether the file open at `fd` holds nothing of a document: no bytes, or
// only zeros (what a file grown but never written holds).
bool Blank(int fd) {
  Bytes in(fd);
  int c;
  while ((c = in.Next()) == 0) {
  }
  return c < 0;
}

// Whether the file open at `fd` is the host's log of a staged PDF: its
// first line as the host writes it, a stamp and " PDF export of document ".
bool IsPdfLog(int fd) {
  static const char kForm[] = "0000-00-00 00:00:00 PDF export of document ";
  Bytes in(fd);
  for (const char* at = kForm; *at != '\0'; ++at) {
    const int c = in.Next();
    if (*at == '0' ? c < 0 || !std::isdigit(c) : c != *at) return false;
  }
  return true;
}

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

bool IsBesideName(const std::string& name, long* pid, BesideKind* kind) {
  if (name.size() < 5 || name.compare(0, 2, ".~") != 0) return false;
  const std::size_t dash = name.find('-', 2);
  if (dash == std::string::npos || dash == 2 || dash - 2 > 9) return false;
  std::size_t end = dash + 1;
  while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
  if (end == dash + 1) return false;
  const std::string suffix = name.substr(end);
  BesideKind found;
  if (suffix.empty()) {
    found = BesideKind::kOutput;
  } else if (suffix == kWorkingDocumentSuffix) {
    found = BesideKind::kWorkingDocument;
  } else if (suffix == ".pdf") {
    found = BesideKind::kOutput;
  } else if (suffix == "_pdf.log") {
    found = BesideKind::kPdfLog;
  } else {
    return false;
  }
  for (std::size_t i = 2; i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  *pid = std::stol(name.substr(2, dash - 2));
  if (kind != nullptr) *kind = found;
  return true;
}

void SweepLeftovers(const std::string& made) {
  const std::size_t slash = made.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : made.substr(0, slash + 1);
  std::string kind;
  // The time now as the folder's file system gives it (the output just
  // written there), so that another machine's clock does not age what it
  // writes; the earlier of that and this machine's clock.
  std::time_t now = std::time(nullptr);
  {
    Fd own(::open(made.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (own.fd >= 0) {
      kind = Mark(own.fd);
      if (::fstat(own.fd, &st) == 0 && st.st_mtime < now) now = st.st_mtime;
    }
  }
  {
    // At most once a minute per folder and kind: a run writing many
    // targets into one folder reads it once, and one that runs for weeks
    // still meets what other runs leave there later.
    static std::mutex lock;
    static std::map<std::string, std::chrono::steady_clock::time_point> swept;
    const std::lock_guard<std::mutex> hold(lock);
    const auto steady = std::chrono::steady_clock::now();
    const auto last = swept.find(folder + '\0' + kind);
    if (last != swept.end() && steady - last->second < std::chrono::minutes(1)) return;
    swept[folder + '\0' + kind] = steady;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), &::closedir);
  if (!dir) return;
  std::vector<std::pair<std::string, BesideKind>> names;
  for (const dirent* entry; (entry = ::readdir(dir.get())) != nullptr;) {
    long pid = 0;
    BesideKind beside = BesideKind::kOutput;
    if (IsBesideName(entry->d_name, &pid, &beside)) names.emplace_back(entry->d_name, beside);
  }
  for (const auto& [name, beside] : names) {
    const std::string path = folder + name;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // Written lately: a live run may be about to take it, wherever it runs.
    if (st.st_mtime > now - kLeftoverSeconds) continue;
    // A lock held: some process still writes it.
    if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0) continue;
    bool ours = Blank(fd.fd);
    if (beside == BesideKind::kWorkingDocument) {
      ours = ours || MayBeDocument(fd.fd);
    } else if (beside == BesideKind::kPdfLog) {
      ours = ours || IsPdfLog(fd.fd);
    } else {
      // Of the output's kind: its mark, or, when shorter than a mark, the
      // mark's first bytes; or the host's log of a PDF before it took its
      // name (its stamp differs from log to log).
      const std::string mark = Mark(fd.fd);
      ours = ours || (kind.size() == kMarkSize && !mark.empty() && kind.compare(0, mark.size(), mark) == 0 &&
                      !MayBeDocument(fd.fd)) || IsPdfLog(fd.fd);
    }
    if (ours && ::unlink(path.c_str()) == 0) continue;
    if (beside != BesideKind::kOutput) {
      NoteFile("Kept \"" + path + "\": named as a file a run leaves beside its target, but not holding one");
    } else {
      NoteFile("Kept \"" + path +
               "\": a file left beside the target by a run that stopped (it may be an earlier document set aside)");
    }
  }
}

}  // namespace win
