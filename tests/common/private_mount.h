// A small file system of the test's own: a tmpfs mounted on a folder in a
// private mount namespace, for runs that meet a full or read-only disk.
#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <filesystem>

namespace testutil {

// A file system of its own on `folder` for this process and the programs it
// starts (a private mount namespace), gone when the object goes.  Only a
// process that may mount (root, as in CI) gets one: mounted() says.
class Mount {
 public:
  Mount(const std::filesystem::path& folder, unsigned long flags, const char* options) : folder_(folder) {
    static const bool isolated = ::unshare(CLONE_NEWNS) == 0 &&
                                 ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    mounted_ = isolated && ::mount("tmpfs", folder.c_str(), "tmpfs", flags, options) == 0;
  }
  ~Mount() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
};

}  // namespace testutil
