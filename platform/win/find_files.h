// Folder enumeration in the manner of the desktop system's find-first,
// find-next and find-close calls.
//
// A search is opened on a pattern: a folder path followed by "/*" lists the
// folder's entries (without "." and ".."), any other path finds the one
// entry it names.  Entries come in byte order of their names.  Attributes
// are read with lstat, so a symbolic link is an entry of its own and never a
// folder: a scan that descends into folder entries never follows a link.
// A name starting with '.' is hidden; nothing is a system file.  The
// search handle is released when the object goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace win {

// Attribute bits, with the desktop system's values.
enum : uint32_t {
  kFileAttributeReadOnly = 0x1,
  kFileAttributeHidden = 0x2,
  kFileAttributeSystem = 0x4,
  kFileAttributeDirectory = 0x10,
  kFileAttributeNormal = 0x80,
};

struct FindEntry {
  std::string name;         // the entry's name, without its folder
  uint32_t attributes = 0;  // kFileAttribute* bits
  int error = 0;            // the system's error number when its attributes cannot be read
};

class FindFiles {
 public:
  // Opens the search (find first).  Valid() is false when the folder cannot
  // be read or the path names nothing.
  explicit FindFiles(const std::string& pattern);
  ~FindFiles() = default;  // find close
  FindFiles(const FindFiles&) = delete;
  FindFiles& operator=(const FindFiles&) = delete;

  bool Valid() const { return valid_; }
  // The system's error number when the search could not be opened, else 0.
  int Error() const { return error_; }
  // The next entry (find next, the first call giving the first entry);
  // false when there is none left.  An entry that vanished in between is
  // skipped; one whose attributes cannot be read (a path too long, say)
  // comes with `error` set and no attributes.
  bool Next(FindEntry& entry);

 private:
  std::string folder_;              // where the names lie
  std::vector<std::string> names_;  // in byte order
  size_t next_ = 0;
  bool valid_ = false;
  int error_ = 0;
};

// The attributes of the entry at `path` (lstat; 0 when nothing is there).
// With followLink, a link that leads somewhere has the attributes of what
// it leads to.
uint32_t FileAttributesOf(const std::string& path, bool followLink = false);

}  // namespace win
