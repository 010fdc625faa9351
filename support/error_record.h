// An error record: a filter error code (1000 to 1021, named by
// GetErrorName) and a shared message text, which copies share and which is
// released when the last copy goes.
#pragma once

#include <cstdint>

#include "support/msg_string.h"

struct ErrorRecord {
  uint16_t code = 0;
  MsgString message;  // may be empty
};
