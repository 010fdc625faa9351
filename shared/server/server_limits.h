// How long a client may take over each line and each transfer block (and
// so how long the server waits on a silent one), and how large a received
// file may grow.
//
// Defaults: 300 seconds and 2 GiB.  The environment variables
// BRENIX_SERVER_TIMEOUT (seconds) and BRENIX_SERVER_MAX_FILE (bytes) replace
// them when they hold a positive decimal number; any other value keeps the
// default and is logged.
#pragma once

#include <cstdint>

struct ServerLimits {
  static constexpr long kDefaultTimeoutSeconds = 300;
  static constexpr uint64_t kDefaultMaxFileBytes = uint64_t{2} << 30;

  long timeoutSeconds = kDefaultTimeoutSeconds;
  uint64_t maxFileBytes = kDefaultMaxFileBytes;

  // The limits the environment asks for, read at each call.
  static ServerLimits FromEnvironment();
};
