#include "support/batch_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <set>

#include "support/date_time.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/settings.h"
#include "support/settings_values.h"

const char* const BatchSections[3] = {"General", "Path", "Status"};

namespace {

// Value words: "", " ", "None", "0", "True", "False", "".
const char* const kWords[7] = {"", " ", "None", "0", "True", "False", ""};
const char* const kModeWords[4] = {"None", "Export", "Import", "Done"};

struct KeyInfo {
  int section;
  const char* name;
  int defaultWord;
  const char* label;
  const char* range;
};

const KeyInfo kKeys[BatchKey::KeyCount] = {
    {0, "Mode", 2, "Batch Mode", "[ None | Export | Import | Done ]"},
    {0, "Recursive", 5, "Source directory: scan recursively", "[ True | False ]"},
    {0, "WaitOnIdle", 5, "Wait for next batch file on idle", "[ True | False ]"},
    {1, "Source", 1, "Full path to source ( Export: QXP | Import: KXQ )", "[ file | directory ]"},
    {1, "Target", 1, "Full path to target", "[ directory ]"},
    {1, "PdfDir", 1, "Full path to PDF target", "[ directory ]"},
    {2, "Count", 3, "Number of files already converted", nullptr},
    {2, "Total", 3, "Total number of files to be converted", nullptr},
    {2, "Active", 5, "Is batch currently active?", nullptr},
};

const KeyInfo* Info(int id) { return id >= 0 && id < BatchKey::KeyCount ? &kKeys[id] : nullptr; }

bool IsJobMode(BatchMode mode) { return mode == BatchExport || mode == BatchImport; }

}  // namespace

BatchFile::BatchFile() : ini_(new CDataFile) {}

BatchFile& BatchFile::Instance() {
  static BatchFile file;
  return file;
}

std::string BatchFile::GetSectionName(int id) {
  const KeyInfo* info = Info(id);
  return info ? BatchSections[info->section] : "";
}

std::string BatchFile::GetKeyName(int id) {
  const KeyInfo* info = Info(id);
  return info ? info->name : "";
}

std::string BatchFile::GetDefault(int id) {
  const KeyInfo* info = Info(id);
  return info ? kWords[info->defaultWord] : "";
}

std::string BatchFile::GetComment(int id) {
  const KeyInfo* info = Info(id);
  if (!info) return std::string();
  return info->range ? SettingsCommentLine(info->label, info->range) : std::string(info->label);
}

bool BatchFile::Open(bool writeDefaults) {
  std::string path;
  if (Settings::Instance().IsLoaded()) {
    path = Settings::Instance().GetPath(SettingsKey::BatchFilePath);
  } else {
    Settings temporary;
    path = temporary.GetPath(SettingsKey::BatchFilePath);
  }
  if (path.size() < 2) return loaded_;

  // A new control file replaces the last one whole: no key of the last one
  // may steer the new job.
  std::unique_ptr<CDataFile> fresh(new CDataFile);
  fresh->SetFlags(ini_->GetFlags());
  loaded_ = fresh->Load(path);
  path_ = path;
  if (loaded_) {
    ini_->Clear();  // what it held belongs to the file it came from
    ini_ = std::move(fresh);
    if (writeDefaults && !WriteDefaults()) return false;
  }
  return loaded_;
}

std::string BatchFile::GetValue(int id) {
  if (!Info(id)) return std::string();
  return ini_->GetValue(GetKeyName(id), GetSectionName(id));
}

BatchMode BatchFile::GetMode() {
  const std::string mode = TrimmedValue(GetValue(BatchKey::Mode));
  for (int i = 0; i < 4; ++i) {
    if (mode == kModeWords[i]) return static_cast<BatchMode>(i);
  }
  return BatchNone;
}

bool BatchFile::GetBoolKey(int id) { return ReadBoolValue(GetValue(id)); }

std::string BatchFile::GetPath(int id) {
  if (id != BatchKey::Source && id != BatchKey::Target && id != BatchKey::PdfDir) return std::string();
  return TrimmedValue(GetValue(id));
}

void BatchFile::GetPaths(std::string& source, std::string& target, std::string& pdfDir) {
  source = GetPath(BatchKey::Source);
  target = GetPath(BatchKey::Target);
  pdfDir = GetPath(BatchKey::PdfDir);
}

bool BatchFile::IsValid() {
  switch (GetMode()) {
    case BatchImport:
      return loaded_ && !GetPath(BatchKey::Source).empty() && !GetPath(BatchKey::Target).empty();
    case BatchExport:
      return loaded_ && !GetPath(BatchKey::Source).empty() &&
             (!GetPath(BatchKey::Target).empty() || !GetPath(BatchKey::PdfDir).empty());
    default:
      return true;
  }
}

std::string BatchFile::NotRunReason() {
  std::string misplaced;
  return NotRunReason(&misplaced);
}

std::string BatchFile::NotRunReason(std::string* misplaced) {
  if (path_.size() < 2) {
    const std::string section = Settings::Instance().MisplacedIn(SettingsKey::BatchFilePath, misplaced);
    return section.empty() ? std::string()
                           : "the settings key BatchFilePath is in section [" + section + "], not [" +
                                 Settings::GetSectionName(SettingsKey::BatchFilePath) + "]";
  }
  // A relative path is read from the folder the host runs in: a file found
  // there runs.
  if (path_[0] != '/' && !loaded_) {
    char* here = ::getcwd(nullptr, 0);
    const std::string where = here == nullptr ? path_ : std::string(here) + "/" + path_;
    std::free(here);
    return "its path is not absolute, and no file is at \"" + where + "\"";
  }
  const std::string::size_type slash = path_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return "its folder \"" + folder + "\" does not exist";
  }
  if (!loaded_) return ::stat(path_.c_str(), &info) == 0 ? "it cannot be read" : "";
  const std::string mode = TrimmedValue(GetValue(BatchKey::Mode));
  if (GetMode() == BatchNone && mode != kModeWords[BatchNone]) {
    return mode.empty() ? "it has no Mode in section [General]"
                        : "its Mode \"" + mode + "\" is none of None, Export, Import and Done";
  }
  if (!IsJobMode(GetMode())) return "";
  if (GetPath(BatchKey::Source).empty()) return "its Source is not set";
  if (GetMode() == BatchImport && GetPath(BatchKey::Target).empty()) return "its Target is not set";
  if (GetMode() == BatchExport && GetPath(BatchKey::Target).empty() && GetPath(BatchKey::PdfDir).empty()) {
    return "it sets neither Target nor PdfDir";
  }
  return "";
}

void BatchFile::ReportNotRun() {
  std::string misplaced;
  const std::string reason = NotRunReason(&misplaced);
  if (reason.empty()) return;
  const std::string& path = path_.size() < 2 ? misplaced : path_;
  const std::string line = "Batch control file \"" + path + "\" not run: " + reason;
  static std::set<std::string> reported;
  if (reported.insert(line).second) ProgramLog() << line << std::endl;
}

bool BatchFile::Check() { return IsValid() && IsJobMode(GetMode()); }

bool BatchFile::IsJobActive() { return Check() && IsActive(); }

bool BatchFile::EndJob(bool finish) {
  if (!IsJobActive()) return false;
  if (finish) {
    waitOnIdle_ = IsWaitOnIdle();
    return FinishJob();
  }
  // A failed step ends its job too, or it would run again on every idle call.
  waitOnIdle_ = false;
  SetActive(false, true, true);
  return false;
}

bool BatchFile::FinishJob() {
  DateTime now;
  GetDateTime(now);
  const std::string stamp = "_" + FormatTimeStamp(now, false);
  const std::string path = path_;
  bool ok = SetActive(false, true, true);
  const bool copied = SaveAs(path + stamp, true);
  SaveAs(path, false);
  ok = SetMode(BatchDone, true, true) && ok;
  // The stamped copy is the job's record: without it the file stays.
  const bool removed = copied && RemoveFileWithRetry(path, 3);
  return ok && copied && removed;
}

bool BatchFile::SetMode(BatchMode mode, bool createKeys, bool save) {
  const int index = mode >= BatchNone && mode <= BatchDone ? mode : BatchNone;
  return SetValue(BatchKey::Mode, kModeWords[index], createKeys, save);
}

bool BatchFile::SetActive(bool active, bool createKeys, bool save) {
  return SetValue(BatchKey::Active, active ? "True" : "False", createKeys, save);
}

bool BatchFile::SetCount(int32_t count, bool createKeys, bool save) {
  return SetValue(BatchKey::Count, std::to_string(count), createKeys, save);
}

bool BatchFile::SetTotal(int32_t total, bool createKeys, bool save) {
  return SetValue(BatchKey::Total, std::to_string(total), createKeys, save);
}

bool BatchFile::SetValue(int id, const std::string& value, bool createKeys, bool save) {
  if (!Info(id)) return false;
  return StoreIniValue(*ini_, GetValue(id), GetSectionName(id), GetKeyName(id), value, GetComment(id), createKeys,
                       save);
}

bool BatchFile::WriteDefaults() {
  bool all = true;
  for (int id = 0; id < BatchKey::KeyCount; ++id) {
    if (!SetValue(id, GetDefault(id), true, true)) all = false;
  }
  return all;
}

bool BatchFile::SaveAs(const std::string& path, bool save) {
  ini_->SetFileName(path);
  return save ? ini_->Save() : false;
}
