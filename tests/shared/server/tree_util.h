// Helpers for the file-system tree tests: the common folder and file helpers,
// a recorder for log records, and a folder whose maps a test may look at.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/CnvTools.h"
#include "support/program_log.h"
#include "tests/common/files.h"
#include "tests/common/pinned_clock.h"
#include "tests/common/temp_dir.h"

using testutil::Exists;
using testutil::IsDirectory;
using testutil::IsRegularFile;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

// The current server log while it lives, with a minimum priority of its
// choosing: it keeps every record that reaches it.
class LogCatcher : public ServerLogSink {
 public:
  explicit LogCatcher(int minimumPriority = 0);
  ~LogCatcher();
  LogCatcher(const LogCatcher&) = delete;
  LogCatcher& operator=(const LogCatcher&) = delete;

  void WriteRecord(const std::string& name, const std::string& message) override;

  // The messages recorded so far whose location names `operation`
  // ("...]:<operation>()"), in order.
  std::vector<std::string> Messages(const std::string& operation) const;
  const std::vector<std::pair<std::string, std::string>>& records() const { return records_; }

 private:
  std::vector<std::pair<std::string, std::string>> records_;
};

// A folder whose maps a test may look at.
template <class TStr>
struct OpenFolder : ct_Folder<TStr> {
  using ct_Folder<TStr>::ct_Folder;
  const std::map<TStr, ct_File<TStr>*>& Files() const { return this->m_files; }
  const std::map<TStr, ct_Folder<TStr>*>& Folders() const { return this->m_folders; }
  const std::vector<ct_Folder<TStr>*>& Owned() const { return this->m_owned; }
};
