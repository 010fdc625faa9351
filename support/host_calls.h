// Wrappers over host calls: host strings to narrow text and back, the alert
// parameter texts, closing the current project, and a value note.
//
// The host's narrow encoding (encoding 0) is UTF-8.  Every wrapper releases
// the host objects it made, also on failure, and never throws; a host call
// that fails gets its program-log line (HostCall).  It returns the host's
// result, and where it makes several host calls in a row, the first non-zero
// one (so 0 means all succeeded); a failure to release an object after the
// work is done is logged only, and never cancels the work.  Outputs are left
// untouched when a step fails.  Results pass through the check hook
// TraceLevel on the way out.  A suite the wrapper needs that was not
// acquired gives kXTErrNoSuite.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_types.h"

// The check text most wrappers hand to TraceLevel.
extern const char kApiCheckText[];

// Converts `count` UTF-16 units to 8-bit text in `encoding` into `out` of
// *outLength bytes through a host text converter.  On success *outLength is
// the number of bytes without the terminator and *converted is true.  Bad
// arguments are reported through the host's error state: converted missing
// 8, count not positive 4, text16 missing 5, outLength missing or not
// positive 6, out missing 7 (*converted is false from the second check on).
// Returns the host's error state after the call.
int32_t ConvertUnicodeToText(int32_t count, const char16_t* text16, int32_t* outLength, char* out,
                             bool* converted, int32_t encoding);

// The text of a host string as narrow text (up to its first NUL).  An empty
// host string gives "" with success.  `converted` may be null.
int32_t HostStringToStd(XTString hostString, std::string& out, bool* converted = nullptr);

// A new host string of narrow (UTF-8) text; kXTErrParam for text that is not
// UTF-8.  The caller disposes of it.
int32_t NewHostString(const std::string& text, XTString* string);

// Hands the four texts to the host as the parameter texts ^0 to ^3 of the
// next alert (t1 is ^0).  The host is called only when all four host strings
// were made.
int32_t CallHostWithStrings(const std::string& t1, const std::string& t2, const std::string& t3,
                            const std::string& t4);

// Sets the conversion state to none and empties the four alert parameter
// texts.
void ResetConversionState();

// Closes a project with a close mode (XTCloseMode).  Project -1 or -2 means
// the current one; without a current project the host's answer to that
// question is returned.
int32_t CloseCurrentProject(int32_t project, int32_t mode);

// Hands (b, c, a, d), in this order, to entry 79 of the bound table XCMe and
// returns its result.
int32_t HostCallSlot79(int32_t a, int32_t b, int32_t c, int32_t d);
