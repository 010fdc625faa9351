// The box interface's refresh (entry 4 of the bound table XBXa) and the
// word it leaves (entry 5).
#pragma once

#include <cstdint>

// Hands `value` to the host's box refresh; always 0.
int32_t QapiBoxCall4(uint32_t value);

// The word of the host's last update of the current box: 0 when it was
// brought up to date; the host's error when the word cannot be read.
uint32_t QapiBoxUpdateWord();
