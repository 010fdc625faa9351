// A folder of the run's own under the host's temporary folder: made new
// (mkdtemp, mode 0700) so that no other user and no earlier run has
// anything in it, and removed with everything in it when the object goes.
// It holds a job folder's mark (JobFolderLock) while it is there, so that a
// later start removes it when its process was killed
// (RemoveDeadPrivateFolders); the mark goes after the rest.  Host thread
// only.
#pragma once

#include <memory>
#include <string>

class JobFolderLock;

class PrivateFolder {
 public:
  // Makes "<temp>/<stem>XXXXXX"; path() is "" when the host names no
  // temporary folder (error() 0) or the folder cannot be made (error() the
  // system's error number).
  explicit PrivateFolder(const char* stem);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::string& path() const { return path_; }
  int error() const { return error_; }

 private:
  std::string path_;
  int error_ = 0;
  std::unique_ptr<JobFolderLock> mark_;
};
