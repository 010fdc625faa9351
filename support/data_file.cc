#include "support/data_file.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "support/ini_storage.h"

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

// The index key of a name: every character lowered as CompareNoCase does.
std::string Lowered(const std::string& name) {
  std::string lowered(name);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

const char* ReadFailureText(IniStorage::ReadFailure failure) {
  switch (failure) {
    case IniStorage::ReadFailure::kNotRegular:
      return "it is not a regular file";
    case IniStorage::ReadFailure::kTooLarge:
      return "it is larger than 16 MiB";
    default:
      return "it cannot be read";
  }
}

}  // namespace

CDataFile::CDataFile() {
  CreateSection("", "");
  dirty_ = false;
}

CDataFile::~CDataFile() {
  if (dirty_) Save();
}

void CDataFile::Clear() {
  dirty_ = false;
  fileName_.clear();
  sections_.clear();
  sectionIndex_.clear();
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
  const IniStorage::ReadFailure failure = CurrentIniStorage().Read(fileName, text);
  if (failure == IniStorage::ReadFailure::kCannotOpen) {
    Report(1, "[CDataFile::Load] Unable to open file. Does it exist?");
    return false;
  }
  if (failure != IniStorage::ReadFailure::kNone) {
    Report(3, "[CDataFile::Load] File <%s> not loaded: %s.", fileName.c_str(), ReadFailureText(failure));
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
  if (!CurrentIniStorage().Write(fileName_, Render())) {
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
  if (name.empty()) sections_.push_front(Section{name, comment, {}, {}});
  else sections_.push_back(Section{name, comment, {}, {}});
  sectionIndex_[Lowered(name)] = name.empty() ? &sections_.front() : &sections_.back();
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
    found->keyIndex[Lowered(key)] = &found->keys.back();
    dirty_ = true;
    return true;
  }
  return false;
}

CDataFile::Section* CDataFile::GetSection(const std::string& name) {
  const auto found = sectionIndex_.find(Lowered(name));
  return found == sectionIndex_.end() ? nullptr : found->second;
}

CDataFile::Key* CDataFile::GetKey(const std::string& key, const std::string& section) {
  Section* found = GetSection(section);
  if (!found) return nullptr;
  const auto candidate = found->keyIndex.find(Lowered(key));
  return candidate == found->keyIndex.end() ? nullptr : candidate->second;
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
