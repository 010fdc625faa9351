#include "plugin/conversion/import_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

#include "framework/failures.h"
#include "platform/win/replacing_file.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/export_tables.h"
#include "plugin/conversion/importer.h"
#include "plugin/conversion/container_open.h"
#include "plugin/conversion/kxt_import.h"
#include "plugin/qapi/cnv_tools.h"
#include "plugin/qapi/file_dialogs.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/quark_doc.h"
#include "plugin/qapi/ui_alert.h"
#include "plugin/qapi/ui_dialogs.h"
#include "plugin/qapi/ui_host.h"
#include "plugin/xtension/actions.h"
#include "support/batch_file.h"
#include "support/brenix_interface.h"
#include "support/date_time.h"
#include "support/error_names.h"
#include "support/error_record.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"
#include "support/reg_key.h"
#include "support/settings.h"

namespace {

constexpr int32_t kCreatorQxp = 0x51585020;  // 'QXP '
constexpr uint16_t kErrorCreateTarget = 1011;
constexpr uint16_t kErrorWriteTarget = 1012;

// One line of the log's two columns: a label of 10 characters and a text
// of 70, both left-aligned.
void LogColumns(const std::string& label, const std::string& text) {
  ProgramLog() << std::left << std::setw(10) << label << std::setw(70) << text << std::right
               << std::endl;
}

void LogStamp() {
  DateTime now;
  GetDateTime(now);
  WriteDateTimeStamp(ProgramLog(), now) << std::endl;
}

const std::string& Rule() {
  static const std::string rule(80, '*');
  return rule;
}

// "NAME<code>:\ttext" and a line end.
std::string ErrorText(const ErrorRecord& error) {
  const char* name = GetErrorName(error.code);
  return std::string(name != nullptr ? name : "") + "<" + std::to_string(error.code) + ">:\t" +
         error.message.Text() + "\n";
}

// The text of the failure being handled, with a line end.
std::string FailureText() {
  try {
    throw;
  } catch (const ErrorRecord& error) {
    return ErrorText(error);
  } catch (const std::exception& error) {
    return std::string(error.what()) + "\n";
  } catch (...) {
    return "unknown failure\n";
  }
}

ErrorRecord MakeError(uint16_t code, const std::string& text) {
  return ErrorRecord{code, MsgString::Create(text.c_str())};
}

void ShowResult(bool done) {
  RecordCommandOutcome(done ? CommandOutcome::kDone : CommandOutcome::kFailed);
  const int32_t ok = 1;
  int32_t answer = 0;
  ShowDialog(done ? kDialogImportDone : kDialogImportFailed, 0, &answer, &ok, false, false, false);
}

void Fail() {
  LogColumns("ERROR:", "Import failed");
  ShowResult(false);
}

std::string PathOf(const XTFileSpec& spec) {
  std::string path;
  if (FSSpecToPath(path, spec) != kXTOk) GetRecordName(spec, path);
  return path;
}

// The target file of the import while the stored host document is written
// into it.  The document goes to a new file beside the target
// (win::ReplacingFile), created and opened through the host (ErrorRecord
// 1011 when it cannot be), written until every byte is out (1012 when the
// host fails or makes no progress) and put in the target's place by Commit
// (1012 with the system's reason when it cannot be): a file that was at the
// target's name stays until the whole document arrived.  Discard, and
// destruction without Commit, remove only the new file.
class Reader final : public BX_KXT::BXOutStream {
 public:
  explicit Reader(const XTFileSpec& target) : path_(PathOf(target)), output_(path_) {
    if (!output_.ok()) throw MakeError(kErrorCreateTarget, path_ + ": " + output_.Reason());
    XTFileSpec spec{};
    if (xt_fsmakefsspec(0, 0, output_.path(), spec, true, false, false, nullptr, 0, false, nullptr) != kXTOk ||
        CnvTools::OpenImportDocument(spec, &file_, 2) != kXTOk) {
      throw MakeError(kErrorCreateTarget, path_);
    }
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  ~Reader() { Close(); }

  void PutData(const void* data, uint32_t n) override {
    const XTFileDataSuite* files = FileDataTable();
    const auto* bytes = static_cast<const char*>(data);
    uint32_t done = 0;
    while (done < n) {
      const uint32_t left = n - done;
      int32_t count = left > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(left);
      const int32_t result =
          files != nullptr ? files->write_file(file_, &count, bytes + done) : kXTErrNoSuite;
      if (result != kXTOk || count <= 0) throw MakeError(kErrorWriteTarget, path_);
      done += static_cast<uint32_t>(count);
    }
  }

  void Commit() {
    Close();
    if (!output_.Commit()) throw MakeError(kErrorWriteTarget, path_ + ": " + output_.Reason());
  }

  void Discard() {
    Close();
    output_.Discard();
  }

 private:
  void Close() noexcept {
    if (file_ == 0) return;
    if (const XTFileDataSuite* files = FileDataTable()) files->close_file(file_);
    file_ = 0;
  }

  std::string path_;
  win::ReplacingFile output_;
  int16_t file_ = 0;
};

// Writes stored host document 0 of `book` to `target`.  The one guarded
// step of the command: an error is logged and the target left as it was.
bool WriteStoredDocument(BX_KXT::Import::IBook& book, const XTFileSpec& target) {
  try {
    Reader reader(target);
    try {
      book.LoadQXP(0, &reader);
      reader.Commit();
    } catch (...) {
      reader.Discard();
      throw;
    }
    return true;
  } catch (const ErrorRecord& error) {
    ProgramLog() << "ImportProto::ActionPerformed():\t" << ErrorText(error);
    LogColumns("ERROR:", "Unable to load original QXP source from KXQ!");
    LogColumns(" => ", "skipping file.");
  } catch (const FilterException& failure) {
    ProgramLog() << "ImportProto::ActionPerformed(): ERROR on loading QXP: " << failure.what() << "\n";
  } catch (...) {
    ProgramLog() << "ImportProto::ActionPerformed(): Unknown ERROR on loading QXP!\n";
  }
  return false;
}

// Whether `target` names the container at `source`, also through a link or
// another spelling of its path: importing there would overwrite the
// container with the stored document it is read from.  Logged when it does.
bool NamesSource(const std::string& source, const std::string& target) {
  std::error_code error;
  const bool same = !target.empty() && std::filesystem::equivalent(source, target, error) && !error;
  if (same) {
    LogColumns("ERROR:", "The target \"" + target + "\" is the container being imported");
  }
  return same;
}

bool Interactive() {
  const BrenixInterface& modes = *BrenixInterface::Instance();
  BatchFile& batch = BatchFile::Instance();
  const BatchMode mode = batch.GetMode();
  const bool batchIdle = !batch.IsValid() || mode == BatchNone || mode == BatchDone;
  return !modes.multiDocMode && !IsBatchMode() && batchIdle && !modes.serverMode;
}

bool AskTarget() {
  const BrenixInterface& modes = *BrenixInterface::Instance();
  return !modes.multiDocMode && !IsBatchMode() && !BatchFile::Instance().Check() &&
         !modes.serverMode;
}

void ReportUnopenedDocument() {
  LogColumns("ERROR:", "Unable to open document for import!");
  LogColumns(" -> ", "Please check validity of source and target (characters, length).");
  LogColumns(" -> ", "Do you have write permissions for the given target folder?");
  LogColumns(" -> ",
             "Please check that current version of QuarkXPress is equal (or newer) to that being "
             "used to create the document.");
  LogColumns(" -> ",
             "Do you really try to import a valid Solvane (\"-Text-and-Code-\") document, i.e. "
             "\"*.kxq\"?");
  ShowAlert(kAlertResource,
            "ERROR: Unable to open document for import!\n-> see BrenixLogfile.txt for details", "",
            "", "", false, false, false);
  ShowResult(false);
}

// The user's master-page choice: settings key 15, read at the first import
// of the process.
bool UserSelectsNewMasterPages() {
  static const bool userNew = Settings::Instance().GetMasterPageMode() == 1;
  return userNew;
}

// A file that was at the import's target before the import.  It is moved
// aside, under a name of its own beside the target, while the import
// writes there, and comes back when the object goes unless the import
// succeeded (Commit), so a failed import never costs the user that file.
// Without a file before, what a stopped import left at the target is
// removed, and a document the import saved though it failed is kept
// (KeepSaved).  ok() is false, with an "ERROR:" line naming the target and
// the reason, when the file cannot be moved aside.
class PreviousTarget {
 public:
  explicit PreviousTarget(std::string target) : target_(std::move(target)) {
    struct stat info {};
    if (::lstat(target_.c_str(), &info) != 0) return;
    if (S_ISREG(info.st_mode)) mode_ = info.st_mode & 07777;
    const int fd = win::CreateFileBeside(target_, O_WRONLY, &aside_);
    if (fd >= 0) ::close(fd);
    if (fd < 0 || ::rename(target_.c_str(), aside_.c_str()) != 0) {
      LogColumns("ERROR:", "cannot set \"" + target_ + "\" aside: " + std::strerror(errno));
      if (fd >= 0) ::unlink(aside_.c_str());
      aside_.clear();
      ok_ = false;
      done_ = true;
    }
  }
  PreviousTarget(const PreviousTarget&) = delete;
  PreviousTarget& operator=(const PreviousTarget&) = delete;
  ~PreviousTarget() {
    if (done_) return;
    if (aside_.empty()) {
      ::unlink(target_.c_str());
    } else if (::rename(aside_.c_str(), target_.c_str()) != 0) {
      LogColumns("ERROR:", "the file that was at \"" + target_ + "\" stays at \"" + aside_ +
                               "\": " + std::strerror(errno));
    }
  }

  bool ok() const { return ok_; }
  // The import succeeded: the file set aside goes.
  void Commit() {
    if (!aside_.empty()) ::unlink(aside_.c_str());
    done_ = true;
  }
  // The document now at the target takes the mode of the file set aside.
  void PassMode() const {
    if (mode_ != 0) ::chmod(target_.c_str(), mode_);
  }
  // The import saved its document but failed: kept only where no file was
  // there before.
  void KeepSaved() { done_ = aside_.empty(); }

 private:
  std::string target_;
  std::string aside_;
  mode_t mode_ = 0;
  bool ok_ = true;
  bool done_ = false;
};

// Imports the stories of container document 0 into `document` and saves it;
// the result dialog tells how it went.  kStopped, with a log line saying
// why and no dialog, when the import stopped before the document was saved:
// a container without a document, a damaged container (whatever its reader
// raised) or a failed save.  A host call that failed since the command
// began (`failures` were counted before it) may have left out part of the
// stories: the document is saved but the import fails (kSavedFailed), as
// when a story found no box.
enum class Imported { kStopped, kSavedFailed, kSucceeded };
Imported ImportInto(BX_KXT::Import::IBook& book, RefHandle<QuarkDoc> document, uint32_t failures) {
  bool withoutBox = true;
  try {
    auto container = book.OpenDoc(0);
    if (!container) {
      LogColumns("ERROR:", "The container holds no document");
      return Imported::kStopped;
    }
    const bool newMasterPages = UseNewMasterPageHandling(container->GetAttr(u"source_data_type"),
                                                         UserSelectsNewMasterPages());
    Settings& settings = Settings::Instance();
    if (std::unique_ptr<Importer> importer =
            CreateImporter(document, container, settings.IsAutomaticResizeOfFrames(),
                           settings.IsTestStyleOfParagraph(), settings.IsSetUniqueID(),
                           newMasterPages)) {
      importer->Run();
      withoutBox = importer->StoryWithoutBox();
    }
  } catch (...) {
    ProgramLog() << "ImportProto::ActionPerformed():\t" << FailureText();
    LogColumns("ERROR:", "The container is damaged: the import stopped");
    return Imported::kStopped;
  }
  if (!document->Save()) return Imported::kStopped;
  // The saved document closes when the command lets it go.
  document->windowFlag = true;
  const bool hostFailed = HostFailureCount() != failures;
  if (hostFailed) LogColumns("ERROR:", "a host call failed while the stories were imported");
  ProgramLog() << "... finished." << std::endl;
  LogStamp();
  ProgramLog() << Rule() << std::endl;
  const bool succeeded = !withoutBox && !hostFailed;
  ShowResult(succeeded);
  return succeeded ? Imported::kSucceeded : Imported::kSavedFailed;
}

}  // namespace

namespace CnvTools {

int32_t OpenImportDocument(const XTFileSpec& spec, int16_t* file, int32_t access,
                           bool* createdOut) {
  const HostLink& link = XT();
  const XTFileDataSuite* data = FileDataTable();
  if (file == nullptr) return kXTErrParam;
  if (link.files == nullptr || data == nullptr) return kXTErrNoSuite;
  XTFile object = 0;
  int32_t result = link.files->new_file(&object);
  bool created = false;
  if (result == kXTOk) result = link.files->set_file_spec(object, &spec);
  if (result == kXTOk) {
    result = link.files->create_file(object, kXTDocumentType, kCreatorQxp);
    created = result == kXTOk;
    if (result == kXTErrDuplicate) result = kXTOk;
  }
  int16_t opened = 0;
  if (result == kXTOk) result = data->open_file(spec.volume, spec.folder, spec.name, access, &opened);
  if (result == kXTOk) {
    *file = opened;
    if (createdOut != nullptr) *createdOut = created;
  } else if (created) {
    link.files->delete_file(object);
  }
  if (object != 0) link.files->dispose_file(object);
  return result;
}

}  // namespace CnvTools

bool UseNewMasterPageHandling(const char16_t* sourceType, bool userNew) {
  const char* const oldContinuation =
      userNew ? " => Forcing import with appropriate OLD masterpage handling (overriding user "
                "settings!)\n"
              : " => Importing with appropriate OLD masterpage handling (selected by user)\n";
  if (sourceType == nullptr) {
    ProgramLog() << "\nERROR: d_CFAN_SourceDataType returns empty string (NULL)!\n";
    return false;
  }
  const std::u16string text(sourceType);
  const std::size_t mark = text.rfind(u"{MB=");
  if (mark == std::u16string::npos) {
    ProgramLog() << "\nWARNING: Current document was previously exported with an "
                    "OLD-MASTERPAGE version of Brenix"
                 << oldContinuation;
    return false;
  }
  const std::size_t close = text.find(u'}', mark);
  if (close == std::u16string::npos) return false;
  const std::u16string value = text.substr(mark + 4, close - mark - 4);
  if (value == u"0") {
    ProgramLog() << "\nWARNING: Current document was previously exported with explicit "
                    "OLD-MASTERPAGE settings"
                 << oldContinuation;
    return false;
  }
  if (!userNew) {
    ProgramLog() << "\nWARNING: Current document was previously exported with explicit "
                    "NEW-MASTERPAGE settings"
                 << " => Forcing import with appropriate NEW masterpage handling (overriding "
                    "user settings!)\n";
  }
  return true;
}

template <>
void ImportAction::ActionPerformed(XTVoidRec*) {
  const uint32_t failures = HostFailureCount();
  FileSpecPair& request = CurrentRequest();
  XTFileSpec containerSpec = KxqFolderSpec;
  if (Interactive()) {
    request.Reset();
    request.conversionType = 5;
    request.SetHostTypes();
    std::string path;
    if (!ChooseFileToImport(path)) {
      NotifyBeep(nullptr);
      ShowResult(false);
      return;
    }
    request.source.SetFromPath(path);
    containerSpec = XTFileSpec{};
    request.source.GetHostSpec(containerSpec);
  }
  auto book = OpenImportContainer(containerSpec);
  if (!book) {
    ProgramLog() << "OpenKXT FAILED" << std::endl;
    NotifyBeep(nullptr);
    ShowResult(false);
    return;
  }
  XTFileSpec targetSpec{};
  if (AskTarget()) {
    targetSpec = containerSpec;
    if (!AskImportOutputName(targetSpec)) {
      ShowResult(false);
      return;
    }
    if (NamesSource(PathOf(containerSpec), PathOf(targetSpec))) {
      Fail();
      return;
    }
    request.target.SetFromPath(PathOf(targetSpec));
    ImportTargetPath = request.target.GetFullPath();
  } else if (NamesSource(PathOf(containerSpec), request.target.GetFullPath())) {
    // Checked before the target spec is made: an overwritten target is
    // deleted first.
    Fail();
    return;
  } else if (CnvTools::MakeDocumentSpec(request.target, &targetSpec, OverwriteFlags.importTarget != 0,
                                        kXTDocumentType, -1) != kXTOk) {
    RecordCommandOutcome(CommandOutcome::kFailed);
    return;
  }
  ProgramLog() << "\n" << Rule() << std::endl;
  LogStamp();
  ProgramLog() << "Starting import ..." << std::endl;
  LogColumns("Source:", PathOf(containerSpec));
  LogColumns("Target:", PathOf(targetSpec));

  // As the host's own save refuses it.
  if (win::IsReadOnlyFile(PathOf(targetSpec))) {
    LogColumns("ERROR:", "The target \"" + PathOf(targetSpec) + "\" is read-only");
    ShowResult(false);
    return;
  }
  PreviousTarget previous(PathOf(targetSpec));
  if (!previous.ok() || !WriteStoredDocument(*book, targetSpec)) {
    ShowResult(false);
    return;
  }
  previous.PassMode();
  RefHandle<QuarkDoc> document = QuarkDoc::Open(targetSpec, 0);
  if (!document) {
    ReportUnopenedDocument();
    return;
  }
  HostFlagGuard flags;
  flags.Suspend();
  const Imported imported = ImportInto(*book, document, failures);
  if (imported == Imported::kSucceeded) previous.Commit();
  if (imported == Imported::kSavedFailed) previous.KeepSaved();
  if (imported != Imported::kStopped) return;
  // Nothing of a stopped import stays: the document closes unsaved, and the
  // file that was at the target comes back (or the target made here goes).
  document->windowFlag = true;
  document = {};
  Fail();
}
