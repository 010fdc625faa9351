#include "plugin/conversion/single_conversion.h"

#include <sys/stat.h>

#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/conversion_types.h"
#include "plugin/conversion/folder_conversion.h"
#include "plugin/conversion/pdf_creation.h"
#include "plugin/qapi/cnv_tools.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/host_text_services.h"
#include "plugin/qapi/progress_bar.h"
#include "plugin/qapi/quark_doc.h"
#include "plugin/qapi/ui_alert.h"
#include "plugin/xtension/actions.h"
#include "support/conversion_state.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/program_log.h"

namespace {

constexpr int kTraceLevel = 12;

void Trace(const std::string& text) { TraceLevel(kTraceLevel, text.c_str()); }

// The single-file conversion probes the PDF mode at most once while the
// plug-in is loaded.
bool singlePdfProbed = false;

void ProbePdfModeOnce(const std::string& target) {
  std::string folder, name;
  if (!SplitPathChecked(target, folder, name, nullptr, true)) {
    Trace("Split path error => conversion failed!");
  } else {
    PdfFolderPath = folder;
  }
  if (singlePdfProbed) return;
  const FileSpecPair saved = CurrentRequest();
  try {
    PdfStepMode = ProbePdfMode(3);
  } catch (...) {
    Trace("PDF-Mode check failed => using default values");
    PdfStepMode = 3;
  }
  singlePdfProbed = true;
  CurrentRequest() = saved;
}

// Whether the action recorded "done" and its target is there.
bool ActionSucceeded(const std::string& target) {
  return LastCommandOutcome() == CommandOutcome::kDone && PathExists(target);
}

// The three export converters: open the source, stop when an existing
// target may not be replaced, fire the action (whose output replaces the
// target only once whole).
bool ExportConverter(uint8_t overwrite, void (*perform)(void*)) {
  const FileSpecPair& request = CurrentRequest();
  XTFileSpec spec{};
  CnvTools::SetPath(request.source, spec);
  const int32_t documentsBefore = GetDocumentCount();
  const int32_t openResult = OpenDocumentFromSpec(&spec, 31);
  if (openResult != 0) {
    LogSourceNotOpened(request.source.GetFullPath(), openResult);
    RecordCommandOutcome(CommandOutcome::kNotOpened);
    return false;
  }
  // Only a document this converter opened may be closed by it.
  const bool opened = GetDocumentCount() > documentsBefore;
  const int16_t document = GetCurrentDocumentId();
  const std::string target = request.target.GetFullPath();
  if (overwrite == 0 && PathExists(target)) {
    if (opened) CloseCurrentProject(-1, kXTCloseDiscard);
    return false;
  }
  ClearCommandOutcome();
  perform(nullptr);
  const bool done = ActionSucceeded(target);
  // An action that failed early leaves the document open; the next file of
  // an unattended run must not find it there.  Its only changes are ours.
  if (opened && GetDocumentCount() > documentsBefore && GetCurrentDocumentId() == document) {
    CloseCurrentProject(-1, kXTCloseDiscard);
  }
  return done;
}

}  // namespace

bool ConvertToKxq() { return ExportConverter(OverwriteFlags.kxqTarget, &PerformKxtExportAction); }

bool ConvertToCoordinates() {
  return ExportConverter(OverwriteFlags.coordinatesTarget, &PerformExportCoordsAction);
}

bool ConvertToXTags() { return ExportConverter(OverwriteFlags.xtagsTarget, &PerformExportXTagsAction); }

bool ConvertToHostDocument() {
  const FileSpecPair& request = CurrentRequest();
  if (request.source.kind != kFileKindKxq ||
      (request.target.kind != kFileKindQxp && request.target.kind != kFileKindQxd) ||
      request.conversionType != kConvertImport) {
    return false;
  }
  XTFileSpec spec{};
  CnvTools::SetPath(request.source, spec);
  KxqFolderSpec = spec;
  const std::string target = request.target.GetFullPath();
  ImportTargetPath = target;
  if (OverwriteFlags.importTarget == 0 && PathExists(target)) return false;
  ClearCommandOutcome();
  PerformImportAction(nullptr);
  return ActionSucceeded(target);
}

bool IsOwnTarget(const std::string& source, const std::string& target) {
  if (source == target) return true;
  struct stat from {}, to {};
  return ::stat(source.c_str(), &from) == 0 && ::stat(target.c_str(), &to) == 0 && from.st_dev == to.st_dev &&
         from.st_ino == to.st_ino;
}

bool ConversionDispatch() {
  const FileSpecPair& request = CurrentRequest();
  const uint32_t type = request.conversionType;
  if (!request.CheckKinds(type == kConvertImport)) return false;
  if (IsOwnTarget(request.source.GetFullPath(), request.target.GetFullPath())) return false;
  try {
    switch (type) {
      case kConvertToKxq:
        return ConvertToKxq();
      case kConvertToPdf:
        return CreatePdf(false);
      case kConvertToCoordinates:
        return ConvertToCoordinates();
      case kConvertToXTags:
        return ConvertToXTags();
      case kConvertImport:
        return ConvertToHostDocument();
      default:
        return false;
    }
  } catch (...) {
    ShowAlert(kAlertResource, "Conversion failed for file: ", CurrentRequest().source.GetFullPath(), "", "",
              false, false, false);
    return false;
  }
}

namespace FolderUtils {

bool ProcessConversion(const std::string& source, const std::string& target, FileKind sourceKind,
                       FileKind targetKind) {
  OverwriteFlags.SetAll(1);
  const ConversionType type = ConversionTypeFromKinds(sourceKind, targetKind, kFileKindNone);
  if (type == kConvertNone) return false;
  const XTWindow dialog = OpenStatusDialog();
  std::string name;
  bool result = false;
  try {
    FileSpecPair& request = CurrentRequest();
    request.Reset();
    request.conversionType = type;
    request.SetHostTypes();
    if (CnvTools::SetTargetPath(request.source, source) != 0) {
      Trace("Set source error => conversion failed!");
    } else {
      std::string folder;
      if (!SplitPathChecked(source, folder, name, nullptr, true)) Trace("Split path error => conversion failed!");
      SetProgressTitle(dialog, 1, 1, name, type);
      if (CnvTools::SetTargetPath(request.target, target) != 0) {
        Trace("Set target error => conversion failed!");
      } else {
        if (type == kConvertToPdf && PdfStepMode == 3) ProbePdfModeOnce(target);
        result = ConversionDispatch();
        if (!result) Trace(name + " not converted!");
        if (!result && IsOwnTarget(source, target)) {
          ProgramLog() << "ERROR: \"" << source << "\" not converted: it is its own target" << std::endl;
        }
      }
    }
  } catch (...) {
    ShowAlert(kAlertResource, "Conversion failed for file: ", name, "", "", false, false, false);
    result = false;
  }
  CloseStatusDialog(dialog);
  CallHostWithConversionPaths();
  return result;
}

}  // namespace FolderUtils
