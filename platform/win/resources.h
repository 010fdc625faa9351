// String resources and the bounded formatting the plug-in uses for messages.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace win {

// Copies the string resource `id` of the module into `buffer` (at most
// `size` - 1 characters and a NUL) and returns its length.  No string table
// ships with this system, so the result is always 0 with an empty buffer.
int LoadResourceString(unsigned id, char* buffer, int size);

// printf-style formatting into `buffer` of `size` bytes (at most 1024 are
// used, as the platform's own formatter allows); always NUL-terminated.
// Returns the number of characters stored.
int FormatV(char* buffer, std::size_t size, const char* format, va_list args);
int Format(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace win
