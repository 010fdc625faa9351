// Path functions and small string functions shared by the file-system tree,
// the logs, the file records and the conversion server.
//
// Paths are 8-bit texts; the separator is '/'.  Extension extraction also
// treats '\' as a separator, so a stored Windows path never yields a folder
// name as its extension.  Every function exists for std::string and TStrU
// with the same behaviour.  None of them throws or reports: missing
// separators, dots and files give the empty or false results stated below.
#pragma once

#include <cstdint>
#include <string>

#include "support/tstru.h"

// The path separator of this platform.
constexpr char kPathSeparator = '/';

// Extension table of the conversion server and folder code, indexed 0-7
// (7: no extension, the empty text); GetFileTypeIndex searches it.
extern const char* const FileExtensionTable[8];
// Its counterpart for the second document family, the server's job texts.
extern const char* const JobTextExtensionTable[8];

// The kind of a file record, stored as an unsigned 32-bit value.
enum FileKind : uint32_t {
  kFileKindQxp = 0,
  kFileKindQxd = 1,
  kFileKindKxq = 2,
  kFileKindPdf = 3,
  kFileKindLog = 4,
  kFileKindCoo = 5,
  kFileKindKrm = 6,
  kFileKindNone = 7,
};
// The extension word of each FileKind, without the dot; entry 7 is empty.
extern const char* const FileKindExtensions[8];

// Removes the run of `c` at the end of `s` and returns how many characters
// went; a string made only of `c` keeps its first one.
int StripTrailingChar(std::string& s, char c);
int StripTrailingChar(TStrU& s, unsigned char c);

// Whether a file or folder exists at `path` (trailing separators ignored, a
// lone "/" kept).  Sets *isDirectory when given and it exists.  `flag` does
// not change the result.
bool PathExists(const std::string& path, bool* isDirectory = nullptr, bool flag = false);
bool PathExists(const TStrU& path, bool* isDirectory = nullptr, bool flag = false);

// The text after the last dot (from the dot with keepDot); empty when there
// is no dot, the dot comes first, follows '.', '/', '\' or ':', or lies in a
// folder name.
std::string ExtractExtension(const std::string& path, bool keepDot);
TStrU ExtractExtension(const TStrU& path, bool keepDot);

// Finds the last `c`: false when there is none; otherwise cuts `s` after it
// (keeping it) or, with dropChar, at it, and returns true.
bool CutAtLast(std::string& s, char c, bool dropChar);
bool CutAtLast(TStrU& s, unsigned char c, bool dropChar);

// The file-name part after the last separator, without its extension unless
// keepExtension; empty when the path has no separator.
std::string SplitPath(const std::string& path, bool keepExtension);
TStrU SplitPath(const TStrU& path, bool keepExtension);

// Splits at the last separator into `dir` and `name` (the name without its
// extension unless keepExtension); stores the extension in *ext when given.
// False when there is no separator (dir and name untouched) or when dir or
// name is empty.
bool SplitPathChecked(const std::string& path, std::string& dir, std::string& name, std::string* ext,
                      bool keepExtension);
bool SplitPathChecked(const TStrU& path, TStrU& dir, TStrU& name, TStrU* ext, bool keepExtension);

// A copy of `s` with `c` appended.
std::string AppendChar(const std::string& s, char c);
TStrU AppendChar(const TStrU& s, unsigned char c);

// *out = s when out is given.
void CopyIfGiven(std::string* out, const std::string& s);
void CopyIfGiven(TStrU* out, const TStrU& s);

// With `exact` plain equality; otherwise equality after lower-casing each
// byte with tolower (current C locale).
bool StringsEqual(const std::string& a, const std::string& b, bool exact);
bool StringsEqual(const TStrU& a, const TStrU& b, bool exact);

// Gives `path` the extension `newExt` (a leading dot of newExt ignored).
// Only a dot in the last path component counts.  No dot: with appendIfNone
// appends "." + ext and returns true, else false.  With sameLength the
// present extension must be as long as the new one, else false.  An
// extension equal to the new one without regard to case keeps its letters.
bool ReplaceExtension(std::string& path, const std::string& newExt, bool sameLength, bool appendIfNone);
bool ReplaceExtension(TStrU& path, const TStrU& newExt, bool sameLength, bool appendIfNone);
// The same rules under the name the conversion code uses: `mustFit` asks
// for an extension as long as the new one, `append` appends one to a path
// without.
inline bool SetFileExtension(std::string& path, const std::string& newExt, bool mustFit, bool append) {
  return ReplaceExtension(path, newExt, mustFit, append);
}

// Deletes one file (never a directory), making at most `retries` + 1
// attempts kRemoveRetryPauseMilliseconds apart.  False without an attempt
// when nothing is at the path, and when the last attempt failed.
constexpr int kRemoveRetryPauseMilliseconds = 20;
bool RemoveFileWithRetry(const std::string& path, int retries);
bool RemoveFileWithRetry(const TStrU& path, int retries);

// The temporary folder ($TMPDIR, else /tmp) without trailing separators;
// true only when it has at most 254 characters and is an existing directory.
bool ReadTempPath(std::string& out);
// ReadTempPath's folder, or the empty text when it fails.
std::string GetTempFolderPath();

// 0-6: the first of FileExtensionTable's entries 0-6 equal to `extension`
// (with its dot) without regard to case; 7 when none is.
int GetFileTypeIndex(const std::string& extension);
int GetFileTypeIndex(const TStrU& extension);

// The FileKind whose "." + word equals `extension` without regard to case;
// with requireFour, kFileKindNone unless the extension has 4 characters.
FileKind GetFileKind(const std::string& extension, bool requireFour);
FileKind GetFileKind(const TStrU& extension, bool requireFour);
// GetFileKind(ExtractExtension(path, true), requireFour).
FileKind GetFileKindOfPath(const std::string& path, bool requireFour);
FileKind GetFileKindOfPath(const TStrU& path, bool requireFour);

// The intermediate document of a conversion job: a path and whether it is set.
struct IntermediateFile {
  std::string path;
  bool set = false;
};
// -1 when the record is not set; 1 when nothing exists at its path; 0 when
// something does.
int IntermediateFileMissing(const IntermediateFile& file);
// -1 when the record is not set; 0 when the file was removed (3 retries,
// files only); 1 otherwise, also when nothing was there.
int RemoveIntermediateFile(const IntermediateFile& file);

// A copy of the text collected so far in a string stream.
template <class Stream>
std::string StreamText(const Stream& stream) {
  return stream.str();
}

namespace CnvTools {

// The size of the file at `path` (trailing separators removed); 0 for an
// empty path or when it cannot be examined; sizes past 32 bits read as
// 0xFFFFFFFF.  `flag` does not change the result.
uint32_t GetFileSize(const std::string& path, bool flag = false);
uint32_t GetFileSize(const TStrU& path, bool flag = false);

// The text before the last separator; empty when there is none.
std::string DirectoryPart(const std::string& path);
TStrU DirectoryPart(const TStrU& path);

// a followed by b.
std::string Concat(const std::string& a, const std::string& b);
TStrU Concat(const TStrU& a, const TStrU& b);

// The separator as a text ("/" here) and ".".
std::string BackslashString();
std::string DotString();

}  // namespace CnvTools
