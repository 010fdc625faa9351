#include "plugin/mixer/host_texts.h"

#include <cstdio>
#include <vector>

#include "support/host_file_spec.h"
#include "support/host_link.h"

namespace {

// `value` in at least two digits.
std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

std::string QueryHostTempFolder() { return xt_gettempfolder(); }

std::u16string HostStringToWide(XTString string) {
  const XTStringSuite* strings = XT().qsb1;
  if (string == 0 || strings == nullptr) return std::u16string();
  int32_t length = 0;
  if (strings->string_length(string, &length) != kXTOk || length < 0) return std::u16string();
  std::vector<char16_t> buffer(static_cast<size_t>(length) + 1);
  if (strings->copy_string(string, buffer.data(), length + 1) != kXTOk) return std::u16string();
  return std::u16string(buffer.data(), static_cast<size_t>(length));
}

std::u16string HostTextToWide(const char16_t* text, uint32_t available, uint32_t wanted) {
  const XTStringSuite* strings = XT().qsb1;
  if (text == nullptr || strings == nullptr) return std::u16string();
  const uint32_t count = wanted == 0 || wanted > available ? available : wanted;
  if (count > INT32_MAX) return std::u16string();
  XTString string = 0;
  if (strings->new_string(text, static_cast<int32_t>(count), &string) != kXTOk)
    return std::u16string();
  std::u16string wide = HostStringToWide(string);
  strings->dispose_string(string);
  return wide;
}

std::string FormatHostDateTime(bool withDate, bool withTime, bool compact) {
  if (!withDate && !withTime) return std::string();
  const XTLayoutSuite* layout = XT().lgk2;
  uint16_t f[6] = {};
  if (layout == nullptr || layout->clock(f) != kXTOk) return std::string();
  const char* dateSeparator = compact ? "" : "-";
  const char* timeSeparator = compact ? "" : ":";
  std::string text;
  if (withDate)
    text +=
        std::to_string(f[0]) + dateSeparator + TwoDigits(f[1]) + dateSeparator + TwoDigits(f[2]);
  if (withDate && withTime && !compact) text += " ";
  if (withTime)
    text += TwoDigits(f[3]) + timeSeparator + TwoDigits(f[4]) + timeSeparator + TwoDigits(f[5]);
  return text;
}
