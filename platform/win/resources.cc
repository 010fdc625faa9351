#include "platform/win/resources.h"

#include <cstdio>

namespace win {

namespace {
constexpr std::size_t kFormatLimit = 1024;
}

int LoadResourceString(unsigned /*id*/, char* buffer, int size) {
  if (buffer && size > 0) buffer[0] = '\0';
  return 0;
}

int FormatV(char* buffer, std::size_t size, const char* format, va_list args) {
  if (!buffer || size == 0) return 0;
  if (size > kFormatLimit) size = kFormatLimit;
  int n = std::vsnprintf(buffer, size, format, args);
  if (n < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n) < size ? n : static_cast<int>(size - 1);
}

int Format(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatV(buffer, size, format, args);
  va_end(args);
  return n;
}

}  // namespace win
