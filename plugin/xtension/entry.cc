#include "plugin/xtension/entry.h"

#include "plugin/xtension/cb_manager.h"
#include "support/host_link.h"

namespace {

// A registration routine behind the exception barrier: a routine that
// throws refuses.
template <int32_t (*Routine)(XTRegisterRec*)>
int32_t GuardedRoutine(XTRegisterRec* record) noexcept {
  return RunGuarded([record] { return Routine(record); }, kStatusRefused);
}

int32_t Activate(XTActivateRec* record) {
  if (record == nullptr) return kStatusRefused;
  if (record->handshake(kXTProductCode, 0, kXTApiVersion, 0x40E70014, 0) == 0) {
    const char16_t text[] = u"Brenix activation failed";
    record->show_message(text, static_cast<int32_t>(sizeof text / sizeof text[0]));
    return kStatusRefused;
  }
  record->set_priority(200);
  record->register_module(GuardedRoutine<RegisterModule>, 5, 200, 0);
  record->register_reservation(GuardedRoutine<ReserveHostIds>, 5, 200, 0);
  return 0;
}

}  // namespace

extern "C" int32_t XTActivateCallback(XTActivateRec* record) {
  return RunGuarded([record] { return Activate(record); }, kStatusRefused);
}

int32_t ReserveHostIds(XTRegisterRec* record) {
  if (record == nullptr) return kStatusRefused;
  for (int32_t& id : XT().reserved_ids) {
    if (record->reserve_id(1, &id) != kXTOk) return kStatusRefused;
  }
  return 0;
}
