#include "plugin/conversion/import_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

#include "framework/failures.h"
#include "platform/win/leftovers.h"
#include "platform/win/replacing_file.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/export_tables.h"
#include "plugin/conversion/importer.h"
#include "plugin/conversion/container_open.h"
#include "plugin/conversion/kxt_import.h"
#include "plugin/qapi/cnv_tools.h"
#include "plugin/qapi/file_dialogs.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/host_text_services.h"
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

// The stored host document on its way into the import's working file (a
// new file beside the target under a name of its own, which the caller
// holds and removes): created and opened through the host (ErrorRecord
// 1011 when it cannot be), written until every byte is out (1012 when the
// host fails or makes no progress).  Both records name the target, the
// file the user knows.  The host file closes when the object goes.
class Reader final : public BX_KXT::BXOutStream {
 public:
  Reader(const win::ReplacingFile& working, const std::string& target, XTFileSpec* spec)
      : target_(target) {
    if (!working.ok()) throw MakeError(kErrorCreateTarget, target_ + ": " + working.Reason());
    if (xt_fsmakefsspec(0, 0, working.path(), *spec, true, false, false, nullptr, 0, false, nullptr) != kXTOk ||
        CnvTools::OpenImportDocument(*spec, &file_, 2) != kXTOk) {
      throw MakeError(kErrorCreateTarget, target_);
    }
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  ~Reader() {
    const XTFileDataSuite* files = FileDataTable();
    if (file_ != 0 && files != nullptr) files->close_file(file_);
  }

  void PutData(const void* data, uint32_t n) override {
    const XTFileDataSuite* files = FileDataTable();
    const auto* bytes = static_cast<const char*>(data);
    uint32_t done = 0;
    while (done < n) {
      const uint32_t left = n - done;
      int32_t count = left > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(left);
      const int32_t result =
          files != nullptr ? files->write_file(file_, &count, bytes + done) : kXTErrNoSuite;
      if (result != kXTOk || count <= 0) throw MakeError(kErrorWriteTarget, target_ + HostResultReason(result));
      done += static_cast<uint32_t>(count);
    }
  }

 private:
  std::string target_;
  int16_t file_ = 0;
};

// Writes stored host document 0 of `book` into the working file of the
// import to `target`; its host spec in *spec.  The one guarded step of the
// command: an error is logged and false returned.
bool WriteStoredDocument(BX_KXT::Import::IBook& book, const win::ReplacingFile& working,
                         const std::string& target, XTFileSpec* spec) {
  try {
    Reader reader(working, target, spec);
    book.LoadQXP(0, &reader);
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

// Opens the working file as the current document, as QuarkDoc::Open does,
// but without comparing it with the request's target, which it never is.
RefHandle<QuarkDoc> OpenWorkingDocument(const XTFileSpec& spec) {
  const int16_t before = GetCurrentDocumentId();
  const int32_t count = GetDocumentCount();
  const int32_t result = OpenDocumentFromSpec(&spec, 31);
  if ((result != kXTOk && GetDocumentCount() != count + 1) || GetCurrentDocumentId() == before) {
    return RefHandle<QuarkDoc>();
  }
  return RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
}

// The host file spec of the import's target.  A file there is refused (-48)
// unless it may be overwritten, and is never deleted here: the import
// replaces it only once it succeeded.
int32_t MakeTargetSpec(const FileSpec& target, bool overwrite, XTFileSpec* spec) {
  int32_t result = CnvTools::MakeDocumentSpec(target, spec, false, kXTDocumentType, -1);
  if (result == kXTErrDuplicate && overwrite) result = CnvTools::SetPath(target, *spec);
  return result;
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

// Saves `document` in the import's working file, from which it was opened,
// and puts that file at its target (the commit checks last for a stop
// requested of the server): kSaved, or kFailed, logged, when either fails.
// With `onlyWhereNothingIs` the file is put there only when nothing is:
// kRefused when a file was put at the target since the import looked.
enum class Saved { kSaved, kFailed, kRefused };
Saved SaveAtTarget(QuarkDoc& document, win::ReplacingFile& working, bool onlyWhereNothingIs) {
  if (!document.SaveAs(working.path())) return Saved::kFailed;
  if (working.Commit(nullptr, onlyWhereNothingIs)) return Saved::kSaved;
  if (onlyWhereNothingIs && working.error() == EEXIST) return Saved::kRefused;
  LogColumns("ERROR:", "cannot write \"" + working.target() + "\": " + working.Reason());
  return Saved::kFailed;
}

// Imports the stories of container document 0 into `document`, opened
// from the import's `working` file, and saves it at that file's target
// (SaveAtTarget); the result dialog tells how it went.  kStopped, with a
// log line saying why and no dialog, when the import stopped before the
// document was saved: a container without a document, a damaged container
// (whatever its reader raised) or a failed save.  A host call that failed since the command
// began (`failures` were counted before it), or a stop requested of the
// server, may have left out part of the stories: the import fails
// (kFailed) and the document, which may be partial, is saved nowhere.  A
// story without a box fails the import too, the others being whole: the
// document is saved at the target only when no file was there, neither
// before the import (`replacesFile`) nor now, nor when it is put there (a
// rename that refuses an existing target); a file there stays.
enum class Imported { kStopped, kFailed, kSucceeded };
Imported ImportInto(BX_KXT::Import::IBook& book, RefHandle<QuarkDoc> document, uint32_t failures,
                    win::ReplacingFile& working, bool replacesFile) {
  const std::string& target = working.target();
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
  const bool hostFailed = HostFailedSince(failures);
  struct stat info {};
  bool fileThere = replacesFile || ::lstat(target.c_str(), &info) == 0;
  bool keepFile = withoutBox && fileThere;
  if (!hostFailed && !keepFile) {
    // A story without a box saves the document only where nothing is, and
    // a file put there since is kept.
    const Saved saved = SaveAtTarget(*document, working, withoutBox);
    if (saved == Saved::kFailed) return Imported::kStopped;
    if (saved == Saved::kRefused) fileThere = keepFile = true;
  }
  // The document closes when the command lets it go.
  document->windowFlag = true;
  if (hostFailed) LogColumns("ERROR:", std::string(HostFailureCause()) + " while the stories were imported");
  if (hostFailed || keepFile) {
    LogColumns("ERROR:", fileThere ? "\"" + target + "\" is kept as it was: the import failed"
                                   : "nothing is saved at \"" + target + "\": the import failed");
  }
  ProgramLog() << "... finished." << std::endl;
  LogStamp();
  ProgramLog() << Rule() << std::endl;
  const bool succeeded = !withoutBox && !hostFailed;
  ShowResult(succeeded);
  return succeeded ? Imported::kSucceeded : Imported::kFailed;
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
  std::string reason;
  auto book = OpenImportContainer(containerSpec, &reason);
  if (!book) {
    ProgramLog() << "OpenKXT FAILED" << std::endl;
    LogColumns("ERROR:", "\"" + PathOf(containerSpec) + "\" does not open as a container: " + reason);
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
    Fail();
    return;
  } else if (MakeTargetSpec(request.target, OverwriteFlags.importTarget != 0, &targetSpec) != kXTOk) {
    RecordCommandOutcome(CommandOutcome::kFailed);
    return;
  }
  const std::string target = PathOf(targetSpec);
  ProgramLog() << "\n" << Rule() << std::endl;
  LogStamp();
  ProgramLog() << "Starting import ..." << std::endl;
  LogColumns("Source:", PathOf(containerSpec));
  LogColumns("Target:", target);

  // As the host's own save refuses it.
  if (win::IsReadOnlyFile(target)) {
    // Write bits without write access: a file of another user, not one made read-only.
    struct stat bits {};
    const bool others = ::stat(target.c_str(), &bits) == 0 && (bits.st_mode & 0222) != 0;
    LogColumns("ERROR:", "The target \"" + target + "\" is " + (others ? "not writable by this user" : "read-only"));
    ShowResult(false);
    return;
  }
  // The import works in a file of its own beside the target, which goes
  // when the command ends; the target's name keeps what it held until the
  // imported document is saved there.
  struct stat info {};
  const bool replacesFile = ::lstat(target.c_str(), &info) == 0;
  win::ReplacingFile working(target, win::kWorkingDocumentSuffix);
  XTFileSpec workingSpec{};
  if (!WriteStoredDocument(*book, working, target, &workingSpec)) {
    ShowResult(false);
    return;
  }
  RefHandle<QuarkDoc> document = OpenWorkingDocument(workingSpec);
  if (!document) {
    ReportUnopenedDocument();
    return;
  }
  HostFlagGuard flags;
  flags.Suspend();
  if (ImportInto(*book, document, failures, working, replacesFile) != Imported::kStopped) return;
  // Nothing of a stopped import stays: the document closes unsaved.
  document->windowFlag = true;
  document = {};
  Fail();
}
