#include "plugin/qapi/attr_sets.h"

#include <cstdio>

bool SetNumericAttr(AttrWriter& set, const char16_t* name, int32_t value, bool hex) {
  char text[100];
  if (hex) {
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(static_cast<uint32_t>(value)));
  } else {
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  }
  char16_t wide[100];
  std::size_t i = 0;
  for (; text[i] != '\0'; ++i) wide[i] = static_cast<char16_t>(text[i]);
  wide[i] = u'\0';
  return set.SetAttr(name, wide);
}
