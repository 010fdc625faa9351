#include "plugin/conversion/export_commands.h"

#include <cstring>
#include <exception>
#include <iomanip>
#include <memory>
#include <new>
#include <ostream>
#include <set>
#include <string>

#include "platform/win/replacing_file.h"
#include "plugin/conversion/container_open.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/conversion_types.h"
#include "plugin/conversion/export_layouts.h"
#include "plugin/conversion/exporter_coord.h"
#include "plugin/conversion/exporter_krm.h"
#include "plugin/mixer/host_texts.h"
#include "plugin/qapi/cnv_tools.h"
#include "plugin/qapi/file_dialogs.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/quark_doc.h"
#include "plugin/qapi/ui_alert.h"
#include "plugin/qapi/ui_dialogs.h"
#include "plugin/qapi/ui_host.h"
#include "support/batch_file.h"
#include "support/brenix_interface.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/reg_key.h"
#include "support/settings.h"

namespace {

const char kUntitledName[] = "New Unsaved Document";

// --- the program log ---

std::ostream& Line(const std::string& text) { return ProgramLog() << text << std::endl; }

void Stars() { Line(std::string(80, '*')); }

void DateTime() { Line(FormatHostDateTime(true, true, false)); }

// "Source:" or "Target:" in 10 characters, the path in 70, blank-filled.
void PathLine(const char* label, const std::string& path) {
  ProgramLog() << std::left << std::setw(10) << label << std::setw(70) << path << std::right
               << std::endl;
}

// --- the modes ---

// A batch job runs: the control file is valid and holds neither None nor Done.
bool BatchJobRuns() { return BatchFile::Instance().Check(); }

bool Unattended() {
  const BrenixInterface* modes = BrenixInterface::Instance();
  return modes->multiDocMode || modes->serverMode || IsBatchMode() || BatchJobRuns();
}

// --- the user ---

void ShowResult(int number) {
  const int32_t ok = 1;
  int32_t answer = 0;
  ShowDialog(number, 0, &answer, &ok, false, false, false);
}

void Failed() {
  RecordCommandOutcome(CommandOutcome::kFailed);
  ShowResult(kDialogExportFailed);
}

void ErrorAlert(const std::string& text, const std::string& fileName) {
  ShowAlert(kAlertResource, text, fileName, "", "", false, false, false);
}

// Closes the current project, unless it needs saving: a changed document
// is never closed by an export.
void CloseUnlessChanged() {
  if (!CurrentDocumentNeedsSave()) CloseCurrentProject(-1, kXTCloseDiscard);
}

// The host's document object of the current document marked as changed, so
// that the save question below sees any unsaved document as changed.
void MarkCurrentDocumentChanged() {
  const XTDocumentSuite* documents = XT().documents;
  int32_t object = 0;
  if (documents == nullptr || documents->document_object(GetCurrentDocumentId(), &object) != kXTOk ||
      documents->mark_document_changed(object, 1) != kXTOk) {
    QuarkInternalError("ExportProto", __LINE__);
  }
}

// --- what differs between actions 9, 13 and 14 ---

// kIncomplete: the output holds what could be had, and is kept, but the
// export failed.
enum class Written { kDone, kInvalidExporter, kBadOutput, kIncomplete, kSaveFailed };

// The output of one command: opened on the file that takes the target's
// name when the export succeeds, then every layout written into it (the
// document saved and flagged to close after the last one).  kBadOutput
// when the file could not be written (its reason is the file's).
class CommandOutput {
 public:
  virtual ~CommandOutput() noexcept(false) = default;
  virtual bool Open(win::ReplacingFile& file) = 0;
  // Why Open failed on a file that could be made, or why Write gave
  // kBadOutput on a file that could be written ("" when unknown).
  virtual std::string Reason() const { return std::string(); }
  // `failuresBefore`: the host-call failures counted before the command
  // (LayoutLoopOptions).
  virtual Written Write(const RefHandle<QuarkDoc>& document, std::set<int32_t>* uniqueIds,
                        const std::string& sourcePath, uint32_t failuresBefore) = 0;
};

struct SaveMemory {
  bool answered = false;
  int32_t answer = -1;
};

struct CommandKind {
  uint32_t conversionType;
  const char* opening;
  uint8_t ConversionOverwriteFlags::*overwrite;
  bool (*askOutputName)(XTFileSpec&);
  bool closeOnCancel;
  const char* outputFailure;    // the output does not open or was not written
  const char* invalidExporter;  // an exporter could not be made
  SaveMemory* memory;
  std::unique_ptr<CommandOutput> (*makeOutput)();
};

void RunCoordinates(ExporterCoord& exporter) { exporter.Run(); }
void RunXTags(ExporterKrm& exporter) { exporter.WriteFile(); }

// Every layout through `layouts`; after the last one the save that closes
// the document.
Written WriteStreamLayouts(const RefHandle<QuarkDoc>& document, LayoutOutput& layouts,
                           std::set<int32_t>* uniqueIds, uint32_t failuresBefore) {
  bool saved = true;
  LayoutLoopOptions options;
  options.saveEachLayout = true;
  options.failuresBefore = failuresBefore;
  options.afterLast = [&](int32_t, ProgressBar*, const LayoutLoop& loop) {
    saved = SaveAfterLastLayout(*document, true, failuresBefore, loop);
  };
  const LayoutLoop loop = ExportLayouts(document, layouts, uniqueIds, options);
  if (loop.invalid) return Written::kInvalidExporter;
  return saved ? Written::kDone : Written::kSaveFailed;
}

// Releases the book when it goes: the container is completed, or its
// failure raised (logged while another failure unwinds).
struct FinishedBook {
  BX_KXT::Export::Ref<BX_KXT::Export::IBook>& book;
  ~FinishedBook() noexcept(false) { book = nullptr; }
};

class KxtOutput final : public CommandOutput {
 public:
  // The container is made in place of the (empty) file.
  bool Open(win::ReplacingFile& file) override {
    XTFileSpec spec{};
    const int16_t made =
        xt_fsmakefsspec(0, 0, file.path(), spec, true, true, false, nullptr, 0, false, nullptr);
    if (made != kXTOk && made != kXTErrNotFound) return false;
    book_ = OpenExportContainer(spec, &reason_);
    return static_cast<bool>(book_);
  }
  std::string Reason() const override { return reason_; }
  Written Write(const RefHandle<QuarkDoc>& document, std::set<int32_t>* uniqueIds, const std::string&,
                uint32_t failuresBefore) override {
    KxtBookOptions options;
    options.saveEachLayout = true;
    options.failuresBefore = failuresBefore;
    options.closeDocument = true;
    KxtBookResult result;
    {
      // The container is finished here, also when writing it raised (its
      // own failure is then logged, not raised over the first).
      const FinishedBook finished{book_};
      result = WriteKxtBook(document, book_, uniqueIds, options);
    }
    if (result.layouts.invalid) return Written::kInvalidExporter;
    if (result.saveFailed) return Written::kSaveFailed;
    // A container without the stored document cannot be imported.
    if (result.storeFailed) reason_ = result.storeFailure;
    return result.storeFailed ? Written::kBadOutput : Written::kDone;
  }

 private:
  BX_KXT::Export::Ref<BX_KXT::Export::IBook> book_;
  std::string reason_;
};

class CoordinatesOutput final : public CommandOutput {
 public:
  bool Open(win::ReplacingFile& file) override {
    file_ = &file;
    return file.ok();
  }
  Written Write(const RefHandle<QuarkDoc>& document, std::set<int32_t>* uniqueIds,
                const std::string& sourcePath, uint32_t failuresBefore) override {
    std::ostream& out = file_->stream();
    WriteCoordinatesHeader(out, sourcePath);
    ExporterLayouts<ExporterCoord, std::ostream*, RunCoordinates> layouts(&out);
    const Written written = WriteStreamLayouts(document, layouts, uniqueIds, failuresBefore);
    out.flush();
    return written == Written::kDone && !file_->ok() ? Written::kBadOutput : written;
  }

 private:
  win::ReplacingFile* file_ = nullptr;
};

class XTagsOutput final : public CommandOutput {
 public:
  bool Open(win::ReplacingFile& file) override {
    file_ = &file;
    return file.ok();
  }
  Written Write(const RefHandle<QuarkDoc>& document, std::set<int32_t>* uniqueIds,
                const std::string& sourcePath, uint32_t failuresBefore) override {
    Written written;
    {
      WideTextStream out(file_->stream());
      WriteKrmHeader(out, sourcePath);
      ExporterLayouts<ExporterKrm, WideTextStream*, RunXTags> layouts(&out);
      written = WriteStreamLayouts(document, layouts, uniqueIds, failuresBefore);
      const bool whole = out.Flush() && out.good();
      // A file that could not be written is no output at all; a story
      // whose tags could not be had whole leaves the stream bad after what
      // was had: that much is kept.
      if (!file_->ok() && written == Written::kDone) written = Written::kBadOutput;
      if (!whole && written == Written::kDone) written = Written::kIncomplete;
    }
    return written;
  }

 private:
  win::ReplacingFile* file_ = nullptr;
};

template <typename Output>
std::unique_ptr<CommandOutput> Make() {
  return std::make_unique<Output>();
}

SaveMemory kxtMemory, coordinatesMemory, xtagsMemory;

const CommandKind kKxtExport = {kConvertToKxq,
                                "Starting export ...",
                                &ConversionOverwriteFlags::kxqTarget,
                                AskKxtOutputName,
                                true,
                                "Conversion failed for file: ",
                                "ExportProto: exporter is invalid for file: ",
                                &kxtMemory,
                                Make<KxtOutput>};
const CommandKind kCoordinatesExport = {kConvertToCoordinates,
                                        "Starting export coordinates ...",
                                        &ConversionOverwriteFlags::coordinatesTarget,
                                        AskCoordinatesOutputName,
                                        false,
                                        "Export of coordinates failed for file: ",
                                        "ExportCoord: exporter is invalid for file: ",
                                        &coordinatesMemory,
                                        Make<CoordinatesOutput>};
const CommandKind kXTagsExport = {kConvertToXTags,
                                  "Starting export XTags ...",
                                  &ConversionOverwriteFlags::xtagsTarget,
                                  AskKrmOutputName,
                                  false,
                                  "Export of XTags failed for file: ",
                                  "ExportKrm: exporter is invalid for file: ",
                                  &xtagsMemory,
                                  Make<XTagsOutput>};

// --- the procedure of actions 9, 13 and 14 ---

class ExportCommand {
 public:
  ExportCommand(const CommandKind& kind, XTVoidRec* record) : kind_(kind), record_(record) {}

  void Perform() {
    try {
      Steps();
    } catch (...) {
      Line(std::string("ERROR: the export stopped: ") + ExceptionText());
      if (framed_) EndBlock();
      // The document was saved at most; it stays open for the user.
      if (document_) document_->windowFlag = false;
      Failed();
      throw;
    }
  }

 private:
  static std::string ExceptionText() {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      // What a refused handle of the host raises too: its failed call is
      // logged above.
      return "no memory was had (from the host or the system)";
    } catch (const std::exception& e) {
      return e.what();
    } catch (...) {
      return "unknown exception";
    }
  }

  FileSpecPair& Request() { return CurrentRequest(); }
  std::string SourceName() { return Request().source.GetFileName(); }

  void EndBlock() {
    Line("... finished.");
    DateTime();
    Stars();
  }

  void Steps() {
    failures_ = HostFailureCount();
    if (CurrentDocumentNeedsSave()) MarkCurrentDocumentChanged();
    guard_.Suspend();
    if (!IsValidDocument()) {
      Failed();
      return;
    }
    document_ = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
    if (CurrentDocumentNeedsSave()) document_->ReloadFonts();
    if (!BindRequest()) return;
    OpeningBlock();
    if (document_->IsLayoutModified() && !AskAndSave()) return;
    if (!MakeTarget()) return;
    if (!Request().CheckKinds(false)) TraceLevel(12, "Warning: Invalid conversion!");
    if (!WriteOutput(Request().target.GetFullPath())) return;
    if (!document_->SaveIfInteractive()) KeepUnsavedDocument();
    RecordCommandOutcome(CommandOutcome::kDone);
    if (!Unattended()) ShowResult(kDialogExportDone);
  }

  // The output is whole, but the save after it failed: said in the log,
  // and the document stays open with its changes.
  void KeepUnsavedDocument() {
    const std::string file = documentPath_.empty() ? std::string(kUntitledName) : documentPath_;
    Line("ERROR: the document \"" + file + "\" was not saved after the export (" +
         SaveFailureText(document_->LastSaveResult(), documentPath_) + "); it stays open with its changes");
    document_->windowFlag = false;
  }

  // The document's file spec, and the request remade from
  // its path when it names another source.  An untitled document (or one
  // whose path cannot be had) empties the request's source, so that no
  // save lands on a file an earlier request named.
  bool BindRequest() {
    if (IsCurrentDocumentUntitled()) {
      std::memset(spec_.name, 0, sizeof spec_.name);
      std::strncpy(spec_.name, kUntitledName, sizeof spec_.name - 1);
      Request().source = FileSpec();
      return true;
    }
    if (document_->GetFileSpec(spec_) != 0) {
      QuarkInternalError("ExportProto", __LINE__);
      Line("ERROR: the document's file spec could not be had");
      Failed();
      return false;
    }
    if (FSSpecToPath(documentPath_, spec_) != kXTOk) {
      documentPath_.clear();
      Request().source = FileSpec();
      return true;
    }
    if (!StringsEqual(documentPath_, Request().source.GetFullPath(), true)) {
      const std::string target = Request().target.GetFullPath();
      Request().Reset();
      Request().conversionType = kind_.conversionType;
      Request().SetHostTypes();
      CnvTools::SetTargetPath(Request().source, documentPath_);
      CnvTools::SetTargetPath(Request().target, target);
    }
    return true;
  }

  void OpeningBlock() {
    Line("");
    Stars();
    DateTime();
    Line(kind_.opening);
    PathLine("Source:", Request().source.GetFullPath());
    // The user chooses the target of a command run from the menu after
    // this: the request's target is an earlier command's.
    const std::string target = Unattended() ? Request().target.GetFullPath() : std::string();
    PathLine("Target:", target.empty() ? "<YET UNSET>" : target);
    framed_ = true;
  }

  // Saves the changed document, asking when someone is there to answer.
  bool AskAndSave() {
    if (BatchJobRuns() || BrenixInterface::Instance()->serverMode) {
      if (document_->Save()) return true;
      RecordCommandOutcome(CommandOutcome::kFailed);
      return false;
    }
    SaveMemory& memory = *kind_.memory;
    const int32_t mode = Settings::Instance().GetAutoOverwriteSource();
    const int32_t defaultAnswer = mode == 2   ? kSaveChangedSave
                                  : mode == 1 ? memory.answer
                                              : kSaveChangedCancel;
    const bool show = mode == 0 || (mode == 1 && !memory.answered);
    int32_t answer = defaultAnswer;
    ShowDialog(kDialogSaveChanged, 0, &answer, &defaultAnswer, show, false, false);
    if (mode == 1 && !memory.answered) {
      memory.answered = true;
      memory.answer = answer;
    }
    if (answer == kSaveChangedCancel) {
      Line("User pressed CANCEL or auto-saving is not allowed.");
      CloseUnlessChanged();
      Failed();
      return false;
    }
    ProgramLog() << "User pressed OK or auto-saving is allowed => Trying to save file ... ";
    if (!document_->Save()) {
      Line("FAILED");
      Failed();
      return false;
    }
    Line("OK");
    document_->GetFileSpec(spec_);
    return true;
  }

  // A target that names the document's own file would overwrite it (and
  // an unattended one would delete it first): refused.
  bool NamesOwnFile(const std::string& target) {
    if (documentPath_.empty() || !StringsEqual(target, documentPath_, true)) return false;
    Line("ERROR: the target \"" + target + "\" is the document's own file");
    Failed();
    return true;
  }

  // The target, from the request (unattended) or from the user.
  bool MakeTarget() {
    if (Unattended()) {
      if (NamesOwnFile(Request().target.GetFullPath())) return false;
      XTFileSpec target{};
      if (CnvTools::MakeDocumentSpec(Request().target, &target, OverwriteFlags.*kind_.overwrite != 0,
                                     kXTDocumentType, -1) != kXTOk) {
        CloseUnlessChanged();
        RecordCommandOutcome(CommandOutcome::kFailed);
        return false;
      }
      return true;
    }
    XTFileSpec target = spec_;
    std::string path;
    if (!kind_.askOutputName(target) || FSSpecToPath(path, target) != kXTOk) {
      if (kind_.closeOnCancel) CloseUnlessChanged();
      NotifyBeep(record_);
      Failed();
      return false;
    }
    CnvTools::SetTargetPath(Request().target, path);
    Line("");
    DateTime();
    Line("User selected missing target:");
    PathLine("Target:", Request().target.GetFullPath());
    return !NamesOwnFile(path);
  }

  // The output under a temporary name beside the target, which takes the
  // target's name when every layout was written.
  bool WriteOutput(const std::string& target) {
    // Declared first, so that the output is finished before an unfinished
    // file is removed.
    win::ReplacingFile file(target);
    const std::unique_ptr<CommandOutput> output = kind_.makeOutput();
    if (!output->Open(file)) {
      ReportOutputFailure(file, output->Reason());
      CloseUnlessChanged();
      EndBlock();
      framed_ = false;
      Failed();
      return false;
    }
    // A container whose file cannot be written part way (a full disk)
    // fails as an output that could not be written, naming the target.
    Written written = Written::kBadOutput;
    std::string writeFailure;
    try {
      written = output->Write(document_, &uniqueIds_, Request().source.GetFullPath(), failures_);
    } catch (...) {
      writeFailure = ContainerWriteFailure();
      if (writeFailure.empty()) throw;
    }
    // A host call that failed since the command began (the font list, the
    // layout walk) may have left out or repeated part of the document: such
    // an output is not kept (nor was the document saved after it), and the
    // failure concerns the source.
    const bool hostFailed = (written == Written::kDone || written == Written::kSaveFailed) &&
                            HostFailedSince(failures_);
    if (hostFailed) {
      Line(std::string("ERROR: ") + HostFailureCause() + " while the export was written");
      ErrorAlert(kind_.outputFailure, SourceName());
      written = Written::kBadOutput;
    }
    if (written == Written::kInvalidExporter) ErrorAlert(kind_.invalidExporter, SourceName());
    if (written == Written::kIncomplete) ErrorAlert(kind_.outputFailure, SourceName());
    const bool keep = written == Written::kDone || written == Written::kIncomplete;
    if ((keep && !file.Commit()) || (written == Written::kBadOutput && !hostFailed)) {
      ReportOutputFailure(file, keep ? "" : !writeFailure.empty() ? writeFailure : output->Reason());
      written = Written::kBadOutput;
    }
    const bool stored = written == Written::kDone;
    EndBlock();
    framed_ = false;
    if (!stored) {
      document_->windowFlag = false;
      Failed();
    }
    return stored;
  }

  // The output file that could not be made or written, and why: in the
  // program log and the alert.
  void ReportOutputFailure(const win::ReplacingFile& file, const std::string& openFailure) {
    const std::string reason = !file.ok()              ? file.Reason()
                               : !openFailure.empty() ? openFailure
                                                      : "the output could not be opened";
    Line("ERROR: cannot write \"" + file.target() + "\": " + reason);
    ShowAlert(kAlertResource, kind_.outputFailure, file.target(), " (" + reason + ")", "", false, false,
              false);
  }

  const CommandKind& kind_;
  XTVoidRec* record_;
  HostFlagGuard guard_;
  RefHandle<QuarkDoc> document_;
  std::set<int32_t> uniqueIds_;
  XTFileSpec spec_{};
  std::string documentPath_;
  bool framed_ = false;
  uint32_t failures_ = 0;  // host-call failures counted before the command
};

void RunExport(const CommandKind& kind, XTVoidRec* record) {
  ExportCommand command(kind, record);
  command.Perform();
}

}  // namespace

template <>
void ExportAction::ActionPerformed(XTVoidRec* record) {
  RunExport(kKxtExport, record);
}

template <>
void CoordinatesAction::ActionPerformed(XTVoidRec* record) {
  RunExport(kCoordinatesExport, record);
}

template <>
void XTagsAction::ActionPerformed(XTVoidRec* record) {
  RunExport(kXTagsExport, record);
}

namespace {

// The "Opening..." window around opening `spec` as the current document.
bool OpenWithWindow(const XTFileSpec& spec) {
  const XTDialogSuite* dialogs = XT().dialogs;
  XTWindow window = 0;
  if (dialogs != nullptr && dialogs->open_window(ReservedDialogId(kDialogOpening), &window) == kXTOk) {
    dialogs->show_window(window, 1);
  } else {
    window = 0;
  }
  const bool opened = CurDocAPI::Open(spec, 0);
  if (window != 0) dialogs->close_window(window);
  return opened;
}

void OpenAndExport(XTVoidRec* record) {
  FileSpecPair& request = CurrentRequest();
  request.Reset();
  request.conversionType = kConvertToKxq;
  request.SetHostTypes();
  std::string path;
  if (!ChooseDocumentToExport(path)) {
    RecordCommandOutcome(CommandOutcome::kFailed);
    return;
  }
  CnvTools::SetTargetPath(request.source, path);
  XTFileSpec chosen{};
  const int16_t made = xt_fsmakefsspec(0, 0, path, chosen, true, false, false, nullptr, 0, false, nullptr);
  XTFileSpec spec{};
  CnvTools::SetPath(request.source, spec);
  KxqFolderSpec = spec;
  if (made != kXTOk || spec.volume != chosen.volume || spec.folder != chosen.folder ||
      std::memcmp(spec.name, chosen.name, sizeof spec.name) != 0) {
    TraceLevel(12, "Warning: File specs differ!");
  }
  HostFlagGuard guard;
  guard.Suspend();
  const int32_t before = QueryCurrentDocument();
  if (!OpenWithWindow(spec)) {
    ShowAlert(kAlertResource, "Unable to open the file: '", request.source.GetFileName(), "'", "",
              false, false, false);
    RecordCommandOutcome(CommandOutcome::kFailed);
    return;
  }
  if (!IsValidDocument()) QuarkInternalError("ExportProto", __LINE__);
  if (QueryCurrentDocument() == before && CurrentDocumentNeedsSave()) {
    const int32_t answer = AskToContinue(request.source.GetFileName(),
                                         ":\nDocument is already opened and was changed",
                                         "\nDo save it and start export any way?", "");
    if (answer != kAlertContinue) {
      RecordCommandOutcome(CommandOutcome::kFailed);
      return;
    }
    if (!SaveCurrentDocument()) QuarkInternalError("ExportProto", __LINE__);
  }
  PerformKxtExportAction(record);
}

}  // namespace

template <>
void OpenAndExportAction::ActionPerformed(XTVoidRec* record) {
  OpenAndExport(record);
}
