#include "support/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <thread>

const char* const FileExtensionTable[8] = {".qxp", ".kxq", ".pdf", ".jpg", ".log", ".coo", ".krm", ""};
const char* const JobTextExtensionTable[8] = {".indd", ".kxt", ".pdf", ".jpg", ".log", ".coo", ".krm", ""};
const char* const FileKindExtensions[8] = {"qxp", "qxd", "kxq", "pdf", "log", "coo", "krm", ""};

namespace {

// Each function is written once over the string type S; the public
// overloads below forward to it.
template <class S>
using Char = typename S::value_type;

template <class S>
constexpr Char<S> C(char c) {
  return static_cast<Char<S>>(c);
}

std::string Narrow(const std::string& s) { return s; }
std::string Narrow(const TStrU& s) { return std::string(s.begin(), s.end()); }

template <class S>
bool EqualsNoCase(const S& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i]));
    const int y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

template <class S>
int StripTrailingCharT(S& s, Char<S> c) {
  std::size_t keep = s.size();
  while (keep > 1 && s[keep - 1] == c) --keep;
  const int removed = static_cast<int>(s.size() - keep);
  s.resize(keep);
  return removed;
}

// stat of the path without its trailing separators; false when empty.
template <class S>
bool StatPath(const S& path, struct stat* info) {
  if (path.empty()) return false;
  S copy = path;
  StripTrailingCharT(copy, C<S>(kPathSeparator));
  return ::stat(Narrow(copy).c_str(), info) == 0;
}

template <class S>
bool PathExistsT(const S& path, bool* isDirectory) {
  struct stat info;
  if (!StatPath(path, &info)) return false;
  if (isDirectory) *isDirectory = S_ISDIR(info.st_mode);
  return true;
}

template <class S>
S ExtractExtensionT(const S& path, bool keepDot) {
  const std::size_t dot = path.rfind(C<S>('.'));
  if (dot == S::npos || dot == 0) return S();
  const Char<S> before = path[dot - 1];
  if (before == C<S>('.') || before == C<S>('/') || before == C<S>('\\') || before == C<S>(':')) return S();
  S ext = path.substr(keepDot ? dot : dot + 1);
  if (ext.find(C<S>('/')) != S::npos || ext.find(C<S>('\\')) != S::npos) return S();
  return ext;
}

template <class S>
bool CutAtLastT(S& s, Char<S> c, bool dropChar) {
  const std::size_t pos = s.rfind(c);
  if (pos == S::npos) return false;
  s.erase(dropChar ? pos : pos + 1);
  return true;
}

template <class S>
S SplitPathT(const S& path, bool keepExtension) {
  const std::size_t sep = path.rfind(C<S>(kPathSeparator));
  if (sep == S::npos) return S();
  S name = path.substr(sep + 1);
  if (!keepExtension && !ExtractExtensionT(path, false).empty()) {
    if (!CutAtLastT(name, C<S>('.'), true)) return S();
  }
  return name;
}

template <class S>
bool SplitPathCheckedT(const S& path, S& dir, S& name, S* ext, bool keepExtension) {
  const S e = ExtractExtensionT(path, false);
  if (ext) *ext = e;
  const std::size_t sep = path.rfind(C<S>(kPathSeparator));
  if (sep == S::npos) return false;
  dir = path.substr(0, sep);
  name = path.substr(sep + 1);
  if (!keepExtension && !e.empty()) {
    if (!CutAtLastT(name, C<S>('.'), true)) return false;
  }
  return !dir.empty() && !name.empty();
}

template <class S>
bool StringsEqualT(const S& a, const S& b, bool exact) {
  if (exact) return a == b;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

template <class S>
bool ReplaceExtensionT(S& path, const S& newExt, bool sameLength, bool appendIfNone) {
  const S ext = !newExt.empty() && newExt[0] == C<S>('.') ? newExt.substr(1) : newExt;
  std::size_t dot = path.rfind(C<S>('.'));
  const std::size_t sep = path.find_last_of(S{C<S>('/'), C<S>('\\')});
  if (dot != S::npos && sep != S::npos && dot < sep) dot = S::npos;  // the dot names a folder
  if (dot == S::npos) {
    if (!appendIfNone) return false;
    path += C<S>('.');
    path += ext;
    return true;
  }
  if (sameLength && path.size() - dot != ext.size() + 1) return false;
  if (!StringsEqualT(path.substr(dot + 1), ext, false)) path.replace(dot + 1, S::npos, ext);
  return true;
}

template <class S>
int GetFileTypeIndexT(const S& extension) {
  for (int i = 0; i < 7; ++i) {
    if (EqualsNoCase(extension, FileExtensionTable[i])) return i;
  }
  return 7;
}

template <class S>
FileKind GetFileKindT(const S& extension, bool requireFour) {
  if (requireFour && extension.size() != 4) return kFileKindNone;
  if (extension.empty() || extension[0] != C<S>('.')) return kFileKindNone;
  const S word = extension.substr(1);
  for (uint32_t i = 0; i < 7; ++i) {
    if (EqualsNoCase(word, FileKindExtensions[i])) return static_cast<FileKind>(i);
  }
  return kFileKindNone;
}

template <class S>
uint32_t GetFileSizeT(const S& path) {
  struct stat info;
  if (!StatPath(path, &info)) return 0;
  const auto most = std::numeric_limits<uint32_t>::max();
  return static_cast<uint64_t>(info.st_size) > most ? most : static_cast<uint32_t>(info.st_size);
}

template <class S>
bool RemoveFileWithRetryT(const S& path, int retries) {
  if (!PathExistsT(path, nullptr)) return false;
  const std::string narrow = Narrow(path);
  for (int attempt = 0;; ++attempt) {
    if (::unlink(narrow.c_str()) == 0) return true;
    if (attempt >= retries) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kRemoveRetryPauseMilliseconds));
  }
}

template <class S>
S DirectoryPartT(const S& path) {
  const std::size_t sep = path.rfind(C<S>(kPathSeparator));
  return sep == S::npos ? S() : path.substr(0, sep);
}

}  // namespace

int StripTrailingChar(std::string& s, char c) { return StripTrailingCharT(s, c); }
int StripTrailingChar(TStrU& s, unsigned char c) { return StripTrailingCharT(s, c); }

bool PathExists(const std::string& path, bool* isDirectory, bool) { return PathExistsT(path, isDirectory); }
bool PathExists(const TStrU& path, bool* isDirectory, bool) { return PathExistsT(path, isDirectory); }

std::string ExtractExtension(const std::string& path, bool keepDot) { return ExtractExtensionT(path, keepDot); }
TStrU ExtractExtension(const TStrU& path, bool keepDot) { return ExtractExtensionT(path, keepDot); }

bool CutAtLast(std::string& s, char c, bool dropChar) { return CutAtLastT(s, c, dropChar); }
bool CutAtLast(TStrU& s, unsigned char c, bool dropChar) { return CutAtLastT(s, c, dropChar); }

std::string SplitPath(const std::string& path, bool keepExtension) { return SplitPathT(path, keepExtension); }
TStrU SplitPath(const TStrU& path, bool keepExtension) { return SplitPathT(path, keepExtension); }

bool SplitPathChecked(const std::string& path, std::string& dir, std::string& name, std::string* ext,
                      bool keepExtension) {
  return SplitPathCheckedT(path, dir, name, ext, keepExtension);
}
bool SplitPathChecked(const TStrU& path, TStrU& dir, TStrU& name, TStrU* ext, bool keepExtension) {
  return SplitPathCheckedT(path, dir, name, ext, keepExtension);
}

std::string AppendChar(const std::string& s, char c) { return s + c; }
TStrU AppendChar(const TStrU& s, unsigned char c) { return s + c; }

void CopyIfGiven(std::string* out, const std::string& s) {
  if (out) *out = s;
}
void CopyIfGiven(TStrU* out, const TStrU& s) {
  if (out) *out = s;
}

bool StringsEqual(const std::string& a, const std::string& b, bool exact) { return StringsEqualT(a, b, exact); }
bool StringsEqual(const TStrU& a, const TStrU& b, bool exact) { return StringsEqualT(a, b, exact); }

bool ReplaceExtension(std::string& path, const std::string& newExt, bool sameLength, bool appendIfNone) {
  return ReplaceExtensionT(path, newExt, sameLength, appendIfNone);
}
bool ReplaceExtension(TStrU& path, const TStrU& newExt, bool sameLength, bool appendIfNone) {
  return ReplaceExtensionT(path, newExt, sameLength, appendIfNone);
}

bool RemoveFileWithRetry(const std::string& path, int retries) { return RemoveFileWithRetryT(path, retries); }
bool RemoveFileWithRetry(const TStrU& path, int retries) { return RemoveFileWithRetryT(path, retries); }

bool ReadTempPath(std::string& out) {
  // The platform's temporary folder, in a buffer that holds 254 characters.
  const char* env = std::getenv("TMPDIR");
  const std::string folder = env && *env ? env : "/tmp";
  out = folder.size() <= 254 ? folder : std::string();
  StripTrailingChar(out, kPathSeparator);
  bool isDirectory = false;
  return PathExists(out, &isDirectory) && isDirectory;
}

std::string GetTempFolderPath() {
  std::string path;
  return ReadTempPath(path) ? path : std::string();
}

int GetFileTypeIndex(const std::string& extension) { return GetFileTypeIndexT(extension); }
int GetFileTypeIndex(const TStrU& extension) { return GetFileTypeIndexT(extension); }

FileKind GetFileKind(const std::string& extension, bool requireFour) { return GetFileKindT(extension, requireFour); }
FileKind GetFileKind(const TStrU& extension, bool requireFour) { return GetFileKindT(extension, requireFour); }

FileKind GetFileKindOfPath(const std::string& path, bool requireFour) {
  return GetFileKindT(ExtractExtensionT(path, true), requireFour);
}
FileKind GetFileKindOfPath(const TStrU& path, bool requireFour) {
  return GetFileKindT(ExtractExtensionT(path, true), requireFour);
}

int IntermediateFileMissing(const IntermediateFile& file) {
  if (!file.set) return -1;
  return PathExists(file.path) ? 0 : 1;
}

namespace CnvTools {

uint32_t GetFileSize(const std::string& path, bool) { return GetFileSizeT(path); }
uint32_t GetFileSize(const TStrU& path, bool) { return GetFileSizeT(path); }

std::string DirectoryPart(const std::string& path) { return DirectoryPartT(path); }
TStrU DirectoryPart(const TStrU& path) { return DirectoryPartT(path); }

std::string Concat(const std::string& a, const std::string& b) { return a + b; }
TStrU Concat(const TStrU& a, const TStrU& b) { return a + b; }

std::string BackslashString() { return std::string(1, kPathSeparator); }
std::string DotString() { return "."; }

}  // namespace CnvTools

int RemoveIntermediateFile(const IntermediateFile& file) {
  if (!file.set) return -1;
  return RemoveFileWithRetry(file.path, 3) ? 0 : 1;
}
