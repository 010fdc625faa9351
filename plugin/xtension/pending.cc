#include "plugin/xtension/pending.h"

#include <ostream>

#include "platform/xt/xt_records.h"
#include "plugin/xtension/cb_manager.h"
#include "support/program_log.h"

namespace {

void NotAvailable(const char* what) {
  ProgramLog() << what << " is not available yet" << std::endl;
}

// Dialog resources by reserved id.
const int32_t kDialogResources[15] = {22300, 101, 112, 103, 104, 105, 108, 107,
                                      113,   114, 115, 111, 116, 117, 106};

template <int Number>
int32_t DialogBody(void* record) {
  XTDialogRec* dialog = static_cast<XTDialogRec*>(record);
  if (dialog == nullptr) return 0;
  if (dialog->message == kXTDialogAskResource) {
    if (dialog->resource != nullptr) *dialog->resource = kDialogResources[Number - 1];
    dialog->handled = 1;
    ProgramLog() << "Brenix dialog " << Number << " (resource " << kDialogResources[Number - 1]
                 << ") is not available yet" << std::endl;
  } else if (dialog->message == kXTDialogPrepare) {
    dialog->handled = 1;
  }
  return 0;
}

template <int... Numbers>
struct DialogTable {
  static constexpr XTCallback kRoutines[] = {&Guarded<&DialogBody<Numbers>>...};
};
using Dialogs = DialogTable<1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>;

}  // namespace

bool InitBrenix() {
  NotAvailable("InitBrenix: the plug-in object");
  return true;
}

void DeinitBrenix() { NotAvailable("DeinitBrenix: the plug-in object"); }

int32_t BoxPairCallback(void*) {
  NotAvailable("BoxPairCallback");
  return 0;
}

int32_t LinkedBoxCallback(void*) {
  NotAvailable("LinkedBoxCallback");
  return 0;
}

int32_t PdfContinuationCallback(void*) {
  NotAvailable("PdfContinuationCallback");
  return 0;
}

XTCallback DialogCallback(int number) {
  return number >= 1 && number <= 15 ? Dialogs::kRoutines[number - 1] : nullptr;
}

int32_t DialogResource(int number) {
  return number >= 1 && number <= 15 ? kDialogResources[number - 1] : 0;
}
