#include "plugin/conversion/pdf_creation.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iomanip>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "platform/win/replacing_file.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/folder_conversion.h"
#include "plugin/conversion/pdf_style_presets.h"
#include "plugin/conversion/private_folder.h"
#include "plugin/mixer/host_texts.h"
#include "plugin/qapi/host_text_services.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/host_file_probe.h"
#include "plugin/qapi/ui_alert.h"
#include "shared/server/job_folder_lock.h"
#include "support/conversion_state.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

constexpr int32_t kOpenFlags = 63;
constexpr int32_t kExportAllPages = 0xFFFF;
constexpr int32_t kPdfStateWantsFile = 3;
constexpr uint32_t kQxpFileType = 0x51585000;  // "QXP" and a NUL
constexpr int32_t kPoint = 1 << 16;

// The output path the host was handed during the running export; empty
// when it was handed none.
std::string& HandedPath() {
  static std::string path;
  return path;
}

// The PDF of the running export under a name of its own beside its
// target, where the host writes it; it takes the target's name only once
// whole (the commit checks last for a stop requested of the server), and
// goes when the export ends otherwise.  None while the PDF mode is probed.
std::unique_ptr<win::ReplacingFile>& Staged() {
  static std::unique_ptr<win::ReplacingFile> file;
  return file;
}

// Puts the staged PDF at its target; false with the reason in *why.
bool CommitStaged(std::string* why) {
  win::ReplacingFile& file = *Staged();
  // A host that adds ".pdf" wrote the PDF there.
  const std::string written = PdfStepMode == 1 ? file.path() + ".pdf" : file.path();
  if (written != file.path() && ::rename(written.c_str(), file.path().c_str()) != 0) {
    *why = std::strerror(errno);
    ::unlink(written.c_str());
    return false;
  }
  if (file.Commit()) return true;
  *why = file.Reason();
  return false;
}

std::string& LastFailure() {
  static std::string text;
  return text;
}

// PdfPending from construction to destruction.
class PendingMark {
 public:
  PendingMark() {
    PdfPending = true;
    HandedPath().clear();
    Staged().reset();
  }
  ~PendingMark() {
    PdfPending = false;
    Staged().reset();
  }
  PendingMark(const PendingMark&) = delete;
  PendingMark& operator=(const PendingMark&) = delete;
};

// A host file object, disposed of with this object.
class ScopedFile {
 public:
  ScopedFile() = default;
  ~ScopedFile() {
    if (file != 0) XT().files->dispose_file(file);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  XTFile file = 0;
};

// One program-log line of a label in 10 characters and a text in 70, both
// left-aligned; the stream's adjustment is restored.
void LogPair(const std::string& label, const std::string& text) {
  std::ostream& log = ProgramLog();
  const std::ios_base::fmtflags flags = log.flags();
  log << std::left << std::setw(10) << label << std::setw(70) << text << std::endl;
  log.flags(flags);
}

void LogLine(const std::string& text) { ProgramLog() << text << std::endl; }

const std::string kStars(80, '*');

// Opens the document at `path` as the current one; the host's result.
int32_t OpenSource(const std::string& path) {
  const XTFileSuite* files = XT().files;
  if (files == nullptr || XT().documents == nullptr) return kXTErrNoSuite;
  XTFileSpec spec{};
  int32_t result = files->make_spec(0, 0, path.c_str(), &spec);
  if (result != kXTOk) return result;
  ScopedFile file;
  result = files->new_file(&file.file);
  if (result != kXTOk) return result;
  result = files->set_file_spec(file.file, &spec);
  if (result != kXTOk) return result;
  return XT().documents->open_document(file.file, kOpenFlags);
}

enum class CloseOutcome { kClosed, kKeptOpen, kFailed };

// Closes the current project without saving, unless it has changes not
// saved: those never go.  A host that cannot tell counts as changed.
CloseOutcome CloseUnlessChanged(XTProject project) {
  uint32_t flags = 0;
  if (XT().lgi2 == nullptr || XT().lgi2->state_flags(&flags) != kXTOk || flags != 0) {
    return CloseOutcome::kKeptOpen;
  }
  return CloseCurrentProject(project, kXTCloseDiscard) == kXTOk ? CloseOutcome::kClosed : CloseOutcome::kFailed;
}

// Logs a skipped PDF (unless probing) and says false.
bool Skip(bool probe, std::initializer_list<std::pair<const char*, const char*>> lines) {
  if (!probe) {
    for (const auto& [label, text] : lines) LogPair(label, text);
  }
  return false;
}

// The host's export of the current project; its result.
int32_t RunHostExport(XTProject* project) {
  if (XT().projects == nullptr || XT().xpdf == nullptr) return kXTErrNoSuite;
  const int32_t result = XT().projects->current_project(project);
  if (result != kXTOk) return result;
  return XT().xpdf->export_project(*project, kXTExportPdf, kExportAllPages);
}

// Removes the host's log beside the output `base` ("<base>_pdf.log").
void RemoveHostLog(const std::string& base) {
  std::string folder, name;
  if (!SplitPathChecked(base, folder, name, nullptr, true) ||
      CnvTools::ProbeHostFile(base + "_pdf.log") != kXTOk) {
    TraceLevel(12, "Could not remove PDF log file!");
  }
}

// Why the PDF step failed, from the host export's result.
std::string FailureText(int32_t exported) {
  switch (exported) {
    case kXTOk:
      return "the document could not be closed";
    case kXTErrIo:
      return "the host could not write the file";
    case kXTErrDiskFull:
      return kHostDiskFullText;
    case kXTErrBadName:
      return "the file name is too long";
    case kXTErrNoFolder:
      return "no such folder";
    case kXTErrNotFound:
      return "the host was given no output file";
    default:
      return "the host's export failed: " + std::to_string(exported);
  }
}

// A new untitled project of one print layout page of 576 by 792 points with
// margins of 36; 0 on failure.
XTProject NewDummyProject() {
  if (XT().projects == nullptr || XT().qsb1 == nullptr) return 0;
  XTString name = 0, layout = 0;
  XTProject project = 0;
  const int32_t margins[4] = {36 * kPoint, 36 * kPoint, 36 * kPoint, 36 * kPoint};
  if (NewHostString("Dummy Project", &name) == kXTOk && NewHostString("Dummy Print Layout", &layout) == kXTOk &&
      XT().projects->new_project(name, layout, 576 * kPoint, 792 * kPoint, margins, &project) != kXTOk) {
    project = 0;
  }
  if (name != 0) XT().qsb1->dispose_string(name);
  if (layout != 0) XT().qsb1->dispose_string(layout);
  return project;
}

// Saves the current document at `path`; the host's result.
int32_t SaveCurrentAs(const std::string& path) {
  if (XT().lgi2 == nullptr) return kXTErrNoSuite;
  ScopedFile file;
  const int32_t result = NewHostFile(path, kXTDocumentType, &file.file);
  if (result != kXTOk) return result;
  return XT().lgi2->save_document(file.file, kQxpFileType);
}

}  // namespace

bool CreatePdf(bool probe) {
  if (probe) {
    for (uint32_t preset = kPdfStyleHigh; preset <= kPdfStyleLow; ++preset) WritePdfStylePreset(preset);
  }
  PendingMark pending;
  LastFailure().clear();
  FileSpecPair& request = CurrentRequest();
  if (!probe) {
    LogLine("");
    LogLine(kStars);
    LogLine(FormatHostDateTime(true, true, false));
    LogLine("Starting PDF creation ...");
    LogPair("Source:", request.source.GetFullPath());
    LogPair("Target:", request.target.GetFullPath());
  }

  const int32_t opened = OpenSource(request.source.GetFullPath());
  if (opened != kXTOk && !probe) {
    LogSourceNotOpened(request.source.GetFullPath(), opened);
    return Skip(probe, {{"ERROR:", "Unable to open apparently invalid source file!"},
                        {" => ", "Skipping PDF creation."}});
  }
  if (PathExists(request.target.GetFullPath()) && OverwriteFlags.pdfTarget == 0) {
    XTProject project = 0;
    if (XT().projects != nullptr && XT().projects->current_project(&project) == kXTOk) {
      CloseUnlessChanged(project);
    }
    return Skip(probe, {{"WARNING:", "Target already exists!"},
                        {"NOTICE:", "Overwrite mode disabled by user."},
                        {" => ", "Skipping PDF creation."}});
  }

  XTProject project = 0;
  const int32_t exported = RunHostExport(&project);
  // The host's export replaces the status text.
  RestoreProgressTitle();
  const std::string handed = HandedPath();
  const std::string staged = Staged() ? Staged()->path() : handed;
  // Why the staged PDF could not be made or put at its target.
  std::string unstaged = Staged() && !Staged()->ok() ? Staged()->Reason() : "";
  bool result = exported == kXTOk && !handed.empty() && (!Staged() || CommitStaged(&unstaged));
  // A host that adds ".pdf" wrote the PDF there.
  if (result && PdfStepMode == 1) {
    FileSpec target = request.target;
    if (target.SetFromPath(handed + ".pdf") == kXTOk) request.target = target;
  }
  if (project != 0) {
    const CloseOutcome closed = CloseUnlessChanged(project);
    if (closed == CloseOutcome::kFailed) result = false;
    if (closed == CloseOutcome::kKeptOpen && !probe) {
      LogPair("NOTICE:", "Source has unsaved changes: left open.");
    }
  }
  RemoveHostLog(handed.empty() ? request.target.GetFullPath() : staged);

  if (!probe) {
    if (!result) {
      LogPair("ERROR:", "PDF creation failed!");
      const std::string pdf = handed.empty() ? request.target.GetFullPath()
                                             : handed + (PdfStepMode == 1 ? ".pdf" : "");
      const std::string why = " (" + (unstaged.empty() ? FailureText(exported) : unstaged) + ")";
      LastFailure() = "PDF creation failed for file: " + pdf + why;
      ShowAlert(kAlertResource, "PDF creation failed for file: ", pdf, why, "", false, false, false);
    } else {
      LogLine("... finished.");
      LogLine(FormatHostDateTime(true, true, false));
      LogLine(kStars);
    }
  }
  return result;
}

const std::string& PdfFailureText() { return LastFailure(); }

int32_t ContinuePdfExport(void* record) {
  const XTPdfRec* pdf = static_cast<const XTPdfRec*>(record);
  if (!PdfPending || pdf == nullptr || pdf->state != kPdfStateWantsFile) return 0;
  const XTPdfSuite* suite = XT().xpdf;
  const XTFileSuite* files = XT().files;
  if (suite == nullptr || files == nullptr) return 0;
  std::string path;
  ScopedFile output;
  if (CnvTools::SetTargetFromProject(path) == kXTOk && PdfStepMode != 3) {
    Staged() = std::make_unique<win::ReplacingFile>(PdfStepMode == 1 ? path + ".pdf" : path);
  }
  const std::string handed = Staged() ? Staged()->path() : path;
  if (!handed.empty() && NewHostFile(handed, kXTDocumentType, &output.file) == kXTOk) {
    suite->set_export_switch(1);
    if (suite->set_output_file(output.file) == kXTOk) HandedPath() = path;
    ApplyPdfOutputStyle(static_cast<uint32_t>(Settings::Instance().GetPdfOutputStyle()));
    return 0;
  }
  // No path: the host gets an output file that names nothing.
  ScopedFile empty;
  if (files->new_file(&empty.file) == kXTOk) suite->set_output_file(empty.file);
  return 0;
}

int32_t ProbePdfMode(int32_t mode) {
  if (mode == 0 || mode == 2) return 0;
  if (mode != 3) return 3;
  // What probes of killed runs left: gone before this one makes its own.
  RemoveDeadPrivateFolders(QueryHostTempFolder());
  PrivateFolder folder("BX_PdfProbe_");
  if (folder.path().empty()) return 0;
  const std::string dummy = folder.path() + kPathSeparator + "dummy";
  const XTProject project = NewDummyProject();
  if (project == 0) return 0;
  if (SaveCurrentAs(dummy + ".qxp") != kXTOk) {
    CloseCurrentProject(project, kXTCloseDiscard);
    return 0;
  }
  FileSpecPair& request = CurrentRequest();
  request.source.SetFromPath(dummy + ".qxp");
  request.target.SetFromPath(dummy + ".pdf");
  CreatePdf(true);
  // The dummy is ours and saved: it goes whatever CreatePdf left.
  CloseCurrentProject(project, kXTCloseDiscard);
  CnvTools::ProbeHostFile(dummy + ".qxp");
  // Only a removal the host reports as done tells where the PDF landed.
  if (CnvTools::ProbeHostFile(dummy + ".pdf") == kXTOk) return 1;
  if (CnvTools::ProbeHostFile(dummy) == kXTOk) return 2;
  return 0;
}
