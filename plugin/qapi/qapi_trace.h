// The trace hook of the document access layer.
//
// QuarkInternalError marks a place where the host answered something the
// layer did not expect (a zero-length run, a font listed twice, a story of
// the wrong length after a deletion).  It records nothing and hands back the
// line, so that the work goes on; the call sites name their source file the
// way the layer's reports always have (e.g. "Plugin\\Qapi\\QHandle").
#pragma once

int QuarkInternalError(const char* file, int line);

#include "support/error_record.h"

// QapiError takes the error record of a failed host-level operation (a
// container that would not open, say).  Like QuarkInternalError it records
// nothing; the caller reports the failure in its own words.
void QapiError(const ErrorRecord& record);
