// The batch jobs of the control file, run by the idle action one step per
// idle call: the folder export (action 12) and the folder import (action
// 18).  Total and Count of the control file follow the folder driver.  A
// Source that is missing or cannot be read fails the job, and a target
// folder (Target, PdfDir) that is missing is made first; one that cannot be
// made fails its pass: each with an "ERROR:" line and the failure message
// in the log.  A file that fails fails its pass the same way, after the
// others were converted; a job whose KXQ pass failed never ends in
// "Conversion finished.".
#include "platform/xt/xt_records.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/folder_conversion.h"
#include "plugin/xtension/actions.h"
#include "support/batch_file.h"
#include "support/host_file_spec.h"

namespace {

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
  const char* failure = "Export failed for folder: ";
  if (!UseFolderSpec(SourceFolderSpec, source, HostDocFolderSpec(), failure, source)) return;
  SetFolderOverwriteFlags();
  const bool recursive = batch.Check() && batch.IsRecursive();
  XTFileSpec targetSpec{};
  bool kxqFailed = false;
  if (toKxq) {
    kxqFailed = !UseFolderSpec(TargetFolderSpec, target, targetSpec, failure, source);
    if (!kxqFailed) {
      KxqFolderSpec = targetSpec;
      kxqFailed = !ExportFolder(targetSpec, recursive);
    }
  }
  XTFileSpec pdfSpec{};
  if (toPdf && UseFolderSpec(TargetFolderSpec, pdfDir, pdfSpec, failure, source)) {
    // The PDF files go to the PdfDir folder, and the existing targets are
    // looked for there.  A job whose KXQ pass failed does not end in
    // "Conversion finished.".
    PdfFolderPath = pdfDir;
    const uint8_t notice = ShowFinishedNotice;
    if (kxqFailed) ShowFinishedNotice = 0;
    ExportFolderToPdf(pdfSpec, recursive);
    ShowFinishedNotice = notice;
  }
}

template <>
void BatchImportAction::ActionPerformed(XTIdleRec*) {
  BatchFile& batch = BatchFile::Instance();
  if (!batch.Check()) return;
  std::string source, target, pdfDir;
  batch.GetPaths(source, target, pdfDir);
  const char* failure = "Import failed for folder: ";
  XTFileSpec targetSpec{};
  if (!UseFolderSpec(SourceFolderSpec, source, KxqFolderSpec, failure, source) ||
      !UseFolderSpec(TargetFolderSpec, target, targetSpec, failure, source)) {
    return;
  }
  ImportTargetFolderSpec = targetSpec;
  SetFolderOverwriteFlags();
  ImportFolder(batch.Check() && batch.IsRecursive());
}
