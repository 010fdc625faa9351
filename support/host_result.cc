#include "support/host_result.h"

#include <ostream>

#include "support/program_log.h"

void LogHostFailure(const char* call, int32_t result) {
  ProgramLog() << "ERROR: host call " << call << " failed: " << result << std::endl;
}
