// Names of the filter error codes, and the check hook that host results pass
// through.
#pragma once

#include <cstdint>

// The name of a filter error code 1000-1021 ("Wrong Parameter" ...
// "Quark Assert"), or null for any other code.
const char* GetErrorName(uint16_t code);

// The check hook: returns `code` unchanged and writes nothing.
int TraceLevel(int code, const char* text);
