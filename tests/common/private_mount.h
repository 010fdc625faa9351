// A small file system of its own on a folder, for this process and the
// programs it starts (a private mount namespace), gone when the object
// goes; and filling it.  Only a process that may mount (root, as in CI)
// gets one: mounted() says whether it did.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace testutil {

class PrivateMount {
 public:
  PrivateMount(const std::filesystem::path& folder, unsigned long flags, const char* options) : folder_(folder) {
    static const bool isolated = ::unshare(CLONE_NEWNS) == 0 &&
                                 ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    mounted_ = isolated && ::mount("tmpfs", folder.c_str(), "tmpfs", flags, options) == 0;
  }
  ~PrivateMount() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  PrivateMount(const PrivateMount&) = delete;
  PrivateMount& operator=(const PrivateMount&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
};

// Fills the file system of `folder` with the file "filler", then gives
// `leave` bytes back; false when the filler cannot be made.
inline bool FillFileSystem(const std::filesystem::path& folder, long leave = 0) {
  const std::string path = (folder / "filler").string();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const std::string block(4096, 'f');
  while (std::fwrite(block.data(), 1, block.size(), file) == block.size()) {
  }
  std::fclose(file);
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!error && leave > 0) std::filesystem::resize_file(path, size > static_cast<uintmax_t>(leave) ? size - leave : 0);
  return !error;
}

}  // namespace testutil
