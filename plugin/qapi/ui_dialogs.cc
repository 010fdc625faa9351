#include "plugin/qapi/ui_dialogs.h"

#include <ostream>

#include "platform/xt/xt_records.h"
#include "plugin/qapi/ui_alert.h"
#include "plugin/qapi/ui_host.h"
#include "support/brenix_interface.h"
#include "support/error_names.h"
#include "support/host_link.h"
#include "support/program_log.h"
#include "support/host_result.h"

namespace {

// Resources by dialog number.
const int32_t kResources[15] = {22300, 101, 112, 103, 104, 105, 108, 107,
                                113,   114, 115, 111, 116, 117, 106};

// What the log shows of a suppressed dialog.
struct LoggedText {
  const char* title;
  const char* text;
};

LoggedText SuppressedText(int number) {
  switch (number) {
    case kDialogExportDone:
      return {"Result", "Export done"};
    case kDialogExportFailed:
      return {"Result", "Export failed"};
    case kDialogImportDone:
      return {"Result", "Import done"};
    case kDialogImportFailed:
      return {"Result", "Import failed"};
    case kDialogSaveChanged:
      return {"", "File was changed. Save it?"};
    case kDialogOpening:
      return {"", "Opening..."};
    case kDialogExportSource:
      return {"Export Current Source Folder", ""};
    case kDialogTargetKxq:
      return {"Target folder for KXQ", ""};
    case kDialogTargetPdf:
      return {"Target folder for PDF", ""};
    case kDialogTargetKxqPdf:
      return {"Target folder for KXQ/PDF", ""};
    case kDialogImportFolder:
      return {"Import Solvane Files", ""};
    case kDialogOverwriteKxq:
    case kDialogOverwritePdf:
    case kDialogOverwriteQxp:
      return {"Overwrite files?", ""};
    default:
      return {"", ""};
  }
}

// The record, with the resource request answered and it and the prepare
// message marked handled.
XTDialogRec& Common(void* record) {
  XTDialogRec& dialog = *static_cast<XTDialogRec*>(record);
  if (dialog.message == kXTDialogAskResource) {
    if (dialog.resource != nullptr) *dialog.resource = DialogResource(DialogNumberOfId(dialog.kind));
    dialog.handled = 1;
  } else if (dialog.message == kXTDialogPrepare) {
    dialog.handled = 1;
  }
  return dialog;
}

// Item numbers of the overwrite questions.
struct OverwriteItems {
  int32_t yes, cancel, no;
};

OverwriteItems OverwriteItemsOf(int number) {
  switch (number) {
    case kDialogOverwritePdf:
      return {1014, 1016, 1015};
    case kDialogOverwriteQxp:
      return {1017, 1019, 1018};
    default:
      return {1020, 1021, 1005};
  }
}

// The host's own alert windows that stop a document from opening.
const char kHostWindowClass[] = "#32770";
const char* const kHostAlertTitles[] = {"QuarkXPress (tm)", "QuarkXPress Passport (tm)"};
// Where the click lands: (1, 1) in the button.
constexpr int32_t kClickPoint = (1 << 16) | 1;

}  // namespace

int32_t DialogResource(int number) {
  return number >= 1 && number <= 15 ? kResources[number - 1] : 0;
}

int32_t ReservedDialogId(int number) {
  return number >= 1 && number <= 15 ? XT().reserved_ids[number - 1] : 0;
}

int DialogNumberOfId(int32_t id) {
  for (int number = 1; number <= 15; ++number) {
    if (id != 0 && XT().reserved_ids[number - 1] == id) return number;
  }
  return 0;
}

int32_t& OverwriteCancelFlag() {
  static int32_t flag = 0;
  return flag;
}

int32_t ShowDialog(int number, int32_t argument, int32_t* result, const int32_t* defaultAnswer,
                   bool showInMultiDoc, bool showInBatch, bool showInServer) {
  const BrenixInterface* modes = BrenixInterface::Instance();
  // Nobody is there to answer in batch and server mode.
  const bool unattended = RunCountsAsBatch() || modes->serverMode;
  if (unattended || (modes->multiDocMode && !showInMultiDoc)) {
    const LoggedText logged = SuppressedText(number);
    ProgramLog() << "\nSUPPRESSED DIALOG:\t" << logged.title << "\t->\t" << logged.text
                 << std::endl;
    if (result != nullptr) *result = defaultAnswer != nullptr ? *defaultAnswer : 0;
    if (unattended || !(showInMultiDoc || showInBatch || showInServer)) return 0;
  }
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return DebugCheckApiErr(kXTErrNoSuite);
  const int32_t id = ReservedDialogId(number);
  if (id == 0) return DebugCheckApiErr(kXTErrParam);
  return TraceLevel(HostCall("run_dialog", dialogs->run_dialog(id, argument, result)), "Create dialog error!");
}

int32_t ProgressDialogProc(void* record) {
  XTDialogRec& dialog = Common(record);
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return 0;
  if (dialog.message == kXTDialogPrepare) {
    dialogs->set_item_value(dialog.dialog, 2, 1);
    dialogs->set_item_value(dialog.dialog, 1, 0);
  }
  return 0;
}

int32_t ResultDialogProc(void* record) {
  Common(record);
  return 0;
}

int32_t SaveChangedDialogProc(void* record) {
  constexpr int32_t kSaveFile = 1, kCancelExport = 2;
  XTDialogRec& dialog = Common(record);
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return 0;
  if (dialog.message == kXTDialogPrepare) {
    dialogs->set_cancel_item(dialog.dialog, kCancelExport);
  } else if (dialog.message == kXTDialogItemHit &&
             (dialog.item == kSaveFile || dialog.item == kCancelExport)) {
    dialogs->end_dialog(dialog.dialog, dialog.item == kSaveFile ? kSaveChangedSave : kSaveChangedCancel);
    dialog.handled = 1;
  }
  return 0;
}

int32_t ExportSourceDialogProc(void* record) {
  constexpr int32_t kOk = 1004, kCancel = 1005, kKxq = 1001, kPdf = 1002;
  XTDialogRec& dialog = Common(record);
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return 0;
  switch (dialog.message) {
    case kXTDialogPrepare:
      dialogs->set_item_value(dialog.dialog, kKxq, 0);
      dialogs->set_item_value(dialog.dialog, kPdf, 0);
      break;
    case kXTDialogFirstUpdate:
      dialogs->enable_dialog_item(dialog.dialog, kKxq, 1);
      dialogs->enable_dialog_item(dialog.dialog, kPdf, 1);
      break;
    case kXTDialogItemHit:
      if (dialog.item == kOk || dialog.item == kCancel) {
        dialogs->end_dialog(dialog.dialog, dialog.item == kOk ? 1 : 0);
        dialog.handled = 1;
      }
      break;
    case kXTDialogEndedDefault: {
      int32_t kxq = 0, pdf = 0;
      dialogs->item_value(dialog.dialog, kKxq, &kxq);
      dialogs->item_value(dialog.dialog, kPdf, &pdf);
      int target = 0;
      if (kxq != 0 && pdf != 0) {
        target = kDialogTargetKxqPdf;
      } else if (kxq != 0) {
        target = kDialogTargetKxq;
      } else if (pdf != 0) {
        target = kDialogTargetPdf;
      }
      if (target != 0) ShowDialog(target, 0, nullptr, nullptr, true, false, false);
      break;
    }
    default:
      break;
  }
  return 0;
}

int32_t OverwriteDialogProc(void* record) {
  XTDialogRec& dialog = Common(record);
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return 0;
  const OverwriteItems items = OverwriteItemsOf(DialogNumberOfId(dialog.kind));
  if (dialog.message == kXTDialogPrepare) {
    dialogs->set_cancel_item(dialog.dialog, items.cancel);
  } else if (dialog.message == kXTDialogItemHit) {
    if (dialog.item == items.yes) {
      dialogs->end_dialog(dialog.dialog, 1);
    } else if (dialog.item == items.cancel || dialog.item == items.no) {
      OverwriteCancelFlag() = dialog.item == items.cancel ? 1 : 0;
      dialogs->end_dialog(dialog.dialog, 0);
    } else {
      return 0;
    }
    dialog.handled = 1;
  }
  return 0;
}

int32_t OpeningDialogProc(void* record) {
  XTDialogRec& dialog = Common(record);
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return 0;
  if (dialog.message == kXTDialogAskResource) {
    dialogs->want_messages(kXTWantIdle, 0, 0);
  } else if (dialog.message == kXTDialogIdle) {
    // The host's alert would stop the document from opening: click its
    // button away.
    XTWindow window = 0;
    for (const char* title : kHostAlertTitles) {
      if (dialogs->find_window(kHostWindowClass, title, &window) == kXTOk && window != 0) break;
      window = 0;
    }
    XTWindow button = 0;
    if (window != 0 && dialogs->window_item(window, 2, &button) == kXTOk) {
      dialogs->post_message(button, kXTMessageButtonDown, 1, kClickPoint);
      dialogs->post_message(button, kXTMessageButtonUp, 0, kClickPoint);
    }
    dialog.handled = 1;
  }
  return 0;
}
