// Element names: validation and the format's ordering.
//
// Two names are the same element name when they have the same length and the
// same units after upper-casing; the directory's sibling trees are ordered by
// length first, then by the upper-cased units.  Upper-casing covers ASCII,
// Latin-1, Latin Extended-A, Latin Extended Additional, Greek, Cyrillic,
// Armenian and the fullwidth Latin letters; other units compare as they are.
#pragma once

#include <string>

#include "platform/ole/ole.h"

namespace ole {

// The upper-case form of one UTF-16 unit as element names compare it.
char16_t UpcaseUnit(char16_t c);

// <0, 0 or >0 in the directory's order.
int CompareNames(const std::u16string& a, const std::u16string& b);

struct NameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const { return CompareNames(a, b) < 0; }
};

// Copies a NUL-terminated name a caller passes in.  Null gives
// STG_E_INVALIDPOINTER; an empty name, one longer than kMaxNameLength units or
// one holding '/', '\\', ':' or '!' gives STG_E_INVALIDNAME.
Result TakeName(const char16_t* name, std::u16string* out);

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace ole
