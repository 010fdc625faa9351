#include "host/folders.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "platform/xt/xt_types.h"

namespace xthost {
namespace fs = std::filesystem;

FolderTable::FolderTable() {
  paths_[kRoot] = "/";
  ids_["/"] = kRoot;
}

std::string FolderTable::Absolute(const std::string& path) {
  std::error_code ec;
  fs::path p(path);
  if (p.is_relative()) p = fs::current_path(ec) / p;
  std::string text = p.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

int32_t FolderTable::IdOf(const std::string& folder) {
  auto it = ids_.find(folder);
  if (it != ids_.end()) return it->second;
  const int32_t id = next_++;
  ids_[folder] = id;
  paths_[id] = folder;
  return id;
}

bool FolderTable::FolderPath(int16_t volume, int32_t folder, std::string* path) const {
  if (volume != kVolume && volume != 0) return false;
  if (folder == 0) {
    *path = Absolute(".");
    return true;
  }
  auto it = paths_.find(folder);
  if (it == paths_.end()) return false;
  *path = it->second;
  return true;
}

int32_t FolderTable::MakeSpec(int16_t volume, int32_t folder, const std::string& path,
                              XTFileSpec* spec) {
  if (path.empty()) return kXTErrBadName;
  std::string full;
  if (path[0] == '/') {
    full = Absolute(path);
  } else {
    std::string base;
    if (!FolderPath(volume, folder, &base)) return kXTErrNoFolder;
    full = Absolute(base + "/" + path);
  }
  XTFileSpec made{};
  made.volume = kVolume;
  if (full == "/") {
    made.folder = kAboveRoot;
  } else {
    const auto slash = full.rfind('/');
    const std::string parent = slash == 0 ? "/" : full.substr(0, slash);
    const std::string name = full.substr(slash + 1);
    if (name.size() > 255) return kXTErrBadName;
    struct stat st;
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kXTErrNoFolder;
    made.folder = IdOf(parent);
    std::memcpy(made.name, name.c_str(), name.size() + 1);
  }
  *spec = made;
  struct stat st;
  return ::stat(full.c_str(), &st) == 0 ? kXTOk : kXTErrNotFound;
}

int32_t FolderTable::FullPath(int16_t volume, int32_t folder, const std::string& name,
                              std::string* path) const {
  if (name.find('/') != std::string::npos) return kXTErrBadName;
  if (folder == kAboveRoot && (volume == kVolume || volume == 0)) {
    if (!name.empty()) return kXTErrNoFolder;
    *path = "/";
    return kXTOk;
  }
  std::string base;
  if (!FolderPath(volume, folder, &base)) return kXTErrNoFolder;
  if (name.empty()) {
    *path = base;
  } else if (name == "." || name == "..") {
    return kXTErrBadName;
  } else {
    *path = base == "/" ? "/" + name : base + "/" + name;
  }
  return kXTOk;
}

}  // namespace xthost
