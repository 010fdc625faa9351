// The stand-in host's readers of outside text: the fail plan (XTHOST_FAIL),
// the pinned clock (XTHOST_CLOCK), and its UTF-8 / UTF-16 conversions of
// plug-in text, which must round-trip whatever they accept.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/clock.h"
#include "host/fail_plan.h"
#include "host/utf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  xthost::FailPlan plan;
  std::string error;
  if (xthost::FailPlan::Parse(text, &plan, &error)) {
    std::string rule;
    for (int i = 0; i < 3; ++i) plan.Fails("create_file", "QSB1", &rule);
  } else if (error.empty()) {
    std::abort();  // a refusal always says why
  }

  xthost::HostTime time;
  if (xthost::Clock::Parse(text, &time) &&
      (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23)) {
    std::abort();
  }

  std::u16string units;
  std::string back;
  if (xthost::Utf8ToUtf16(text, &units) && (!xthost::Utf16ToUtf8(units, &back) || back != text)) {
    std::abort();
  }
  std::u16string wide(size / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  if (xthost::Utf16ToUtf8(wide, &back) && (!xthost::Utf8ToUtf16(back, &units) || units != wide)) {
    std::abort();
  }
  return 0;
}
