#include "plugin/xtension/dialogs.h"

#include "plugin/qapi/ui_dialogs.h"
#include "plugin/xtension/cb_manager.h"
#include "plugin/xtension/folder_dialogs.h"

XTCallback DialogCallback(int number) {
  switch (number) {
    case kDialogProgress:
      return Guarded<ProgressDialogProc>;
    case kDialogExportDone:
    case kDialogExportFailed:
    case kDialogImportDone:
    case kDialogImportFailed:
      return Guarded<ResultDialogProc>;
    case kDialogSaveChanged:
      return Guarded<SaveChangedDialogProc>;
    case kDialogExportSource:
      return Guarded<ExportSourceDialogProc>;
    case kDialogTargetKxq:
      return Guarded<TargetKxqDialogProc>;
    case kDialogTargetPdf:
      return Guarded<TargetPdfDialogProc>;
    case kDialogTargetKxqPdf:
      return Guarded<TargetKxqPdfDialogProc>;
    case kDialogImportFolder:
      return Guarded<ImportFolderDialogProc>;
    case kDialogOverwriteKxq:
    case kDialogOverwritePdf:
    case kDialogOverwriteQxp:
      return Guarded<OverwriteDialogProc>;
    case kDialogOpening:
      return Guarded<OpeningDialogProc>;
    default:
      return nullptr;
  }
}
