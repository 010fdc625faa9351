// One conversion job of the server and what every job shares: the dialogue
// with the client, the job's temporary folder, the result transfers.
//
// A job is made by the command table for one export command with the
// server conversion type 0-8 and runs once (Run).  In shared-folder mode the
// client names a source file and a target folder the server can reach; in
// socket mode the source travels over the connection into a fresh job
// folder, the results are made there and travel back, and the job folder
// is removed at the end (with clearTempFiles on).  The subclass does the
// conversion itself (doExport) and closes what it opened
// (closeAllDocuments).  Host thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/CnvTools.h"
#include "support/paths.h"

class ct_Connection;
class JobFolderLock;

// The location text of the server's records: "ConversionBase[line]:" and
// the function's name with "()".
#define CONVERSION_BASE_LOCATION(function) LocationText("ConversionBase", __LINE__, function)

class IConversion {
 public:
  virtual ~IConversion() {}
  // Converts `source` into `target`, a file of the kind FileExtensionTable
  // names at `outputIndex`; true when it succeeded.
  virtual bool doExport(uint32_t outputIndex, const std::string& source, const std::string& target) = 0;
  // Closes the documents the conversions left open; true when that went well.
  virtual bool closeAllDocuments() = 0;
};

class ct_ConversionBase : public IConversion {
 public:
  using Folder = ct_Folder<std::string>;
  using File = ct_File<std::string>;

  // A job of server conversion type `type` over `connection` (not owned);
  // types 2, 5 and 8 are the ones "with overset".
  ct_ConversionBase(ct_Connection* connection, uint32_t type);
  // Frees the folder and file nodes; nothing on disk is touched.
  ~ct_ConversionBase() override;
  ct_ConversionBase(const ct_ConversionBase&) = delete;
  ct_ConversionBase& operator=(const ct_ConversionBase&) = delete;

  // Runs the job's dialogue and tasks.  True when every task made its
  // result; false on a dialogue or transfer error or a failed task.  A type
  // outside 0-8 answers false without a word.  Whatever a task throws
  // passes through, after the job folder was removed as at the end.  Once
  // the server is asked to stop (support/stop_request.h) no task starts,
  // nothing more is sent and the job fails; the task running succeeds only
  // when all its outputs were committed before the stop (some of them: a
  // line names those and the earlier files).
  bool Run();

  // Makes a fresh job folder "PELMO_" + time stamp + "_" + letters (30
  // characters after "PELMO_" and the stamp's separator) under
  // TemporaryPath, else the temporary folder, and its subfolder "incoming";
  // true when both exist.  A name already taken is never shared.  The
  // folder is marked as this process's while the job holds it
  // (job_folder_lock.h).
  bool CreateTmpFolder();
  // With a job folder and clearTempFiles on: removes the job folder with
  // everything known in it and answers whether that went; else false.
  bool RemoveTmpFolder();

  // The FileExtensionTable indexes of the type's first and second result (7:
  // none); a null pointer is skipped.  An unknown type is logged and leaves
  // both as they were.
  void GetFileTypeXtensionsByType(uint32_t* first, uint32_t* second) const;

  // The sending and receiving dialogues of one file over the connection.
  bool SendFile(const std::string& path, bool compress);
  // Receives into `folder`; the received file's node, made on disk as the
  // data starts, becomes the job's source file.  The file's path, or empty
  // on failure.
  std::string ReceiveFile(const std::string& folder, bool& compressed);

  uint32_t GetType() const { return m_eo_CnvType; }

 protected:
  // Makes the file node `name` in the job folder the job's third result
  // (nothing on disk); nothing without a job folder.
  void SetThirdResult(const std::string& name);
  // The files a task converting into `target` at `outputIndex` writes:
  // `target` alone, unless the conversion writes more.
  virtual std::vector<std::string> Outputs(uint32_t outputIndex, const std::string& target) const {
    (void)outputIndex;
    return {target};
  }

  ct_Connection* m_connection;
  uint32_t m_eo_CnvType;
  bool m_withOverset;
  bool m_taskFlag = false;  // set as the tasks start, cleared by each that fails
  std::unique_ptr<Folder> m_jobFolder;
  std::unique_ptr<Folder> m_incomingFolder;
  std::unique_ptr<File> m_sourceFile;
  std::unique_ptr<File> m_firstResult;
  std::unique_ptr<File> m_secondResult;
  std::unique_ptr<File> m_thirdResult;
  std::unique_ptr<JobFolderLock> m_jobLock;  // the job folder's mark

 private:
  bool RunDialogue();
};

// The intermediate document of a PDF job (type 1) whose source is a ".kxq"
// container: the host's temporary folder, a separator and the target name
// with the extension ".qxp".  Not set for any other job; set with an empty
// path when the name takes no extension.
IntermediateFile GetIntermediateFile(const std::string& source, const std::string& targetName, uint32_t type);

// A folder made exclusively under `base` (the root when "/"), named
// "PELMO_" + the current time stamp + "_" + capital letters drawn from a
// generator of its own, 37 characters in all; names already taken are drawn
// again; mode 0700.  Null when none could be made.
std::unique_ptr<ct_Folder<std::string>> MakeJobFolder(const std::string& base);
