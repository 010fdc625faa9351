// What the plug-in's shell calls or registers but other parts of the
// plug-in do: the import command and the PDF continuation.  Until they
// arrive these stand-ins answer as their callers need and write "... is not
// available yet" to the program log; the import also tells the user (an
// alert and the failed result dialog, both suppressed in unattended work).
// Here is the body of the action 17 (actions.h).
#pragma once

#include <cstdint>
#include <string>

// Host callback of kind 681 (PDF continuation): answers 0.
int32_t PdfContinuationCallback(void* record);
