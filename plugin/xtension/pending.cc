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

template <>
void ImportAction::ActionPerformed(XTVoidRec*) {
  CommandNotAvailable("Solvane import", kDialogImportFailed);
}

