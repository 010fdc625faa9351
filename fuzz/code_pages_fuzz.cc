// The code-page converters over arbitrary bytes: the first two bytes choose
// a code page, the rest is narrow text (and, read as units, UTF-16 text).
// What converts must convert back to the same text; a failure leaves the
// output untouched.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win/code_pages.h"

namespace {

// The code pages the plug-in hands to the converters.
const uint32_t kCodePages[] = {0, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932,
                               936, 949, 950, 10000, 10007, 20127, 28591, 65001, 1, 99999};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t codePage = kCodePages[data[0] % (sizeof kCodePages / sizeof kCodePages[0])];
  const bool strictRoundTrip = (data[1] & 1) != 0;
  const char* text = reinterpret_cast<const char*>(data + 2);
  const std::size_t length = size - 2;

  std::u16string wide = u"untouched";
  if (win::MultiByteToWide(codePage, text, length, wide)) {
    std::string back = "untouched";
    // Every code page here maps each text it reads to one form; only the
    // table code pages promise the same bytes back.
    const bool converted = win::WideToMultiByte(codePage, wide.data(), wide.size(), back);
    if (strictRoundTrip && (codePage == 0 || codePage == 1252 || codePage == 65001)) {
      Check(converted && back == std::string(text, length));
    }
  } else {
    Check(wide == u"untouched");
  }

  std::u16string units(length / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 + 2 * i] | (data[3 + 2 * i] << 8));
  }
  std::string narrow = "untouched";
  if (win::WideToMultiByte(codePage, units.data(), units.size(), narrow)) {
    std::u16string again;
    Check(win::MultiByteToWide(codePage, narrow.data(), narrow.size(), again));
    if (codePage == 0 || codePage == 1252 || codePage == 65001) Check(again == units);
  } else {
    Check(narrow == "untouched");
  }
  return 0;
}
