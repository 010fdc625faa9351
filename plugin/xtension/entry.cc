#include "plugin/xtension/entry.h"

#include "plugin/xtension/cb_manager.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

// A registration routine behind the exception barrier: a routine that
// throws refuses.
template <int32_t (*Routine)(XTRegisterRec*)>
int32_t GuardedRoutine(XTRegisterRec* record) noexcept {
  return RunGuarded([record] { return Routine(record); }, kStatusRefused);
}

int32_t ActivationFailed(const XTActivateRec& record, const char* call, int32_t result) {
  LogHostFailure(call, result);
  const char16_t text[] = u"Brenix activation failed";
  record.show_message(text, static_cast<int32_t>(sizeof text / sizeof text[0]));
  return kStatusRefused;
}

int32_t Activate(XTActivateRec* record) {
  if (record == nullptr) return kStatusRefused;
  if (record->handshake(kXTProductCode, 0, kXTApiVersion, 0x40E70014, 0) == 0) {
    return ActivationFailed(*record, "handshake", 0);
  }
  // Without its routines registered the plug-in would never set up, or set
  // up without its host ids.
  int32_t result;
  if ((result = record->set_priority(200)) != kXTOk) return ActivationFailed(*record, "set_priority", result);
  if ((result = record->register_module(GuardedRoutine<RegisterModule>, 5, 200, 0)) != kXTOk) {
    return ActivationFailed(*record, "register_module", result);
  }
  if ((result = record->register_reservation(GuardedRoutine<ReserveHostIds>, 5, 200, 0)) != kXTOk) {
    return ActivationFailed(*record, "register_reservation", result);
  }
  return 0;
}

}  // namespace

extern "C" int32_t XTActivateCallback(XTActivateRec* record) {
  return RunGuarded([record] { return Activate(record); }, kStatusRefused);
}

int32_t ReserveHostIds(XTRegisterRec* record) {
  if (record == nullptr) return kStatusRefused;
  for (int32_t& id : XT().reserved_ids) {
    if (HostCall("reserve_id", record->reserve_id(1, &id)) != kXTOk) return kStatusRefused;
  }
  return 0;
}
