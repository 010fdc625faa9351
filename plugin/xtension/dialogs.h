// The callbacks registered for the fifteen reserved dialog ids.
#pragma once

#include "platform/xt/xt_types.h"

// The callback of the dialog registered under reserved id `number` (1 to
// 15, plugin/qapi/ui_dialogs.h), behind the exception barrier; null for
// another number.
XTCallback DialogCallback(int number);
