#include "shared/server/server_limits.h"

#include <cstdlib>
#include <string>

#include "support/program_log.h"

namespace {

// A positive decimal number no larger than `maximum`, or 0.
uint64_t PositiveDecimal(const char* text, uint64_t maximum) {
  uint64_t value = 0;
  if (!text || !*text) return 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    unsigned digit = static_cast<unsigned>(*p - '0');
    if (value > (maximum - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

// The value of variable `name`, or `fallback` (logged) when it is set to
// anything but a positive decimal number.
uint64_t Setting(const char* name, uint64_t fallback, uint64_t maximum) {
  const char* text = std::getenv(name);
  if (!text) return fallback;
  uint64_t value = PositiveDecimal(text, maximum);
  if (value != 0) return value;
  LogMessage(BRENIX_LOCATION("ServerLimits::FromEnvironment"),
             std::string("Ignoring ") + name + "='" + text + "': not a positive decimal number; using " +
                 std::to_string(fallback),
             6);
  return fallback;
}

}  // namespace

ServerLimits ServerLimits::FromEnvironment() {
  ServerLimits limits;
  // Timeouts beyond 68 years are no use and would not fit a time value.
  limits.timeoutSeconds =
      static_cast<long>(Setting("BRENIX_SERVER_TIMEOUT", kDefaultTimeoutSeconds, uint64_t{1} << 31));
  limits.maxFileBytes = Setting("BRENIX_SERVER_MAX_FILE", kDefaultMaxFileBytes, UINT64_MAX);
  return limits;
}
