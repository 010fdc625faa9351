// Which job folders belong to a running server, and the clean-up at start
// of those whose server is gone.
//
// While a job (or an intermediate document) uses a folder made by
// MakeJobFolder, the folder holds the mark ".server.pid": the process id,
// in a file locked (flock) by that process, removed when the job lets the
// folder go.  The system drops the lock when the process ends however it
// ends, so a mark that is there but not locked names a job that was cut off
// (a killed server) and whatever it left is partial.  A folder goes
// everything else first, then its mark, then itself; what a kill while a
// folder is made or removed leaves (no mark, and at most an empty, unheld
// file of the mark's made name) is taken by the sweeps below once a minute
// has passed.
#pragma once

#include <string>

class JobFolderLock {
 public:
  // Marks `folder` (mode 0644); a mark that cannot be made is logged and
  // leaves the folder unmarked (it is then never taken for a dead job's).
  // Where the file system has no hard links the mark is made new at its
  // name and locked at once; an empty mark younger than a minute is then
  // taken for a live job's.
  explicit JobFolderLock(const std::string& folder);
  // Removes the mark, then drops the lock.
  ~JobFolderLock();
  JobFolderLock(const JobFolderLock&) = delete;
  JobFolderLock& operator=(const JobFolderLock&) = delete;

 private:
  std::string path_;
  int fd_ = -1;
};

// Removes everything in `folder` but its mark (the mark's owner drops it
// after, then the folder goes).
void RemoveAllButMark(const std::string& folder);

// In `base`: every folder named as MakeJobFolder names them whose mark is
// there and not locked is removed with all in it when `whole`, else only
// the partial files in it (received files and outputs of their unfinished
// names) and the mark go, and the folder stays; an intermediate document's
// folder (one without "incoming") always goes whole.  Folders without a
// mark (but the leftovers of a kill named above), locked ones and anything
// of another name are left alone.  Each removal is logged; answers how
// many folders were cleaned.
int RemoveDeadJobFolders(const std::string& base, bool whole);

// In `base`: every folder of a PdfProbe or PdfStyle folder's name
// (PrivateFolder) whose mark no live process holds goes with all in it,
// logged.
void RemoveDeadPrivateFolders(const std::string& base);

// In `base`: every server log folder ("PELMO_<stamp>_LOG") whose mark no
// live process holds (its server was killed) goes with all in it unless
// `keep` (keepServerLog); a kept one loses its mark and is named in the log.
void RemoveDeadLogFolders(const std::string& base, bool keep);
