#include "plugin/qapi/ui_alert.h"

#include <ostream>

#include "support/batch_file.h"
#include "support/brenix_interface.h"
#include "support/host_calls.h"
#include "support/host_link.h"
#include "support/program_log.h"
#include "support/reg_key.h"
#include "support/host_result.h"

bool RunCountsAsBatch() { return IsBatchMode() || BatchFile::Instance().Check(); }

namespace {

// Raises host alert `hostAlert`; `answer` receives the button pressed, 1 (the
// first button) when the alert was suppressed or refused.
int32_t RaiseAlert(int32_t hostAlert, const std::string& text0, const std::string& text1,
                   const std::string& text2, const std::string& text3, bool force, int32_t* answer) {
  *answer = 1;
  const BrenixInterface* modes = BrenixInterface::Instance();
  const bool batch = RunCountsAsBatch();
  if (modes->multiDocMode || batch || modes->serverMode) {
    ProgramLog() << "\nSUPPRESSED MESSAGE BOX:\t" << text0 << '\t' << text1 << '\t' << text2
                 << '\t' << text3 << std::endl;
    // Nobody is there to read it in batch and server mode.
    if (batch || modes->serverMode || !force) return 0;
  }
  const int32_t set = CallHostWithStrings(text0, text1, text2, text3);
  if (set != kXTOk) return set;
  const XTDialogSuite* dialogs = XT().dialogs;
  // The host answers the item that closed the alert; 0 when it showed none.
  const int32_t pressed = dialogs != nullptr ? dialogs->alert(hostAlert) : 0;
  if (dialogs != nullptr && pressed == 0) LogHostFailure("alert", pressed);
  const bool shown = pressed != 0;
  if (shown) *answer = pressed;
  // The texts are emptied also after a refusal, so the next alert of the
  // host cannot show them.
  const int32_t cleared = CallHostWithStrings("", "", "", "");
  return shown ? cleared : 12;
}

}  // namespace

int32_t ShowAlert(int32_t, const std::string& text0, const std::string& text1,
                  const std::string& text2, const std::string& text3, bool force1, bool force2,
                  bool force3) {
  int32_t answer = 0;
  return RaiseAlert(kXTParamTextAlert, text0, text1, text2, text3, force1 || force2 || force3,
                    &answer);
}

int32_t AskToContinue(const std::string& text0, const std::string& text1, const std::string& text2,
                      const std::string& text3) {
  int32_t answer = kAlertCancel;
  RaiseAlert(kXTContinueAlert, text0, text1, text2, text3, false, &answer);
  return answer == kAlertContinue ? kAlertContinue : kAlertCancel;
}
