// The box interface's refresh (entry 4 of the bound table XBXa).
#pragma once

#include <cstdint>

// Hands `value` to the host's box refresh; always 0.
int32_t QapiBoxCall4(uint32_t value);
