// Helpers for the file-system tree tests: a temporary folder on disk, file
// probes, and a recorder for log records.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "shared/server/CnvTools.h"
#include "support/program_log.h"

// A new folder under $TMPDIR (or /tmp), removed with all its contents when
// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
bool Exists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

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

// A date-time record for the pinned clock: 2026-03-05 07:04:09.
DateTime PinnedMoment();
