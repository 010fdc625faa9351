#include "shared/server/conversion_base.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iomanip>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "shared/server/connection.h"
#include "shared/server/conversion.h"
#include "shared/server/file_transfer.h"
#include "shared/server/job_folder_lock.h"
#include "support/date_time.h"
#include "support/host_file_spec.h"
#include "support/object_tracker.h"
#include "support/program_log.h"
#include "support/settings.h"
#include "support/stop_request.h"

namespace {

constexpr uint32_t kNoExtension = 7;
constexpr int kFolderAttempts = 64;
constexpr size_t kStampAndLetters = 30;
const char kSocketTransfer[] = "///file_sock_transfer///";

// The output pair of each server conversion type.
const uint32_t kOutputs[9][2] = {{3, 7}, {2, 7}, {2, 7}, {1, 7}, {1, 2}, {1, 2}, {0, 7}, {0, 2}, {0, 2}};

// Capital letters from a generator seeded once per process, so that jobs in
// the same second (or in other processes) draw different names.
std::string RandomLetters(size_t count) {
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int> letter(0, 25);
  std::string letters;
  for (size_t i = 0; i < count; ++i) letters.push_back(static_cast<char>('A' + letter(generator)));
  return letters;
}

// The text after the last separator; the whole path without one.
std::string FileName(const std::string& path) {
  size_t slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RightAligned48(const std::string& text) {
  std::ostringstream out;
  out << std::setw(48) << std::right << text;
  return out.str();
}

const char* Outcome(bool ok) { return ok ? "SUCCESS" : "FAILURE"; }

// Whether the server was asked to stop; logged each time it is found so.
bool Stopping(const std::string& where) {
  if (!StopRequested()) return false;
  LogMessage(where, "Stop requested: the job ends without its results", 6);
  return true;
}

// Which file the name `path` holds (device and inode; 0 and 0 for none): an
// output is committed by renaming a new file over the name, so a task's
// output was written when the name holds another file than before.
std::pair<dev_t, ino_t> FileAt(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {0, 0};
  return {st.st_dev, st.st_ino};
}

// The size of the regular file at `path`; 0 when there is none.
uint64_t ResultSize(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_size);
}

// Frees a node the job holds, as the object tracker sees it.
template <class Node>
void ReleaseNode(std::unique_ptr<Node>& node, const char* kind, const std::string& where) {
  if (!node) return;
  LogMemoryStatus(where);
  TrackFree(kind, node.get());
  LogMemoryStatus(where);
  node.reset();
}

// Makes `node` the job's node in `slot`, freeing what was there.
template <class Node>
void HoldNode(std::unique_ptr<Node>& slot, Node* node, const char* kind, const std::string& where) {
  ReleaseNode(slot, kind, where);
  LogMemoryStatus(where);
  slot.reset(node);
  TrackAlloc(kind, node, where);
  LogMemoryStatus(where);
}

// The folder of an intermediate document: made fresh in the host's
// temporary folder and removed, with the document, when the job ends.
class IntermediateFolder {
 public:
  IntermediateFolder() = default;
  ~IntermediateFolder() {
    // The document first, the mark last (RemoveDeadJobFolders).
    const bool emptied = !folder_ || folder_->RemoveContents();
    lock_.reset();
    if (folder_ && !(folder_->Remove() && emptied))
      LogMessage(CONVERSION_BASE_LOCATION("ct_ConversionBase::Run"), "ERROR: Could not remove intermediate file!", 5);
  }
  IntermediateFolder(const IntermediateFolder&) = delete;
  IntermediateFolder& operator=(const IntermediateFolder&) = delete;

  // The path of `name` in a fresh folder; empty when none could be made.
  std::string Place(const std::string& name) {
    std::string base = GetHostTempFolder();
    if (base.empty()) base = GetTempFolderPath();
    folder_ = MakeJobFolder(base);
    if (!folder_) return std::string();
    lock_ = std::make_unique<JobFolderLock>(folder_->GetPath());
    file_ = std::make_unique<ct_File<std::string>>(name, folder_.get(), false);
    return file_->GetPath();
  }

 private:
  std::unique_ptr<ct_Folder<std::string>> folder_;
  std::unique_ptr<ct_File<std::string>> file_;
  std::unique_ptr<JobFolderLock> lock_;
};

}  // namespace

std::unique_ptr<ct_Folder<std::string>> MakeJobFolder(const std::string& folder) {
  std::string base = folder;
  StripTrailingChar(base, kPathSeparator);
  if (base.empty()) return nullptr;
  if (base == std::string(1, kPathSeparator)) base.clear();  // the root: "" + "/" + name
  DateTime moment;
  GetDateTime(moment);
  const std::string stamp = FormatTimeStamp(moment, false);
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    const std::string name = "PELMO_" + stamp + "_" + RandomLetters(kStampAndLetters - stamp.size());
    // Made here, exclusively: a folder that is there already is someone else's.
    // Only the server's user may look in: it holds the clients' documents.
    if (::mkdir((base + kPathSeparator + name).c_str(), 0700) == 0)
      return std::make_unique<ct_Folder<std::string>>(name, base.empty() ? std::string(1, kPathSeparator) : base,
                                                      false, false);
    if (errno != EEXIST) {
      LogMessage(CONVERSION_BASE_LOCATION("MakeJobFolder"), std::string("Error: ") + std::strerror(errno), 6);
      return nullptr;
    }
  }
  return nullptr;
}

IntermediateFile GetIntermediateFile(const std::string& source, const std::string& targetName, uint32_t type) {
  IntermediateFile record;
  if (type != 1 || GetFileTypeIndex(ExtractExtension(source, true)) != 1) return record;
  record.set = true;
  std::string name = targetName;
  if (ReplaceExtension(name, ".qxp", false, true)) record.path = GetHostTempFolder() + kPathSeparator + name;
  return record;
}

ct_ConversionBase::ct_ConversionBase(ct_Connection* connection, uint32_t type)
    : m_connection(connection), m_eo_CnvType(type), m_withOverset(type == 2 || type == 5 || type == 8) {}

ct_ConversionBase::~ct_ConversionBase() {
  const std::string where = CONVERSION_BASE_LOCATION("ct_ConversionBase::~ct_ConversionBase");
  m_jobLock.reset();
  ReleaseNode(m_jobFolder, "t_Folder", where);
  ReleaseNode(m_incomingFolder, "t_Folder", where);
  ReleaseNode(m_sourceFile, "t_File", where);
  ReleaseNode(m_firstResult, "t_File", where);
  ReleaseNode(m_secondResult, "t_File", where);
  ReleaseNode(m_thirdResult, "t_File", where);
}

void ct_ConversionBase::GetFileTypeXtensionsByType(uint32_t* first, uint32_t* second) const {
  if (m_eo_CnvType > 8) {
    LogMessage(CONVERSION_BASE_LOCATION("ct_ConversionBase::GetFileTypeXtensionsByType"),
               "Error: unknown conversion type!", 6);
    return;
  }
  if (first) *first = kOutputs[m_eo_CnvType][0];
  if (second) *second = kOutputs[m_eo_CnvType][1];
}

bool ct_ConversionBase::CreateTmpFolder() {
  const std::string where = CONVERSION_BASE_LOCATION("ct_ConversionBase::CreateTmpFolder");
  if ((m_jobFolder || m_incomingFolder) && !RemoveTmpFolder())
    LogMessage(where, "Warning: unable to remove previous temporary folder!", 6);
  ReleaseNode(m_incomingFolder, "t_Folder", where);
  std::string base = Settings::Instance().GetPath(SettingsKey::TemporaryPath);
  if (base.empty()) base = GetTempFolderPath();
  std::unique_ptr<Folder> job = MakeJobFolder(base);
  if (!job) {
    ReleaseNode(m_jobFolder, "t_Folder", where);
    LogMessage(where, "Error: create failed!", 6);
    return false;
  }
  m_jobLock.reset();
  m_jobLock = std::make_unique<JobFolderLock>(job->GetPath());
  HoldNode(m_jobFolder, job.release(), "t_Folder", where);
  HoldNode(m_incomingFolder, new Folder("incoming", m_jobFolder.get(), true), "t_Folder", where);
  return m_jobFolder->Exists(true) && m_incomingFolder->Exists(true);
}

bool ct_ConversionBase::RemoveTmpFolder() {
  if (!m_jobFolder || !Settings::Instance().IsClearTempFiles()) return false;
  // The files first, the mark last, then the folder: a kill on the way
  // leaves a marked folder or an empty one (RemoveDeadJobFolders).
  const bool emptied = m_jobFolder->RemoveContents();
  m_jobLock.reset();
  return m_jobFolder->Remove() && emptied;
}

void ct_ConversionBase::SetThirdResult(const std::string& name) {
  if (!m_jobFolder) return;
  HoldNode(m_thirdResult, new File(name, m_jobFolder.get(), false), "t_File",
           CONVERSION_BASE_LOCATION("ct_ConversionBase::SetThirdResult"));
}

bool ct_ConversionBase::SendFile(const std::string& path, bool compress) {
  return FileTransfer::Send(*m_connection, path, compress);
}

std::string ct_ConversionBase::ReceiveFile(const std::string& folder, bool& compressed) {
  return FileTransfer::Receive(*m_connection, folder, compressed, [this](const std::string& name) {
    HoldNode(m_sourceFile, new File(name, m_incomingFolder.get(), true), "t_File",
             CONVERSION_BASE_LOCATION("ct_ConversionBase::ReceiveFile"));
  });
}

bool ct_ConversionBase::Run() {
  LogMessage(CONVERSION_BASE_LOCATION("ct_ConversionBase::Run"), "Start", 4);
  if (m_eo_CnvType > 8) return false;
  try {
    return RunDialogue();
  } catch (...) {
    RemoveTmpFolder();
    throw;
  }
}

bool ct_ConversionBase::RunDialogue() {
  const std::string where = CONVERSION_BASE_LOCATION("ct_ConversionBase::Run");
  ct_Connection& conn = *m_connection;
  auto write = [&conn](const std::string& line) { return conn.writeLine(line, true, '\n'); };
  auto read = [&conn] { return conn.readLine(true, '\n'); };

  uint32_t first = kNoExtension, second = kNoExtension;
  GetFileTypeXtensionsByType(&first, &second);
  std::string jobText = "export";
  if (*JobTextExtensionTable[first]) jobText += std::string(" ") + (JobTextExtensionTable[first] + 1) + (first == 3 ? "s" : "");
  if (*JobTextExtensionTable[second]) jobText += std::string(" and ") + (JobTextExtensionTable[second] + 1);
  if (m_withOverset) jobText += " and overset";
  write(jobText);

  std::string line = read();
  WriteServerAlive();
  const bool socketMode = line == kSocketTransfer;
  bool compressed = false;
  std::string source, targetFolder;
  if (socketMode) {
    write("file_sock_transfer ok");
    if (!CreateTmpFolder() || !m_jobFolder || !m_incomingFolder) {
      RemoveTmpFolder();
      return false;
    }
    targetFolder = m_jobFolder->GetPath();
    source = ReceiveFile(m_incomingFolder->GetPath(), compressed);
    if (source.empty()) {
      RemoveTmpFolder();
      return false;
    }
    WriteServerAlive();
  } else {
    source = line;
  }
  LogMessage(where,
             std::string("File mode: ") +
                 (socketMode ? std::string("socket transfer") + "\tCompression: " + (compressed ? "on" : "off")
                             : std::string("shared folder")),
             7);

  // A dialogue error: its answer, then the end of the job.
  auto refuse = [&](const std::string& answer) {
    write(answer);
    if (socketMode) RemoveTmpFolder();
    return false;
  };
  bool isFolder = false;
  if (!PathExists(source, &isFolder) || isFolder) return refuse("Could not open file '" + source + "'.");
  if (!socketMode) {
    write("filename ok");
    targetFolder = read();
  }
  const int removed = StripTrailingChar(targetFolder, kPathSeparator);
  LogMessage(where, "WARNING: Removed " + std::to_string(removed) + " path separators.", 2);
  if (!PathExists(targetFolder, &isFolder) || !isFolder)
    return refuse("Target folder '" + targetFolder + "' does not exist.");
  if (!socketMode) write("target folder ok");
  // Only a plain file name: anything else could leave the target folder.
  const std::string targetName = read();
  if (const char* fault = targetName.empty() ? "" : FileTransfer::FileNameFault(targetName)) {
    if (*fault) LogMessage(where, "Target file name refused (" + std::string(fault) + ")", 6);
    return refuse("target file name missing.");
  }
  write("target name ok");

  IntermediateFile intermediate = GetIntermediateFile(source, targetName, m_eo_CnvType);
  IntermediateFolder intermediateFolder;
  if (intermediate.set) {
    first = 0;
    second = 2;
    if (!intermediate.path.empty()) intermediate.path = intermediateFolder.Place(FileName(intermediate.path));
  }
  const std::string ext1 = FileExtensionTable[first], ext2 = FileExtensionTable[second];
  const bool hasSecond = !ext2.empty();
  const std::string present = ExtractExtension(targetName, true);
  const bool carries = present == ext1 || (hasSecond && present == ext2);
  const std::string base = targetFolder + kPathSeparator + targetName;
  auto targetWith = [&](const std::string& ext) {
    std::string path = base;
    if (!carries || !ReplaceExtension(path, ext, false, true)) path = base + ext;
    return path;
  };
  std::string target1 = targetWith(ext1);
  const std::string target2 = hasSecond ? targetWith(ext2) : std::string();
  if (intermediate.set) target1 = intermediate.path;
  // The intermediate document is no result: only what the client asked for
  // travels back.
  if (socketMode && !intermediate.set)
    HoldNode(m_firstResult, new File(FileName(target1), m_jobFolder.get(), false), "t_File", where);

  m_taskFlag = true;
  // One task: the conversion, which counts only when it left a result.
  bool leftResult = false;  // a task left a new output in place
  auto task = [&](uint32_t index, const std::string& from, const std::string& to, int number) {
    const std::string name = "Task " + std::to_string(number) + "/" + (hasSecond ? "2" : "1");
    const std::vector<std::string> outputs = to.empty() ? std::vector<std::string>() : Outputs(index, to);
    std::vector<std::pair<dev_t, ino_t>> before;
    for (const std::string& output : outputs) before.push_back(FileAt(output));
    const bool runs = !to.empty() && !Stopping(where);
    bool ok = runs && doExport(index, from, to);
    std::string written, earlier;
    if (runs && StopRequested()) {
      // Stopped while it ran: it counts as done when every output it writes
      // was committed before the stop came.
      for (size_t i = 0; i < outputs.size(); ++i) {
        const std::pair<dev_t, ino_t> now = FileAt(outputs[i]);
        const bool isNew = now.second != 0 && now != before[i];
        std::string& list = isNew ? written : earlier;
        list += (list.empty() ? "" : ", ") + FileName(outputs[i]) + (isNew || before[i].second ? "" : " (none)");
      }
      ok = earlier.empty();
      if (written.empty()) Stopping(where);
    }
    if (ok && ResultSize(to) == 0) {
      LogMessage(where, "ERROR: Missing or empty result: " + to, 6);
      ok = false;
    }
    LogMessage(where, "doExport[AFTER " + std::to_string(number) + "] - Job done: " + Outcome(ok), 3);
    if (!ok) m_taskFlag = false;
    LogMessage(where,
               name + ": " + Outcome(ok) + "\t[" + RightAligned48(FileName(from)) + " -> " +
                   RightAligned48(FileName(to)) + "]",
               7);
    if (!written.empty() && !earlier.empty())
      LogMessage(where, name + ": stopped with its outputs partly written: new " + written + "; earlier " + earlier, 7);
    leftResult = leftResult || ok || !written.empty();
    return ok;
  };
  WriteServerAlive();
  LogMessage(where, "doExport[BEFORE 1]", 2);
  const bool result1 = task(first, source, target1, 1);
  bool result2 = true;
  if (hasSecond) {
    LogMessage(where, "doExport[BEFORE 2]", 2);
    std::string source2 = source;
    if (m_eo_CnvType == 7 || m_eo_CnvType == 8 || (m_eo_CnvType == 1 && intermediate.set)) {
      source2 = target1;
    } else {
      const int index = GetFileTypeIndex(ExtractExtension(source, true));
      const bool ownExtension = !ExtractExtension(source, false).empty() && index == 7;
      if (!ownExtension && !ReplaceExtension(source2, ".qxp", false, false))
        LogMessage(where, "switch (m_eo_CnvType) - Warning: Source file is missing extension!", 5);
    }
    LogMessage(where, "switch (m_eo_CnvType) - In: " + source2, 3);
    if (socketMode) HoldNode(m_secondResult, new File(FileName(target2), m_jobFolder.get(), false), "t_File", where);
    WriteServerAlive();
    LogMessage(where, "In: " + source2 + "\tOut: " + target2, 2);
    result2 = task(second, source2, target2, 2);
  }
  const bool closed = closeAllDocuments();
  LogMessage(where, std::string("Closed all documents: ") + Outcome(closed), 5);

  // A stop after a task left its outputs says so only of the socket mode's
  // results, which are not sent.
  if (socketMode || !leftResult ? Stopping(where) : StopRequested()) {
    // The job ends here, as after a failed transfer: nothing more is sent.
    if (socketMode) RemoveTmpFolder();
    return false;
  }
  if (socketMode) {
    WriteServerAlive();
    // Results of failed tasks are not sent; what is missing or empty is
    // skipped, and the dialogue goes on to its end.
    const std::pair<std::unique_ptr<File>*, bool> results[] = {
        {&m_firstResult, result1}, {&m_secondResult, result2}, {&m_thirdResult, result2}};
    for (const auto& [node, ok] : results) {
      if (!*node) continue;
      const std::string path = (*node)->GetPath();
      if (!ok || ResultSize(path) == 0) {
        LogMessage(where, "Result not sent: " + (*node)->GetName(), 6);
        continue;
      }
      WriteServerAlive();
      if (!SendFile(path, compressed)) {
        LogMessage(where, "File transfer failed: " + (*node)->GetName(), 7);
        RemoveTmpFolder();
        return false;
      }
    }
    LogMessage(where, "File transfer successful", 7);
    for (const char* expected : {"wait_for_file", "no_more_files ok"}) {
      line = read();
      if (line != expected) {
        write("File Transfer Command unknown: " + line);
        RemoveTmpFolder();
        return false;
      }
      if (line == std::string("wait_for_file")) write("no_more_files");
    }
  }
  write("export finished");
  if (socketMode) RemoveTmpFolder();
  WriteServerAlive();
  const bool result = result1 && result2 && m_taskFlag;
  LogMessage(where, std::string("Conversion ") + (result ? "successful" : "failed"), 7);
  return result;
}
