// The host's reader of output-style documents: any bytes are read or
// refused with a reason, never a crash; every style read has a name and a
// four-character medium, and goes into a list once.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/output_styles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<xthost::OutputStyle> styles;
  std::string error;
  if (!xthost::ReadOutputStyles(reinterpret_cast<const char*>(data), size, &styles, &error)) {
    if (error.empty() || !styles.empty()) std::abort();
    return 0;
  }
  xthost::OutputStyleList list;
  for (const xthost::OutputStyle& style : styles) {
    if (style.name.empty() || style.medium == 0) std::abort();
    const bool taken = list.FindName(style.name) != nullptr;
    if ((list.Add(style) == 0) != taken) std::abort();
    if (list.Add(style) != 0) std::abort();  // a name goes in once
  }
  return 0;
}
