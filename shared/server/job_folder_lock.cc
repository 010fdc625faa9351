#include "shared/server/job_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/win/leftovers.h"
#include "platform/win/replacing_file.h"
#include "support/program_log.h"

namespace {

namespace fs = std::filesystem;

const char kMarkName[] = ".server.pid";
constexpr long kUnlockedMarkSeconds = 60;
constexpr size_t kJobFolderNameLength = 37;  // "PELMO_" + stamp + "_" + letters

std::string Where(const char* function) { return LocationText("ConversionBase", __LINE__, function); }

// "PELMO_", then a stamp of digits and separators, "_" and capital letters:
// 37 characters in all.  The server log's folder ("..._LOG") is shorter.
bool IsJobFolderName(const std::string& name) {
  if (name.size() != kJobFolderNameLength || name.compare(0, 6, "PELMO_") != 0) return false;
  const size_t last = name.rfind('_');
  if (last <= 6 || last + 1 >= name.size()) return false;
  for (size_t i = last + 1; i < name.size(); ++i)
    if (name[i] < 'A' || name[i] > 'Z') return false;
  return true;
}

// The unfinished names: a received file's ("." and 13 letters or digits)
// and an output's placeholder (win::IsBesideName).
bool IsPartialName(const std::string& name) {
  if (name.size() == 14 && name[0] == '.') {
    bool all = true;
    for (size_t i = 1; i < name.size(); ++i) all = all && std::isalnum(static_cast<unsigned char>(name[i]));
    if (all) return true;
  }
  long pid = 0;
  return win::IsBesideName(name, &pid);
}

// "PELMO_", a stamp of digits and "_LOG": the server log's folder.
bool IsLogFolderName(const std::string& name) {
  if (name.size() <= 10 || name.compare(0, 6, "PELMO_") != 0 || name.compare(name.size() - 4, 4, "_LOG") != 0)
    return false;
  for (size_t i = 6; i < name.size() - 4; ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

// A folder a PrivateFolder makes: one of the stems and six characters.
bool IsPrivateFolderName(const std::string& name) {
  for (const char* stem : {"BX_PdfProbe_", "BX_PdfStyle_"}) {
    const size_t length = std::strlen(stem);
    if (name.size() == length + 6 && name.compare(0, length, stem) == 0) return true;
  }
  return false;
}

// Whether `folder` holds a mark that no live process locks.  The mark's
// descriptor is closed again at once; its lock went with it.  A live job's
// mark is locked before it is there (JobFolderLock), so this lock is never
// taken from one.
// A mark made without a link (MakeMark) is locked only after it appears:
// an empty one younger than kUnlockedMarkSeconds may be a live job's.
bool HoldsDeadMark(const fs::path& folder) {
  const int fd = ::open((folder / kMarkName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool dead = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (dead && st.st_size == 0 && ::time(nullptr) - st.st_ctime < kUnlockedMarkSeconds) dead = false;
  ::close(fd);
  return dead;
}

// Whether `folder` is what a run killed while it made or removed its
// folder left: no mark, untouched for kUnlockedMarkSeconds, and nothing in
// it but at most one empty file of a mark's made name that no live process
// holds (JobFolderLock makes its mark there first).  *made: that file's
// path, or "".
bool LeftUnmarked(const fs::path& folder, fs::path* made) {
  made->clear();
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (::time(nullptr) - st.st_mtime < kUnlockedMarkSeconds) return false;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    long pid = 0;
    if (!made->empty() || !win::IsBesideName(it->path().filename().string(), &pid)) return false;
    *made = it->path();
  }
  if (ec) return false;
  if (made->empty()) return true;
  const int fd = ::open(made->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool gone =
      ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return gone;
}

// Removes the folders right in `base` whose names `named` takes and that a
// killed run left unmarked (LeftUnmarked), logged as `what`; how many.
int RemoveLeftUnmarked(const std::string& base, bool (*named)(const std::string&), const std::string& what) {
  int removed = 0;
  std::error_code ec;
  std::vector<fs::path> folders;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
    if (named(it->path().filename().string())) folders.push_back(it->path());
  for (const fs::path& folder : folders) {
    fs::path made;
    if (!LeftUnmarked(folder, &made)) continue;
    if (!made.empty()) ::unlink(made.c_str());
    // Only an empty folder goes: whatever came into it meanwhile stays.
    if (::rmdir(folder.c_str()) != 0) continue;
    LogMessage(Where("RemoveDeadJobFolders"), "Removed " + what + ": " + folder.string(), 6);
    ++removed;
  }
  return removed;
}

// Locks the mark just made at `path`, while a server starting meanwhile
// may hold the lock for an instant to look at it; 0, or the error number
// with the mark removed.
int LockMade(int fd, const std::string& path) {
  int error = 0;
  for (int attempt = 0; attempt < 200; ++attempt) {
    error = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (error != EWOULDBLOCK && error != EINTR) break;
    ::usleep(5000);
  }
  if (error != 0) ::unlink(path.c_str());
  return error;
}

// The folders right in `base` whose names `named` takes and whose mark no
// live process holds.
std::vector<fs::path> DeadMarkedFolders(const std::string& base, bool (*named)(const std::string&)) {
  std::vector<fs::path> folders;
  if (base.empty()) return folders;
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
    if (named(it->path().filename().string()) && HoldsDeadMark(it->path())) folders.push_back(it->path());
  }
  return folders;
}

// Removes `folder` with all in it, logged as `what`.
void RemoveFolder(const fs::path& folder, const std::string& what) {
  std::error_code error;
  fs::remove_all(folder, error);
  LogMessage(Where("RemoveDeadJobFolders"),
             (error ? "ERROR: Could not remove " + what + ": " : "Removed " + what + ": ") + folder.string(), 6);
}

// Removes the regular files and links of partial names right in `folder`.
void RemovePartialFiles(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::file_status status = it->symlink_status(ec);
    if (ec || fs::is_directory(status) || !IsPartialName(it->path().filename().string())) continue;
    if (fs::remove(it->path(), ec))
      LogMessage(Where("RemoveDeadJobFolders"), "Removed a dead job's partial file: " + it->path().string(), 6);
  }
}

}  // namespace

void RemoveAllButMark(const std::string& folder) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename() != kMarkName) entries.push_back(it->path());
  for (const fs::path& entry : entries) fs::remove_all(entry, ec);
}

JobFolderLock::JobFolderLock(const std::string& folder) : path_(folder + "/" + kMarkName) {
  // Made and locked under a name of its own, then linked to the mark's
  // name: no server starting meanwhile meets the mark unlocked.  Where the
  // file system has no links, the mark is made new at its name and locked
  // at once (HoldsDeadMark gives that moment its due).
  std::string made;
  fd_ = win::CreateFileBeside(path_, O_WRONLY, &made);
  int error = fd_ < 0 ? errno : 0;
  if (fd_ >= 0) {
    if (::link(made.c_str(), path_.c_str()) != 0) error = errno;
    ::unlink(made.c_str());
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
      ::close(fd_);
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
      error = fd_ < 0 ? errno : LockMade(fd_, path_);
    }
  }
  if (error == 0) {
    // Readable by all, whatever the umask: other servers look at it.
    ::fchmod(fd_, 0644);
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::write(fd_, pid.data(), pid.size()) < 0) {
      // The number is for people; the lock alone tells.
    }
    return;
  }
  LogMessage(Where("JobFolderLock"), "Warning: the job folder could not be marked: " + path_ + ": " +
                                         std::strerror(error), 5);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

JobFolderLock::~JobFolderLock() {
  if (fd_ < 0) return;
  ::unlink(path_.c_str());
  ::close(fd_);
}

int RemoveDeadJobFolders(const std::string& base, bool whole) {
  int cleaned = 0;
  for (const fs::path& folder : DeadMarkedFolders(base, IsJobFolderName)) {
    std::error_code removeError;
    const bool received = fs::is_directory(fs::symlink_status(folder / "incoming", removeError));
    if (whole || !received) {
      RemoveFolder(folder, "a dead job's folder");
    } else {
      RemovePartialFiles(folder / "incoming");
      RemovePartialFiles(folder);
      fs::remove(folder / kMarkName, removeError);
    }
    ++cleaned;
  }
  return cleaned + (base.empty() ? 0 : RemoveLeftUnmarked(base, IsJobFolderName, "a dead job's folder"));
}

void RemoveDeadPrivateFolders(const std::string& base) {
  for (const fs::path& folder : DeadMarkedFolders(base, IsPrivateFolderName)) {
    RemoveFolder(folder, "the folder of a run that is gone");
  }
  if (!base.empty()) RemoveLeftUnmarked(base, IsPrivateFolderName, "the folder of a run that is gone");
}

void RemoveDeadLogFolders(const std::string& base, bool keep) {
  if (!base.empty()) RemoveLeftUnmarked(base, IsLogFolderName, "the log folder of a server that is gone");
  for (const fs::path& folder : DeadMarkedFolders(base, IsLogFolderName)) {
    if (!keep) {
      RemoveFolder(folder, "the log folder of a server that is gone");
      continue;
    }
    std::error_code error;
    fs::remove(folder / kMarkName, error);
    LogMessage(Where("RemoveDeadLogFolders"), "Kept the log folder of a server that is gone: " + folder.string(), 5);
  }
}
