// The plug-in's entry and its registration with the host.
//
// The host calls XTActivateCallback once; it answers the handshake and
// registers ReserveHostIds and RegisterModule, which the host calls in this
// order.  RegisterModule acquires the suites and bound tables, looks up the
// host's XTensions, builds the plug-in object and registers every host
// callback.  Each returns 0, or kStatusRefused when the plug-in cannot run.
#pragma once

#include <cstdint>

#include "platform/xt/xt_entry.h"

constexpr int32_t kStatusRefused = 0x51000401;

// The plug-in's one C entry.  A refused handshake, and a failure to set the
// priority or to register either routine, shows "Brenix activation failed"
// through the activation record, logs the failed call and refuses.
extern "C" __attribute__((visibility("default"))) int32_t XTActivateCallback(XTActivateRec* record);

// Reserves the fifteen host ids (XT().reserved_ids), stopping at the first
// refusal (logged).
int32_t ReserveHostIds(XTRegisterRec* record);

// The module registration.  A failure up to and including the plug-in
// object's construction shows "Brenix setup failed"; a failed second
// binding pass only leaves the PDF continuation, box-pair and linked-box
// callbacks out; a failed closing request refuses without a message.  Every
// failed host call is logged; ids that were never reserved fail the setup
// rather than register callbacks of kind 0.
int32_t RegisterModule(XTRegisterRec* record);
