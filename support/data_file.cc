#include "support/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

namespace {

bool IsOneOf(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

bool IsWhitespace(char c) { return IsOneOf(c, IniWhitespaceChars); }
bool IsSeparator(char c) { return IsOneOf(c, IniSeparatorChars); }

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// A formatted line gets a line feed unless it already ends a line.
void EndLine(std::string& text) {
  if (text.empty() || (text.back() != '\n' && text.back() != '\r')) text += '\n';
}

const char* LevelPrefix(int level) {
  static const char* const prefixes[] = {"<debug> ", "<info> ", "<warn> ", "<error> ", "<fatal> ", "<critical> "};
  return level >= 0 && level <= 5 ? prefixes[level] : "";
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole content of a file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& name, std::string& content) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
  if (!file) return false;
  char buffer[8192];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, got);
  return !std::ferror(file.get());
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  // Closes now and tells whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Replaces `target` by a file holding `content`: writes a temporary file
// in the same folder, flushes it to disk and renames it over the target.
// On failure the target is untouched and the temporary file is gone.
bool ReplaceFile(std::string target, const std::string& content) {
  struct stat info;
  if (::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    // Write through a symbolic link: replace the file it names, keep the link.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
    if (real) target = real.get();
  }
  const bool exists = ::stat(target.c_str(), &info) == 0;

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  FdCloser closer(fd);

  bool ok = !exists || ::fchmod(fd, info.st_mode & 07777) == 0;
  for (std::size_t done = 0; ok && done < content.size();) {
    const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) ok = false;
    else done += static_cast<std::size_t>(wrote);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = closer.Close() && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

CDataFile::CDataFile() { sections_.emplace_back(); }

CDataFile::~CDataFile() {
  if (dirty_) Save();
}

void CDataFile::Clear() {
  dirty_ = false;
  fileName_.clear();
  sections_.clear();
  trailingComment_.clear();
}

void CDataFile::SetFileName(const std::string& name) {
  if (!fileName_.empty() && CompareNoCase(fileName_, name) != 0) {
    dirty_ = true;
    Report(2, "[CDataFile::SetFileName] The filename has changed from <%s> to <%s>.", fileName_.c_str(),
           name.c_str());
  }
  fileName_ = name;
}

bool CDataFile::Load(const std::string& fileName) {
  std::string text;
  if (!ReadWholeFile(fileName, text)) {
    Report(1, "[CDataFile::Load] Unable to open file. Does it exist?");
    return false;
  }

  const bool wasDirty = dirty_;
  const unsigned savedFlags = flags_;
  flags_ |= kAutoCreateSections | kAutoCreateKeys;

  std::string section;  // the current section's name; keys before any header go to the unnamed one
  std::string pending;  // comment lines waiting for the next section or key
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    line.resize(std::strlen(line.c_str()));  // a NUL ends the line's text
    Trim(line);
    if (line.empty()) continue;

    if (IsOneOf(line[0], IniCommentChars)) {
      pending += '\n';
      pending += line;
    } else if (line[0] == '[') {
      // A header's trailing separators go, as they always have.
      while (!line.empty() && (IsWhitespace(line.back()) || IsSeparator(line.back()))) line.pop_back();
      line.erase(0, 1);
      const std::size_t close = line.rfind(']');
      if (close != std::string::npos) line.erase(close, 1);
      CreateSection(line, pending);
      section = line;
      pending.clear();
    } else {
      const std::string key = GetNextWord(line);
      if (!key.empty() && !line.empty()) {
        SetValue(key, line, pending, section);
        pending.clear();
      }
    }
  }
  trailingComment_ += pending;

  flags_ = (flags_ & ~(kAutoCreateSections | kAutoCreateKeys)) |
           (savedFlags & (kAutoCreateSections | kAutoCreateKeys));
  dirty_ = wasDirty;  // what was read is what the file holds
  SetFileName(fileName);
  return true;
}

std::string CDataFile::Render() const {
  std::ostringstream out;
  for (const Section& section : sections_) {
    const bool commented = !section.comment.empty();
    if (commented) WriteLn(out, "\n%s", CommentStr(section.comment).c_str());
    if (!section.name.empty()) WriteLn(out, "%s[%s]", commented ? "" : "\n", section.name.c_str());
    for (const Key& key : section.keys) {
      if (key.key.empty() || key.value.empty()) continue;
      const char* n = key.comment.empty() ? "" : "\n";
      // The explicit line feed ends the line even when the value ends in a
      // carriage return.
      WriteLn(out, "%s%s%s%s%c%s\n", n, CommentStr(key.comment).c_str(), n, key.key.c_str(), '=',
              key.value.c_str());
    }
  }
  if (!trailingComment_.empty()) WriteLn(out, "\n%s", CommentStr(trailingComment_).c_str());
  return out.str();
}

bool CDataFile::Save() {
  if (KeyCount() == 0 && sections_.empty()) {
    Report(1, "[CDataFile::Save] Nothing to save.");
    return false;
  }
  if (fileName_.empty()) {
    Report(3, "[CDataFile::Save] No filename has been set.");
    return false;
  }
  if (!ReplaceFile(fileName_, Render())) {
    Report(3, "[CDataFile::Save] Unable to save file.");
    return false;
  }
  dirty_ = false;
  return true;
}

bool CDataFile::CreateSection(const std::string& name, const std::string& comment) {
  if (name.find('\n') != std::string::npos) return false;
  if (GetSection(name)) {
    Report(1, "[CDataFile::CreateSection] Section <%s> allready exists. Aborting.", name.c_str());
    return false;
  }
  // The unnamed section is written without a header, so it must come first.
  if (name.empty()) sections_.push_front(Section{name, comment, {}});
  else sections_.push_back(Section{name, comment, {}});
  dirty_ = true;
  return true;
}

bool CDataFile::SetValue(const std::string& key, const std::string& value, const std::string& comment,
                         const std::string& section) {
  if (key.find('\n') != std::string::npos || value.find('\n') != std::string::npos) return false;
  Section* found = GetSection(section);
  if (!found) {
    if (!(flags_ & kAutoCreateSections)) return false;
    if (!CreateSection(section, "")) return false;
    found = GetSection(section);
    if (!found) return false;
  }
  if (Key* existing = GetKey(key, section)) {
    existing->value = value;
    existing->comment = comment;
    dirty_ = true;
    return true;
  }
  if (!value.empty() && (flags_ & kAutoCreateKeys)) {
    found->keys.push_back(Key{key, value, comment});
    dirty_ = true;
    return true;
  }
  return false;
}

CDataFile::Section* CDataFile::GetSection(const std::string& name) {
  for (Section& section : sections_) {
    if (CompareNoCase(section.name, name) == 0) return &section;
  }
  return nullptr;
}

CDataFile::Key* CDataFile::GetKey(const std::string& key, const std::string& section) {
  Section* found = GetSection(section);
  if (!found) return nullptr;
  for (Key& candidate : found->keys) {
    if (CompareNoCase(candidate.key, key) == 0) return &candidate;
  }
  return nullptr;
}

bool CDataFile::KeyExists(const std::string& key, const std::string& section) {
  return GetKey(key, section) != nullptr;
}

std::string CDataFile::GetValue(const std::string& key, const std::string& section) {
  const Key* found = GetKey(key, section);
  return found ? found->value : std::string();
}

std::string CDataFile::GetString(const std::string& key, const std::string& section) {
  return GetValue(key, section);
}

bool CDataFile::GetBool(const std::string& key, const std::string& section) {
  const std::string value = GetValue(key, section);
  if (value.find('1') != std::string::npos) return true;
  return CompareNoCase(value, "true") == 0 || CompareNoCase(value, "yes") == 0;
}

int CDataFile::KeyCount() const {
  std::size_t count = 0;
  for (const Section& section : sections_) count += section.keys.size();
  return static_cast<int>(count);
}

int CDataFile::SectionCount() const { return static_cast<int>(sections_.size()); }

void CDataFile::Trim(std::string& text) {
  std::size_t begin = 0;
  while (begin < text.size() && (IsWhitespace(text[begin]) || IsSeparator(text[begin]))) ++begin;
  std::size_t end = text.size();
  while (end > begin && IsWhitespace(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
}

std::string CDataFile::GetNextWord(std::string& line) {
  std::string word;
  const std::size_t separator = line.find_first_of(IniSeparatorChars);
  if (separator == std::string::npos) {
    word.swap(line);
  } else {
    word = line.substr(0, separator);
    line.erase(0, separator + 1);
  }
  Trim(word);
  return word;
}

std::string CDataFile::CommentStr(const std::string& comment) {
  std::string text = comment;
  Trim(text);
  if (text.empty()) return text;
  // Every line must read back as a comment line, not as a key or a header.
  std::string result;
  for (std::size_t pos = 0; pos <= text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (pos > 0) result += '\n';
    if (!line.empty() && !IsOneOf(line[0], IniCommentChars)) result += "; ";
    result += line;
    pos = end + 1;
  }
  return result;
}

int CDataFile::CompareNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return 1;
  }
  return 0;
}

void CDataFile::Report(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = FormatV(format, args);
  va_end(args);
  EndLine(line);
  line.insert(0, LevelPrefix(level));
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

int CDataFile::WriteLn(std::ostream& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = FormatV(format, args);
  va_end(args);
  EndLine(line);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  return static_cast<int>(line.size());
}
