// What the plug-in's shell calls or registers but other parts of the
// plug-in do: the conversions, the conversion server and the folder
// commands.  Until they arrive these stand-ins answer as
// their callers need and write "... is not available yet" to the program
// log; the commands among them also tell the user (an alert and the failed
// result dialog, both suppressed in unattended work).  Here too are the
// bodies of the actions 9, 11, 12, 13, 14, 17 and 18 (actions.h).
#pragma once

#include <cstdint>
#include <functional>

// Host callback of kind 681 (PDF continuation): answers 0.
int32_t PdfContinuationCallback(void* record);

// The callback of the folder dialogs 8 to 11: answers the resource request
// with the dialog's resource (and writes the log line) and marks the
// prepare message handled, so that the dialog opens and ends with its
// default button.
int32_t FolderDialogProc(void* record);

// Runs the conversion server on `port` inside the idle call; true when it
// halted on request (the host is to quit), false when it could not run; it
// may throw.  The stand-in answers what SetServerStandIn decided, else
// what the environment variable BRENIX_SERVER_STANDIN lists for each call
// in turn ("halt", "down" or "throw", separated by commas), else false.
bool DoStartServer(uint32_t port);
// Replaces the stand-in's answer (an empty function restores the default).
void SetServerStandIn(std::function<bool(uint32_t port)> answer);
