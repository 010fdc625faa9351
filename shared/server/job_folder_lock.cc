#include "shared/server/job_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/win/replacing_file.h"
#include "support/program_log.h"

namespace {

namespace fs = std::filesystem;

const char kMarkName[] = ".server.pid";
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
// and an output's placeholder (".~" + process id + "-" + number).
bool IsPartialName(const std::string& name) {
  if (name.size() == 14 && name[0] == '.') {
    bool all = true;
    for (size_t i = 1; i < name.size(); ++i) all = all && std::isalnum(static_cast<unsigned char>(name[i]));
    if (all) return true;
  }
  if (name.compare(0, 2, ".~") != 0) return false;
  const size_t dash = name.find('-', 2);
  if (dash == std::string::npos || dash == 2 || dash + 1 == name.size()) return false;
  for (size_t i = 2; i < name.size(); ++i)
    if (i != dash && !std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

// Whether `folder` holds a mark that no live process locks.  The mark's
// descriptor is closed again at once; its lock went with it.  A live job's
// mark is locked before it is there (JobFolderLock), so this lock is never
// taken from one.
bool HoldsDeadMark(const fs::path& folder) {
  const int fd = ::open((folder / kMarkName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  const bool dead = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return dead;
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

JobFolderLock::JobFolderLock(const std::string& folder) : path_(folder + "/" + kMarkName) {
  // Made and locked under a name of its own, then linked to the mark's
  // name: no server starting meanwhile meets the mark unlocked.
  std::string made;
  fd_ = win::CreateFileBeside(path_, O_WRONLY, &made);
  int error = fd_ < 0 ? errno : 0;
  if (fd_ >= 0) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::write(fd_, pid.data(), pid.size()) < 0) {
      // The number is for people; the lock alone tells.
    }
    if (::link(made.c_str(), path_.c_str()) != 0) error = errno;
    ::unlink(made.c_str());
  }
  if (error == 0) return;
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
  if (base.empty()) return 0;
  int cleaned = 0;
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
    const fs::path folder = it->path();
    if (!IsJobFolderName(folder.filename().string()) || !HoldsDeadMark(folder)) continue;
    std::error_code removeError;
    const bool received = fs::is_directory(fs::symlink_status(folder / "incoming", removeError));
    if (whole || !received) {
      fs::remove_all(folder, removeError);
      LogMessage(Where("RemoveDeadJobFolders"),
                 (removeError ? "ERROR: Could not remove a dead job's folder: " : "Removed a dead job's folder: ") +
                     folder.string(),
                 6);
    } else {
      RemovePartialFiles(folder / "incoming");
      RemovePartialFiles(folder);
      fs::remove(folder / kMarkName, removeError);
    }
    ++cleaned;
  }
  return cleaned;
}
