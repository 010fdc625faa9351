// The batch jobs of the control file, run by the idle action one step per
// idle call: the folder export (action 12) and the folder import (action
// 18).  Total and Count of the control file follow the folder driver.  A
// target folder (Target, PdfDir) that is missing is made first; one that
// cannot be made fails its pass with an "ERROR:" line and the failure
// message in the log.
#include "platform/xt/xt_records.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/folder_conversion.h"
#include "plugin/xtension/actions.h"
#include "support/batch_file.h"
#include "support/host_file_spec.h"

namespace {

// The host spec of a folder path; empty when the host cannot make it.
XTFileSpec FolderSpec(const std::string& path) {
  XTFileSpec spec{};
  if (!path.empty()) xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr);
  return spec;
}

// The spec of the target folder `path`, made when missing; false (the
// failure logged and reported) when there is none.
bool TargetFolder(const std::string& path, const char* failure, const std::string& source, XTFileSpec& spec) {
  const std::string reason = TargetFolderSpec(path, spec);
  if (reason.empty()) return true;
  ReportFolderConversionFailure(failure, source, reason);
  return false;
}

void SetFolderOverwriteFlags() {
  OverwriteFlags.importTarget = 1;
  OverwriteFlags.kxqTarget = 1;
  OverwriteFlags.pdfTarget = 1;
}

}  // namespace

template <>
void BatchExportAction::ActionPerformed(XTIdleRec*) {
  BatchFile& batch = BatchFile::Instance();
  if (!batch.Check()) return;
  std::string source, target, pdfDir;
  batch.GetPaths(source, target, pdfDir);
  const bool toKxq = !source.empty() && !target.empty();
  const bool toPdf = !pdfDir.empty();
  if (!toKxq && !toPdf) return;
  HostDocFolderSpec() = FolderSpec(source);
  SetFolderOverwriteFlags();
  const bool recursive = batch.Check() && batch.IsRecursive();
  const char* failure = "Export failed for folder: ";
  XTFileSpec targetSpec{};
  if (toKxq && TargetFolder(target, failure, source, targetSpec)) {
    KxqFolderSpec = targetSpec;
    ExportFolder(targetSpec, recursive);
  }
  XTFileSpec pdfSpec{};
  if (toPdf && TargetFolder(pdfDir, failure, source, pdfSpec)) {
    // The PDF files go to the PdfDir folder, and the existing targets are
    // looked for there.
    PdfFolderPath = pdfDir;
    ExportFolderToPdf(pdfSpec, recursive);
  }
}

template <>
void BatchImportAction::ActionPerformed(XTIdleRec*) {
  BatchFile& batch = BatchFile::Instance();
  if (!batch.Check()) return;
  std::string source, target, pdfDir;
  batch.GetPaths(source, target, pdfDir);
  KxqFolderSpec = FolderSpec(source);
  XTFileSpec targetSpec{};
  if (!TargetFolder(target, "Import failed for folder: ", source, targetSpec)) return;
  ImportTargetFolderSpec = targetSpec;
  SetFolderOverwriteFlags();
  ImportFolder(batch.Check() && batch.IsRecursive());
}
