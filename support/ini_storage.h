// Where ini files are read from and written to.
//
// By default the file system: a read takes only a regular file (links
// resolved) of at most kMaxIniFileSize bytes, so a name that leads to a pipe,
// a device or a folder never blocks and never fills memory; a write replaces
// the file whole (see ReplaceFileContent).  A test or a fuzz target may put
// another store in place, for instance files held in memory.  Host thread
// only.
#pragma once

#include <cstddef>
#include <string>

// The largest ini file read: 16 MiB.
inline constexpr std::size_t kMaxIniFileSize = std::size_t{16} << 20;

class IniStorage {
 public:
  // Why a read failed: the file cannot be opened, or it is refused.
  enum class ReadFailure { kNone, kCannotOpen, kNotRegular, kTooLarge, kReadError };

  virtual ~IniStorage() = default;
  // The whole content of `name`; on failure the reason, `content` unchanged.
  virtual ReadFailure Read(const std::string& name, std::string& content) = 0;
  // Puts `content` in place of `name`; false when it could not.
  virtual bool Write(const std::string& name, const std::string& content) = 0;
};

// The store in use, and putting another in place (null: the file system);
// returns the one it replaces.
IniStorage& CurrentIniStorage();
IniStorage* SetIniStorage(IniStorage* storage);

// Replaces `target` by a file holding `content`: a fresh exclusive temporary
// file beside the real file (a link to it resolved and kept), with the old
// file's mode, flushed to disk and renamed over it.  On failure the target
// is untouched and the temporary file is gone.
bool ReplaceFileContent(const std::string& target, const std::string& content);
