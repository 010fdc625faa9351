// UTF-8 and UTF-16 conversions of the host (its narrow encoding is UTF-8).
#pragma once

#include <string>

namespace xthost {

// False for an unpaired surrogate; *out is then unspecified.
bool Utf16ToUtf8(const std::u16string& in, std::string* out);
// False for bytes that are not well-formed UTF-8 (overlong forms,
// surrogates and values above U+10FFFF included).
bool Utf8ToUtf16(const std::string& in, std::u16string* out);

}  // namespace xthost
