#include "plugin/conversion/private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "plugin/mixer/host_texts.h"
#include "shared/server/job_folder_lock.h"
#include "support/paths.h"

PrivateFolder::PrivateFolder(const char* stem) {
  const std::string temp = QueryHostTempFolder();
  if (temp.empty()) return;
  std::string pattern = temp + kPathSeparator + stem + "XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) {
    path_ = pattern;
    mark_ = std::make_unique<JobFolderLock>(path_);
  } else {
    error_ = errno;
  }
}

PrivateFolder::~PrivateFolder() {
  if (path_.empty()) return;
  // Everything but the mark, then the mark, then the folder: a kill on the
  // way leaves a marked folder or an empty one (RemoveDeadPrivateFolders).
  RemoveAllButMark(path_);
  mark_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
