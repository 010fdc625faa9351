// Volumes and folder ids of host file specs.
//
// A host file spec names a file by volume, folder id and name; the stand-in
// maps them to real paths.  There is one volume, -1, the root of the file
// system (volume 0 is accepted as "the default volume", which is the same).
// Folder ids are issued from a table the first time a folder is named: 2 is
// "/", and 1 stands for the place above it, so the spec of "/" itself is
// (-1, 1, "").  Folder 0 in a request means the current folder.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/xt/xt_records.h"

namespace xthost {

class FolderTable {
 public:
  static constexpr int16_t kVolume = -1;
  static constexpr int32_t kAboveRoot = 1;
  static constexpr int32_t kRoot = 2;

  FolderTable();

  // The spec of `path`: absolute, or relative to the folder of (volume,
  // folder).  0 when something exists there, -43 with the spec filled when
  // not, -120 when the folder part is missing, -37 for a name longer than
  // 255 bytes.
  int32_t MakeSpec(int16_t volume, int32_t folder, const std::string& path, XTFileSpec* spec);

  // The path of (volume, folder, name): -120 for an unknown folder or volume,
  // -37 for a name with a "/" in it.  An empty name gives the folder itself.
  int32_t FullPath(int16_t volume, int32_t folder, const std::string& name,
                   std::string* path) const;

  // The absolute, normalised form of `path` (relative to the current folder).
  static std::string Absolute(const std::string& path);

 private:
  int32_t IdOf(const std::string& folder);
  bool FolderPath(int16_t volume, int32_t folder, std::string* path) const;

  std::map<int32_t, std::string> paths_;
  std::map<std::string, int32_t> ids_;
  int32_t next_ = kRoot + 1;
};

}  // namespace xthost
