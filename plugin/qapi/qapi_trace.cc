#include "plugin/qapi/qapi_trace.h"

int QuarkInternalError(const char*, int line) { return line; }

void QapiError(const ErrorRecord&) {}
