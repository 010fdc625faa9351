// The numbered checkpoint of the program log.
#pragma once

#include <cstdint>

// Writes "######## BreakPoint_BX:", the checkpoint counter in hexadecimal
// and, when `text` is given, a blank and the text, then a line feed, to
// the program log and flushes it; then counts the checkpoint.  Returns the
// counter before the call (0 at the first).
uint32_t BreakPoint_BX(const char* text = nullptr);
