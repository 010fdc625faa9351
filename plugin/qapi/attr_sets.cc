#include "plugin/qapi/attr_sets.h"

#include <charconv>

bool SetNumericAttr(AttrWriter& set, const char16_t* name, int32_t value, bool hex) {
  // As "%ld" or "%lx" would write it, without the C library's formatting.
  char text[16];
  const std::to_chars_result made =
      hex ? std::to_chars(text, text + sizeof text, static_cast<uint32_t>(value), 16)
          : std::to_chars(text, text + sizeof text, static_cast<long>(value));
  char16_t wide[16];
  std::size_t i = 0;
  for (const char* c = text; c != made.ptr; ++c) wide[i++] = static_cast<char16_t>(*c);
  wide[i] = u'\0';
  return set.SetAttr(name, wide);
}
