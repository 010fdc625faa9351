#include "plugin/xtension/pending.h"

#include <ostream>
#include <string>

#include "platform/xt/xt_records.h"
#include "plugin/qapi/ui_alert.h"
#include "plugin/qapi/ui_dialogs.h"
#include "plugin/xtension/actions.h"
#include "support/program_log.h"

namespace {

void NotAvailable(const std::string& what) {
  ProgramLog() << what << " is not available yet" << std::endl;
}

// A command that cannot run yet tells the user so, and ends as a failed
// export or import would.
void CommandNotAvailable(const char* what, int failedDialog) {
  NotAvailable(what);
  ShowAlert(kAlertResource, what, " is not available yet.", "", "", false, false, false);
  const int32_t ok = 1;
  int32_t answer = 0;
  ShowDialog(failedDialog, 0, &answer, &ok, false, false, false);
}

}  // namespace

int32_t PdfContinuationCallback(void*) {
  NotAvailable("PdfContinuationCallback");
  return 0;
}

int32_t FolderDialogProc(void* record) {
  XTDialogRec* dialog = static_cast<XTDialogRec*>(record);
  if (dialog == nullptr) return 0;
  const int number = DialogNumberOfId(dialog->kind);
  if (dialog->message == kXTDialogAskResource) {
    if (dialog->resource != nullptr) *dialog->resource = DialogResource(number);
    dialog->handled = 1;
    NotAvailable("Brenix dialog " + std::to_string(number) + " (resource " +
                 std::to_string(DialogResource(number)) + ")");
  } else if (dialog->message == kXTDialogPrepare) {
    dialog->handled = 1;
  }
  return 0;
}

bool FolderUtils::ProcessConversion(const std::string& source, const std::string&, FileKind, FileKind) {
  NotAvailable("FolderUtils::ProcessConversion of " + source);
  return false;
}

template <>
void ExportAction::ActionPerformed(XTVoidRec*) {
  CommandNotAvailable("KXT export", kDialogExportFailed);
}

template <>
void OpenAndExportAction::ActionPerformed(XTVoidRec*) {
  CommandNotAvailable("Open and export", kDialogExportFailed);
}

template <>
void BatchExportAction::ActionPerformed(XTIdleRec*) {
  CommandNotAvailable("Batch export", kDialogExportFailed);
}

template <>
void CoordinatesAction::ActionPerformed(XTVoidRec*) {
  CommandNotAvailable("Coordinates export", kDialogExportFailed);
}

template <>
void XTagsAction::ActionPerformed(XTVoidRec*) {
  CommandNotAvailable("XTags export", kDialogExportFailed);
}

template <>
void BatchImportAction::ActionPerformed(XTIdleRec*) {
  CommandNotAvailable("Batch import", kDialogImportFailed);
}
