// The batch jobs of the control file, run by the idle action one step per
// idle call: the folder export (action 12) and the folder import (action
// 18).  Total and Count of the control file follow the folder driver.
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
  const XTFileSpec targetSpec = FolderSpec(target);
  KxqFolderSpec = targetSpec;
  const XTFileSpec pdfSpec = FolderSpec(pdfDir);
  SetFolderOverwriteFlags();
  const bool recursive = batch.Check() && batch.IsRecursive();
  if (toKxq) ExportFolder(targetSpec, recursive);
  if (toPdf) {
    PdfFolderPath = pdfDir;
    // The PDF files go to the PdfDir folder, so the existing targets are
    // looked for there too.
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
  ImportTargetFolderSpec = FolderSpec(target);
  SetFolderOverwriteFlags();
  ImportFolder(batch.Check() && batch.IsRecursive());
}
