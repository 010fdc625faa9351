// What the plug-in's shell calls or registers but other parts of the
// plug-in do: the conversions, the conversion server and the folder
// commands.  Until they arrive these stand-ins answer as
// their callers need and write "... is not available yet" to the program
// log; the commands among them also tell the user (an alert and the failed
// result dialog, both suppressed in unattended work).  Here too are the
// bodies of the actions 9, 11, 12, 13, 14 and 18 (actions.h).
#pragma once

#include <cstdint>
#include <string>

#include "support/paths.h"

// Host callback of kind 681 (PDF continuation): answers 0.
int32_t PdfContinuationCallback(void* record);

// The callback of the folder dialogs 8 to 11: answers the resource request
// with the dialog's resource (and writes the log line) and marks the
// prepare message handled, so that the dialog opens and ends with its
// default button.
int32_t FolderDialogProc(void* record);

namespace FolderUtils {
// Converts one file by its source and target kinds, without asking the
// user; true when the conversion succeeded.  Not available yet: answers
// false.
bool ProcessConversion(const std::string& source, const std::string& target, FileKind sourceKind,
                       FileKind targetKind);
}  // namespace FolderUtils
