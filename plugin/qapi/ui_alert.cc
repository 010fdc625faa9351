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

int32_t ShowAlert(int32_t, const std::string& text0, const std::string& text1,
                  const std::string& text2, const std::string& text3, bool force1, bool force2,
                  bool force3) {
  const BrenixInterface* modes = BrenixInterface::Instance();
  const bool batch = RunCountsAsBatch();
  if (modes->multiDocMode || batch || modes->serverMode) {
    ProgramLog() << "\nSUPPRESSED MESSAGE BOX:\t" << text0 << '\t' << text1 << '\t' << text2
                 << '\t' << text3 << std::endl;
    // Nobody is there to read it in batch and server mode.
    if (batch || modes->serverMode || !(force1 || force2 || force3)) return 0;
  }
  const int32_t set = CallHostWithStrings(text0, text1, text2, text3);
  if (set != kXTOk) return set;
  const XTDialogSuite* dialogs = XT().dialogs;
  // The host answers the item that closed the alert; 0 when it showed none.
  const int32_t answer = dialogs != nullptr ? dialogs->alert(kXTParamTextAlert) : 0;
  if (dialogs != nullptr && answer == 0) LogHostFailure("alert", answer);
  const bool shown = answer != 0;
  // The texts are emptied also after a refusal, so the next alert of the
  // host cannot show them.
  const int32_t cleared = CallHostWithStrings("", "", "", "");
  return shown ? cleared : 12;
}
