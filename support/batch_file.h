// The batch control file: the ini file in which an outside program describes
// a batch job (export host documents, or import translated containers) that
// the plug-in carries out on host idle time.
//
// Nine fixed keys in the sections "General", "Path" and "Status"; typed reads
// (white space around a value ignored); writes that save at once; the rule
// that decides whether a job may run; and the end of a job, which leaves a
// copy of the file named with a time stamp and removes the file itself.  The
// file's path is the settings key BatchFilePath.  Host thread only.
//
// The object also keeps the wait-on-idle flag: set by the plug-in object
// when it was launched with a control file, rewritten by EndJob, read by the
// idle action to decide between waiting for the next control file and asking
// the host to quit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/data_file.h"

// The values of the key Mode, compared exactly (letter case counts); any
// other text, and a missing key, is BatchNone.
enum BatchMode : int32_t { BatchNone = 0, BatchExport = 1, BatchImport = 2, BatchDone = 3 };

// Key ids 0 to 8.
struct BatchKey {
  enum : int { Mode = 0, Recursive, WaitOnIdle, Source, Target, PdfDir, Count, Total, Active, KeyCount };
};

// Section names by index: "General", "Path", "Status".
extern const char* const BatchSections[3];

class BatchFile {
 public:
  // Nothing loaded, empty path, wait-on-idle flag clear.
  BatchFile();
  ~BatchFile() = default;
  BatchFile(const BatchFile&) = delete;
  BatchFile& operator=(const BatchFile&) = delete;

  // The process-wide control file.
  static BatchFile& Instance();

  // Takes the path from the settings (the process-wide store when it has
  // loaded, else a temporary store) and, when it has at least 2 characters,
  // loads that file in place of what was loaded before and keeps the path
  // (also when the load fails; the earlier content then stays).  A shorter
  // path changes nothing.  With `writeDefaults` and a load, every key is
  // set to its default.  The result is whether the file is loaded (false
  // when writing the defaults failed).
  bool Open(bool writeDefaults);
  const std::string& GetFilePath() const { return path_; }
  bool IsLoaded() const { return loaded_; }

  // Per key id; an id outside 0 to 8 gives empty texts.
  static std::string GetSectionName(int id);
  static std::string GetKeyName(int id);
  static std::string GetDefault(int id);
  static std::string GetComment(int id);

  // The stored value; empty when missing (no default).
  std::string GetValue(int id);
  BatchMode GetMode();
  bool IsRecursive() { return GetBoolKey(BatchKey::Recursive); }
  bool IsWaitOnIdle() { return GetBoolKey(BatchKey::WaitOnIdle); }
  bool IsActive() { return GetBoolKey(BatchKey::Active); }
  // For Source, Target and PdfDir the trimmed value, "" when unset (the
  // default " " or empty); "" for other keys.
  std::string GetPath(int id);
  void GetPaths(std::string& source, std::string& target, std::string& pdfDir);

  // Mode None or Done: true.  Import: loaded, Source and Target set.
  // Export: loaded, Source set, and Target or PdfDir set.
  bool IsValid();
  // Valid and mode Export or Import: a batch job is running.
  bool Check();
  bool BeginJob() { return Check(); }
  // Check() and Active reads true.
  bool IsJobActive();
  // Why the control file the settings name runs no job, after Open: the
  // settings key in another section, a relative path that names no file
  // from the host's working folder, a path whose folder is missing, a file
  // that cannot be read, a Mode that is no mode word, a job without its
  // folders.  "" when it runs a job, waits for its
  // file to appear, holds None or Done, or no control file is named.
  std::string NotRunReason();
  // Writes the program-log line "Batch control file "PATH" not run: REASON"
  // when there is a reason, once for each file and reason in the process.
  void ReportNotRun();
  // Ends a job step.  False, changing nothing, unless the job is active.
  // With `finish` the wait-on-idle flag becomes IsWaitOnIdle() and the
  // result is FinishJob().  Without it (a failed step) the flag is cleared,
  // Active is written False so the job does not run again, and the result
  // is false.
  bool EndJob(bool finish);
  // Writes Active False into the file, saves a copy of it as the path
  // followed by "_" and the 14-digit local time stamp, writes Mode Done into
  // the file and, only when the copy was saved, removes the file (3
  // retries).  True when every step succeeded.
  bool FinishJob();

  // Setters: SetValue with the value's text; numbers as "%d".
  bool SetMode(BatchMode mode, bool createKeys = true, bool save = true);
  bool SetActive(bool active, bool createKeys = true, bool save = true);
  bool SetCount(int32_t count, bool createKeys = true, bool save = true);
  bool SetTotal(int32_t total, bool createKeys = true, bool save = true);
  // Sets a key the way the settings store does (see StoreIniValue).
  bool SetValue(int id, const std::string& value, bool createKeys, bool save);
  // Every key set to its default, saved; true when all nine succeeded.
  bool WriteDefaults();
  // Names the file `path`; with `save` the result is that of saving it,
  // without it false.
  bool SaveAs(const std::string& path, bool save);

  bool GetWaitOnIdleFlag() const { return waitOnIdle_; }
  void SetWaitOnIdleFlag(bool wait) { waitOnIdle_ = wait; }

 private:
  bool GetBoolKey(int id);
  // NotRunReason, with the path a misplaced settings key gives.
  std::string NotRunReason(std::string* misplaced);

  std::unique_ptr<CDataFile> ini_;
  bool loaded_ = false;
  std::string path_;
  bool waitOnIdle_ = false;
};
