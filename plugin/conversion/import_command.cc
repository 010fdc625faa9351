#include "plugin/conversion/import_command.h"

#include <exception>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

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
// into it.  Construction creates and opens the file (ErrorRecord 1011 when
// it cannot); PutData writes until every byte is out (1012 when the host
// fails or makes no progress); destruction closes the file.  Discard closes
// the file and removes it when it was made here: a file that was there
// before is never deleted by a failed import.
class Reader final : public BX_KXT::BXOutStream {
 public:
  explicit Reader(const XTFileSpec& target) : path_(PathOf(target)) {
    if (CnvTools::OpenImportDocument(target, &file_, 2, &created_) != kXTOk)
      throw MakeError(kErrorCreateTarget, path_);
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

  void Discard() {
    Close();
    if (created_) DeleteHostFile(path_);
  }
  bool Created() const { return created_; }

 private:
  void Close() noexcept {
    if (file_ == 0) return;
    if (const XTFileDataSuite* files = FileDataTable()) files->close_file(file_);
    file_ = 0;
  }

  std::string path_;
  int16_t file_ = 0;
  bool created_ = false;
};

// Writes stored host document 0 of `book` to `target`; *created tells
// whether the target file was made here.  The one guarded step of the
// command: an error is logged and a target made here removed.
bool WriteStoredDocument(BX_KXT::Import::IBook& book, const XTFileSpec& target, bool* created) {
  try {
    Reader reader(target);
    try {
      book.LoadQXP(0, &reader);
    } catch (...) {
      reader.Discard();
      throw;
    }
    *created = reader.Created();
    return true;
  } catch (const ErrorRecord& error) {
    ProgramLog() << "ImportProto::ActionPerformed():\t" << ErrorText(error);
    LogColumns("ERROR:", "Unable to load original QXP source from KXQ!");
    LogColumns(" => ", "skipping file.");
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

// Imports the stories of container document 0 into `document` and saves it;
// the result dialog tells how it went.  False, with a log line saying why
// and no dialog, when the import stopped before the document was saved:
// a container without a document, a damaged container (whatever its
// reader raised) or a failed save.
bool ImportInto(BX_KXT::Import::IBook& book, RefHandle<QuarkDoc> document) {
  bool withoutBox = true;
  try {
    auto container = book.OpenDoc(0);
    if (!container) {
      LogColumns("ERROR:", "The container holds no document");
      return false;
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
    return false;
  }
  if (!document->Save()) return false;
  // The saved document closes when the command lets it go.
  document->windowFlag = true;
  ProgramLog() << "... finished." << std::endl;
  LogStamp();
  ProgramLog() << Rule() << std::endl;
  ShowResult(!withoutBox);
  return true;
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

  bool created = false;
  if (!WriteStoredDocument(*book, targetSpec, &created)) {
    ShowResult(false);
    return;
  }
  RefHandle<QuarkDoc> document = QuarkDoc::Open(targetSpec, 0);
  if (!document) {
    // What the host cannot open is no document: a target made here goes.
    if (created) DeleteHostFile(PathOf(targetSpec));
    ReportUnopenedDocument();
    return;
  }
  HostFlagGuard flags;
  flags.Suspend();
  if (ImportInto(*book, document)) return;
  // Nothing of a stopped import stays: the document closes unsaved and a
  // target made here goes.
  document->windowFlag = true;
  document = {};
  if (created) DeleteHostFile(PathOf(targetSpec));
  Fail();
}
