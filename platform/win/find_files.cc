#include "platform/win/find_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace win {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

std::string LastComponent(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

uint32_t FileAttributesOf(const std::string& path, bool followLink) {
  struct stat st;
  if (path.empty()) return 0;
  if (!(followLink && ::stat(path.c_str(), &st) == 0) && ::lstat(path.c_str(), &st) != 0) return 0;
  uint32_t attributes = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
  if ((st.st_mode & 0222) == 0) attributes |= kFileAttributeReadOnly;
  const std::string name = LastComponent(path);
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kFileAttributeHidden;
  return attributes;
}

FindFiles::FindFiles(const std::string& pattern) {
  const bool wildcard = pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, "/*") == 0;
  if (!wildcard) {
    // One entry: the path itself.
    const size_t slash = pattern.find_last_of('/');
    folder_ = slash == std::string::npos ? "." : pattern.substr(0, slash == 0 ? 1 : slash);
    const std::string name = LastComponent(pattern);
    valid_ = !name.empty() && FileAttributesOf(pattern) != 0;
    if (valid_) names_.push_back(name);
    else error_ = name.empty() ? ENOENT : errno;
    return;
  }
  folder_ = pattern.substr(0, pattern.size() - 2);
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder_.empty() ? "/" : folder_.c_str()));
  if (!dir) {
    error_ = errno;
    return;
  }
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names_.push_back(name);
  }
  std::sort(names_.begin(), names_.end());
  valid_ = true;
}

bool FindFiles::Next(FindEntry& entry) {
  while (next_ < names_.size()) {
    const std::string& name = names_[next_++];
    const std::string path = folder_ == "/" ? "/" + name : folder_ + "/" + name;
    const uint32_t attributes = FileAttributesOf(path);
    const int error = attributes == 0 ? errno : 0;
    if (error == ENOENT) continue;
    entry.name = name;
    entry.attributes = attributes;
    entry.error = error;
    return true;
  }
  return false;
}

}  // namespace win
