#include "support/host_result.h"

#include <ostream>

#include "platform/xt/xt_types.h"
#include "support/program_log.h"
#include "support/stop_request.h"

namespace {

uint32_t failures = 0;

void WriteFailure(const char* call, int32_t result) {
  ProgramLog() << "ERROR: host call " << call << " failed: " << result << std::endl;
}

}  // namespace

void LogHostFailure(const char* call, int32_t result) {
  WriteFailure(call, result);
  NoteHostFailure();
}

void NoteHostFailure() { ++failures; }

uint32_t HostFailureCount() { return failures + (StopRequested() ? 1 : 0); }

bool HostFailedSince(uint32_t before) { return HostFailureCount() != before || StopRequested(); }

const char* HostFailureCause() { return StopRequested() ? "the job was stopped" : "a host call failed"; }

void LogUncountedFailure(const char* call, int32_t result) { WriteFailure(call, result); }

void CleanUp(const char* call, int32_t result) {
  if (result != 0) WriteFailure(call, result);
}

const char kHostDiskFullText[] = "no space left on the disk or in the user's quota";

std::string HostResultReason(int32_t result) {
  return result == kXTErrDiskFull ? std::string(" (") + kHostDiskFullText + ")" : std::string();
}
