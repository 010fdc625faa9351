// The API-failure report of the layout code: when a host call whose failure
// matters fails and bit 0 of the testMode setting is on, a block goes to the
// program log:
//
//   (empty line)
//   80 ':'
//   API_FAILURE<policy>:\t<source>[<line>]:<function>()
//   80 ':'
//
// each line ended and flushed.  `source` is the reporting module's name
// ("Mixer", "Filter_BX", "Importer"); the line is a fixed number of the
// call site.  With the bit off nothing is written.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

// What the caller does after the failure.
enum class ApiPolicy {
  kReturnError,  // returns the host's error code
  kReturnValue,  // returns its documented failure value
  kReturnEmpty,  // returns without a value
  kCheckOnly,    // goes on
};

// "RETURN_ERROR", "RETURN_VALUE", "RETURN_EMPTY", "CHECK_ONLY".
const char* ApiPolicyWord(ApiPolicy policy);

// The block as written, whatever the setting.
std::string ApiFailureText(ApiPolicy policy, const char* source, int line, const char* function);

// Counts the failure (HostFailureCount in support/host_result.h) and writes
// the block when testMode bit 0 is on.
void ReportApiFailure(ApiPolicy policy, const char* source, int line, const char* function);

// Reports a non-zero `result`; returns it unchanged.
int32_t CheckApiResult(int32_t result, ApiPolicy policy, const char* source, int line,
                       const char* function);
