#include "platform/win/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/replacing_file.h"

namespace win {
namespace {

constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxFileName = 255;
constexpr char kValuePrefix = '\\';
constexpr uint32_t kWriteRights = kKeySetValue | kKeyCreateSubKey | 0x10000u /* delete */;
constexpr uint32_t kReadRights = kKeyQueryValue | kKeyEnumerateSubKeys;

struct OpenKey {
  std::string path;  // the key's folder
  uint32_t access = 0;
};

std::mutex g_mutex;
std::map<HKey, OpenKey> g_handles;
HKey g_nextHandle = 1;

int32_t ErrnoCode(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorInvalidParameter;
    default:
      return kErrorRegistryIo;
  }
}

std::string RootFolder() {
  const char* root = std::getenv("BRENIX_REGISTRY_ROOT");
  if (root && *root) return root;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && *state == '/') return std::string(state) + "/brenix/registry";
  const char* home = std::getenv("HOME");
  std::string base = home && *home ? home : "";
  if (base.empty()) {
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir) {
      base = found->pw_dir;
    }
  }
  return base + "/.local/state/brenix/registry";
}

bool IsPredefined(HKey key) { return key == kHKeyLocalMachine || key == kHKeyCurrentUser; }

int32_t FindKey(HKey key, OpenKey* out) {
  if (IsPredefined(key)) {
    out->path = RootFolder() + (key == kHKeyLocalMachine ? "/HKEY_LOCAL_MACHINE" : "/HKEY_CURRENT_USER");
    out->access = kKeyAllAccess;
    return kErrorSuccess;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_handles.find(key);
  if (it == g_handles.end()) return kErrorInvalidHandle;
  *out = it->second;
  return kErrorSuccess;
}

HKey IssueHandle(const std::string& path, uint32_t access) {
  std::lock_guard<std::mutex> lock(g_mutex);
  while (g_handles.count(g_nextHandle) || IsPredefined(g_nextHandle) || g_nextHandle == 0) {
    g_nextHandle = g_nextHandle + 1 >= kHKeyCurrentUser ? 1 : g_nextHandle + 1;
  }
  const HKey handle = g_nextHandle++;
  g_handles[handle] = OpenKey{path, access};
  return handle;
}

// Names on disk: '%' and '/' escaped.
std::string Encode(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '%') out += "%25";
    else if (c == '/') out += "%2F";
    else out += c;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XX" becomes its byte; any other '%' stays as it is.
std::string Decode(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 2 < name.size()) {
      const int high = HexDigit(name[i + 1]);
      const int low = HexDigit(name[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += name[i];
  }
  return out;
}

// Whether `name` can name a key: not empty, no NUL, no '\\', not "." or
// "..", and short enough.  A folder whose name decodes to anything else is
// not a key: opening such a name would open the parent again (or another
// key), and a walk over the tree would never end.
bool IsKeyName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxKeyName && name != "." && name != ".." &&
         name.find('\0') == std::string::npos && name.find('\\') == std::string::npos;
}

unsigned char Lower(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Names compare without regard to ASCII letter case.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Enumeration order: by name without regard to case, then by the bytes.
bool LessNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return Lower(a[i]) < Lower(b[i]);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

class DirReader {
 public:
  explicit DirReader(const std::string& path) : dir_(::opendir(path.c_str())), error_(dir_ ? 0 : errno) {}
  ~DirReader() {
    if (dir_) ::closedir(dir_);
  }
  DirReader(const DirReader&) = delete;
  DirReader& operator=(const DirReader&) = delete;
  int error() const { return error_; }
  // The next entry's name other than "." and ".."; false at the end.
  bool Next(std::string* name) {
    while (dir_) {
      const dirent* entry = ::readdir(dir_);
      if (!entry) return false;
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      *name = entry->d_name;
      return true;
    }
    return false;
  }

 private:
  DIR* dir_;
  int error_;
};

bool IsDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A key's own folder: a folder, not a link to one, so that no key leads back
// to itself or out of the tree.
bool IsKeyFolder(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether the entry `fileName` of a key's folder is a subkey.
bool IsSubkeyEntry(const std::string& folder, const std::string& fileName) {
  return fileName[0] != kValuePrefix && IsKeyName(Decode(fileName)) && IsKeyFolder(folder + "/" + fileName);
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Looks in `folder` for the subkey `name` (a folder) or, with `value`, for
// the value file of `name`.  Success stores the entry's file name.  An
// entry of that name that is not what it should be (a value that is not a
// plain file, a key that is not a folder of its own: a link, a file, a pipe)
// is damaged: kErrorBadDb, with its name stored.
int32_t FindEntry(const std::string& folder, const std::string& name, bool value, std::string* fileName) {
  const std::string wanted = value ? kValuePrefix + Encode(name) : Encode(name);
  const std::string direct = folder + "/" + wanted;
  if (value ? IsRegularFile(direct) : IsKeyFolder(direct)) {
    *fileName = wanted;
    return kErrorSuccess;
  }
  DirReader reader(folder);
  if (reader.error()) return ErrnoCode(reader.error());
  std::string entry;
  int32_t code = kErrorFileNotFound;
  while (reader.Next(&entry)) {
    if ((entry[0] == kValuePrefix) != value) continue;
    const std::string entryName = Decode(value ? entry.substr(1) : entry);
    if (!SameName(entryName, name)) continue;
    if (value ? IsRegularFile(folder + "/" + entry) : IsKeyFolder(folder + "/" + entry)) {
      *fileName = entry;
      return kErrorSuccess;
    }
    *fileName = entry;
    code = kErrorBadDb;
  }
  return code;
}

// Splits a path of key names at '\'; null or empty is no name at all.
int32_t SplitKeyPath(const char* subKey, std::vector<std::string>* names) {
  names->clear();
  if (!subKey || !*subKey) return kErrorSuccess;
  std::string path(subKey);
  for (std::size_t begin = 0;;) {
    const std::size_t end = path.find('\\', begin);
    const std::string name = path.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    if (!IsKeyName(name) || Encode(name).size() > kMaxFileName) {
      return kErrorInvalidParameter;
    }
    names->push_back(name);
    if (end == std::string::npos) return kErrorSuccess;
    begin = end + 1;
  }
}

int32_t ValueFileName(const char* valueName, std::string* fileName) {
  *fileName = kValuePrefix + Encode(valueName ? valueName : "");
  return fileName->size() > kMaxFileName ? kErrorInvalidParameter : kErrorSuccess;
}

// An exclusive lock on a key's folder, held while its entries change.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), error_(fd_ < 0 ? errno : 0) {
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  int32_t result() const { return error_ ? ErrnoCode(error_) : kErrorSuccess; }

 private:
  int fd_;
  int error_;
};

int32_t MakeFolders(const std::string& path) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return ErrnoCode(errno);
  }
  return IsDirectory(path) ? kErrorSuccess : kErrorRegistryIo;
}

int32_t CheckFolderAccess(const std::string& path, uint32_t access) {
  int mode = X_OK;
  if (access & kReadRights) mode |= R_OK;
  if (access & kWriteRights) mode |= W_OK;
  if (::access(path.c_str(), mode) == 0) return kErrorSuccess;
  return ErrnoCode(errno);
}

// Opens (and with `create` makes) the key `subKey` below `parent`.
int32_t OpenOrCreate(HKey parent, const char* subKey, uint32_t access, bool create, HKey* result,
                     uint32_t* disposition) {
  if (!result) return kErrorInvalidParameter;
  OpenKey key;
  int32_t code = FindKey(parent, &key);
  if (code) return code;
  std::vector<std::string> names;
  if ((code = SplitKeyPath(subKey, &names))) return code;
  if (create && IsPredefined(parent) && (code = MakeFolders(key.path))) return code;

  bool created = false;
  std::string path = key.path;
  for (const std::string& name : names) {
    std::string entry;
    code = FindEntry(path, name, false, &entry);
    if (code == kErrorFileNotFound && create) {
      if (!(key.access & kKeyCreateSubKey)) return kErrorAccessDenied;
      FolderLock lock(path);
      if ((code = lock.result())) return code;
      code = FindEntry(path, name, false, &entry);
      if (code == kErrorFileNotFound) {
        entry = Encode(name);
        if (::mkdir((path + "/" + entry).c_str(), 0777) == 0) {
          created = true;
          code = kErrorSuccess;
        } else if (errno == EEXIST) {
          // Made in the meantime by someone who took no lock.
          code = FindEntry(path, name, false, &entry);
        } else {
          code = ErrnoCode(errno);
        }
      }
    }
    if (code) return code;
    path += "/" + entry;
  }
  if (!IsDirectory(path)) return kErrorFileNotFound;
  if ((code = CheckFolderAccess(path, access))) return code;
  *result = IssueHandle(path, access);
  if (disposition) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
  return kErrorSuccess;
}

int32_t ReadValueFile(const std::string& path, uint32_t* type, std::string* data) {
  // Never a link or a pipe put in place since the look: those would lead
  // out of the tree or block.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return errno == ELOOP ? kErrorBadDb : ErrnoCode(errno);
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return kErrorBadDb;
  }
  std::string bytes;
  char buffer[4096];
  int32_t code = kErrorSuccess;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) code = ErrnoCode(errno);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
    if (bytes.size() > 4 + static_cast<std::size_t>(UINT32_MAX)) {
      code = kErrorBadDb;
      break;
    }
  }
  ::close(fd);
  if (code) return code;
  if (bytes.size() < 4) return kErrorBadDb;
  *type = 0;
  for (int i = 3; i >= 0; --i) *type = (*type << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  data->assign(bytes, 4, std::string::npos);
  return kErrorSuccess;
}

// Writes the value file into a new file of the key's folder and puts it in
// place: renamed over `fileName`, or with `exclusive` linked to it only when
// nothing is there.
int32_t WriteValueFile(const std::string& folder, const std::string& fileName, uint32_t type,
                       const uint8_t* data, uint32_t size, bool exclusive) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((type >> (8 * i)) & 0xFF);
  if (size) bytes.append(reinterpret_cast<const char*>(data), size);

  const std::string target = folder + "/" + fileName;
  std::string temp;
  const int fd = CreateFileBeside(target, O_WRONLY, &temp);
  if (fd < 0) return errno == EEXIST ? kErrorRegistryIo : ErrnoCode(errno);
  const int wrote = WriteAll(fd, bytes.data(), bytes.size());
  int32_t code = wrote != 0 ? ErrnoCode(wrote) : kErrorSuccess;
  if (!code && ::fsync(fd) != 0) code = ErrnoCode(errno);
  if (::close(fd) != 0 && !code) code = ErrnoCode(errno);
  if (!code) {
    if (exclusive) {
      if (::link(temp.c_str(), target.c_str()) != 0) code = errno == EEXIST ? kErrorAlreadyExists : ErrnoCode(errno);
    } else if (::rename(temp.c_str(), target.c_str()) != 0) {
      code = ErrnoCode(errno);
    }
  }
  if (exclusive || code) ::unlink(temp.c_str());
  return code;
}

// Runs `change` (key folder, value file name) on a value of a key opened
// for setting values, while the key's folder is locked.
template <class Change>
int32_t ChangeValue(HKey handle, const char* valueName, Change change) {
  OpenKey key;
  int32_t code = FindKey(handle, &key);
  if (code) return code;
  if (!(key.access & kKeySetValue)) return kErrorAccessDenied;
  std::string fileName;
  if ((code = ValueFileName(valueName, &fileName))) return code;
  FolderLock lock(key.path);
  if ((code = lock.result())) return code;
  return change(key.path, fileName);
}

int32_t StoreValue(HKey handle, const char* valueName, uint32_t type, const uint8_t* data, uint32_t size,
                   bool onlyIfAbsent) {
  if (size && !data) return kErrorInvalidParameter;
  return ChangeValue(handle, valueName, [&](const std::string& folder, std::string fileName) -> int32_t {
    std::string existing;
    const int32_t code = FindEntry(folder, valueName ? valueName : "", true, &existing);
    if (code == kErrorSuccess || code == kErrorBadDb) {
      if (onlyIfAbsent) return kErrorAlreadyExists;
      fileName = existing;  // the name keeps the letters it was made with
    } else if (code != kErrorFileNotFound) {
      return code;
    }
    return WriteValueFile(folder, fileName, type, data, size, onlyIfAbsent);
  });
}

}  // namespace

int32_t RegCreateKeyEx(HKey parent, const char* subKey, uint32_t /*reserved*/, const char* /*keyClass*/,
                       uint32_t /*options*/, uint32_t access, const void* /*security*/, HKey* result,
                       uint32_t* disposition) {
  return OpenOrCreate(parent, subKey, access, true, result, disposition);
}

int32_t RegOpenKeyEx(HKey parent, const char* subKey, uint32_t /*options*/, uint32_t access, HKey* result) {
  return OpenOrCreate(parent, subKey, access, false, result, nullptr);
}

int32_t RegEnumKeyEx(HKey handle, uint32_t index, char* name, uint32_t* nameLength) {
  if (!name || !nameLength) return kErrorInvalidParameter;
  OpenKey key;
  int32_t code = FindKey(handle, &key);
  if (code) return code;
  if (!(key.access & kKeyEnumerateSubKeys)) return kErrorAccessDenied;
  std::vector<std::string> names;
  {
    DirReader reader(key.path);
    if (reader.error()) return ErrnoCode(reader.error());
    std::string entry;
    while (reader.Next(&entry)) {
      if (IsSubkeyEntry(key.path, entry)) names.push_back(Decode(entry));
    }
  }
  if (index >= names.size()) return kErrorNoMoreItems;
  std::sort(names.begin(), names.end(), LessNoCase);
  const std::string& found = names[index];
  if (found.size() + 1 > *nameLength) return kErrorMoreData;
  std::memcpy(name, found.c_str(), found.size() + 1);
  *nameLength = static_cast<uint32_t>(found.size());
  return kErrorSuccess;
}

int32_t RegDeleteKey(HKey handle, const char* subKey) {
  OpenKey key;
  int32_t code = FindKey(handle, &key);
  if (code) return code;
  std::vector<std::string> names;
  if ((code = SplitKeyPath(subKey, &names))) return code;
  if (names.empty()) return kErrorInvalidParameter;
  std::string parent = key.path;
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    std::string entry;
    if ((code = FindEntry(parent, names[i], false, &entry))) return code;
    parent += "/" + entry;
  }
  FolderLock lock(parent);
  if ((code = lock.result())) return code;
  std::string entry;
  if ((code = FindEntry(parent, names.back(), false, &entry))) return code;
  const std::string path = parent + "/" + entry;
  std::vector<std::string> files;
  {
    DirReader reader(path);
    if (reader.error()) return ErrnoCode(reader.error());
    std::string child;
    while (reader.Next(&child)) {
      if (IsKeyFolder(path + "/" + child)) return kErrorAccessDenied;  // it has subkeys
      files.push_back(child);
    }
  }
  for (const std::string& file : files) {
    if (::unlink((path + "/" + file).c_str()) != 0 && errno != ENOENT) return ErrnoCode(errno);
  }
  if (::rmdir(path.c_str()) != 0) {
    return errno == ENOTEMPTY || errno == EEXIST ? kErrorAccessDenied : ErrnoCode(errno);
  }
  return kErrorSuccess;
}

int32_t RegSetValueEx(HKey key, const char* valueName, uint32_t /*reserved*/, uint32_t type, const uint8_t* data,
                      uint32_t size) {
  return StoreValue(key, valueName, type, data, size, false);
}

int32_t RegCreateValueIfAbsent(HKey key, const char* valueName, uint32_t type, const uint8_t* data,
                               uint32_t size) {
  return StoreValue(key, valueName, type, data, size, true);
}

int32_t RegDeleteValue(HKey handle, const char* valueName) {
  return ChangeValue(handle, valueName, [&](const std::string& folder, std::string fileName) -> int32_t {
    // A damaged value (a folder, a link, a pipe where the file should be) is
    // left alone: it is not this value's file.
    const int32_t code = FindEntry(folder, valueName ? valueName : "", true, &fileName);
    if (code) return code;
    return ::unlink((folder + "/" + fileName).c_str()) == 0 ? int32_t{kErrorSuccess} : ErrnoCode(errno);
  });
}

int32_t RegQueryValueEx(HKey handle, const char* valueName, uint32_t* /*reserved*/, uint32_t* type, uint8_t* data,
                        uint32_t* size) {
  if (data && !size) return kErrorInvalidParameter;
  OpenKey key;
  int32_t code = FindKey(handle, &key);
  if (code) return code;
  if (!(key.access & kKeyQueryValue)) return kErrorAccessDenied;
  std::string fileName;
  if ((code = ValueFileName(valueName, &fileName))) return code;
  if ((code = FindEntry(key.path, valueName ? valueName : "", true, &fileName))) return code;
  uint32_t storedType = 0;
  std::string bytes;
  if ((code = ReadValueFile(key.path + "/" + fileName, &storedType, &bytes))) return code;
  if (type) *type = storedType;
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  if (data) {
    if (*size < length) {
      *size = length;
      return kErrorMoreData;
    }
    if (length) std::memcpy(data, bytes.data(), length);
  }
  if (size) *size = length;
  return kErrorSuccess;
}

int32_t RegCloseKey(HKey key) {
  if (IsPredefined(key)) return kErrorSuccess;
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_handles.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace win
