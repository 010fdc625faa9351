// Conversions between the narrow text of a Windows code page and UTF-16, in
// place of the platform's MultiByteToWideChar / WideCharToMultiByte.
//
// Code page 0 (the system's narrow encoding) and 65001 are UTF-8.  1252 uses
// the Windows table (its bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D stand for
// U+0081 and so on).  Every other code page goes through iconv as "CP<n>".
// Conversions are strict: text that is invalid in its encoding, a character
// the target code page cannot hold, and an unknown code page all fail; nothing
// is replaced by a default character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace win {

enum : uint32_t {
  kCodePageSystem = 0,  // the system's narrow encoding: UTF-8 here
  kCodePageWestern = 1252,
  kCodePageUtf8 = 65001,
};

// Converts `len` bytes of `text` (NULs included, no terminator needed) from
// `codePage` to UTF-16.  On success stores the result in `out` and returns
// true; on failure returns false and leaves `out` unchanged.
bool MultiByteToWide(uint32_t codePage, const char* text, std::size_t len, std::u16string& out);

// Converts `len` UTF-16 units of `text` to `codePage`.  Lone surrogates and
// characters outside the code page fail.  Same result rules as above.
bool WideToMultiByte(uint32_t codePage, const char16_t* text, std::size_t len, std::string& out);

}  // namespace win
