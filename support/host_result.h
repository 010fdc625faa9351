// Combining the results of host calls made in a row, and saying which one
// failed.
#pragma once

#include <cstdint>
#include <string>

// Keeps the first failure: `result` takes `next` only while it is still 0,
// so two failures can never add up to success.
inline void FirstFailure(int32_t& result, int32_t next) {
  if (result == 0) result = next;
}

// Writes the program-log line of a host call that failed: "ERROR: host call
// NAME failed: RESULT", and counts the failure (HostFailureCount).
void LogHostFailure(const char* call, int32_t result);

// LogHostFailure when `result` is not 0; returns `result`.
inline int32_t HostCall(const char* call, int32_t result) {
  if (result != 0) LogHostFailure(call, result);
  return result;
}

// The same for a call one of whose error answers, `accepted` (the end of a
// walk, say), is no failure.
inline int32_t HostCall(const char* call, int32_t result, int32_t accepted) {
  if (result != 0 && result != accepted) LogHostFailure(call, result);
  return result;
}

// What the host's full-disk answer (-34) means: the host gives no more, and
// it answers so for a full disk and an exhausted quota alike.
extern const char kHostDiskFullText[];

// The words for a host result that has them, as " (no space left on the
// disk or in the user's quota)" for a full disk; "" for any other result.
std::string HostResultReason(int32_t result);

// Counts a failed host call whose failure was reported in another form.
void NoteHostFailure();

// The failed host calls counted so far in this process.  A command compares
// the count before and after its work: a failure in between may have
// changed what the work made.  A stop requested of the server
// (support/stop_request.h) counts as one more, so that the work in progress
// when it came keeps no output.
uint32_t HostFailureCount();

// Whether the work begun when the count was `before` may have lost part of
// what it made: a host call failed since, or a stop was requested of the
// server, also one that came before the count was taken (a conversion that
// starts after the stop keeps no output either).
bool HostFailedSince(uint32_t before);

// What HostFailedSince found, for the log line of the work it spoilt: "the
// job was stopped" once a stop was requested, else "a host call failed".
const char* HostFailureCause();

// Writes the program-log line of a failed call whose answer the caller may
// do without: the caller counts it (NoteHostFailure) when it was needed.
void LogUncountedFailure(const char* call, int32_t result);

// A clean-up call (a dispose_*) made after the work it cleans up for: its
// failure is logged, not counted, and never cancels what the work achieved.
void CleanUp(const char* call, int32_t result);
