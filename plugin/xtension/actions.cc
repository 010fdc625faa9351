#include "plugin/xtension/actions.h"

#include "plugin/qapi/progress_bar.h"
#include "support/host_link.h"

RefHandle<BeepAction> GetBeepAction() { return BeepAction::Instance(); }

RefHandle<ExportButton> GetExportAction() { return ExportButton::Instance(); }

void PerformExportAction(void* record) {
  if (const RefHandle<ExportButton> button = GetExportAction()) {
    button->ActionPerformed(static_cast<XTVoidRec*>(record));
  }
}

void NotifyBeep(XTVoidRec* record) {
  if (const RefHandle<BeepAction> beep = GetBeepAction()) beep->ActionPerformed(record);
}

template <>
void BeepAction::ActionPerformed(XTVoidRec*) {
  if (const XTApplicationSuite* application = XT().application) application->message_beep(0);
}

template <>
void AboutAction::ActionPerformed(XTVoidRec* record) {
  NotifyBeep(record);
}

template <>
void ProgressAction::ActionPerformed(XTVoidRec*) {
  ShowProgressStatus();
}
