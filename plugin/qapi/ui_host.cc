#include "plugin/qapi/ui_host.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/win/code_pages.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_link.h"
#include "support/settings.h"
#include "support/host_result.h"

namespace {

const int32_t kGuardedPreferences[2] = {kXTPrefAutoSave, kXTPrefAutoBackup};

}  // namespace

const char kMenuTitle[] = "Brenix 9";

int32_t DebugCheckApiErr(int32_t result) { return TraceLevel(result, kApiCheckText); }

int FormatToBuffer(char16_t* buffer, std::size_t capacity, const char16_t* format, ...) {
  if (buffer == nullptr || capacity == 0) return 0;
  buffer[0] = u'\0';
  if (format == nullptr) return 0;
  std::string narrowFormat;
  for (const char16_t* c = format; *c != u'\0'; ++c) {
    narrowFormat += *c < 0x80 ? static_cast<char>(*c) : '?';
  }
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, narrowFormat.c_str(), copy);
  va_end(copy);
  std::string narrow;
  if (needed > 0) {
    std::vector<char> bytes(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(bytes.data(), bytes.size(), narrowFormat.c_str(), args);
    narrow.assign(bytes.data(), static_cast<std::size_t>(needed));
  }
  va_end(args);
  std::u16string wide;
  if (!win::MultiByteToWide(win::kCodePageSystem, narrow.data(), narrow.size(), wide)) wide.clear();
  const std::size_t count = wide.size() < capacity - 1 ? wide.size() : capacity - 1;
  for (std::size_t i = 0; i < count; ++i) buffer[i] = wide[i];
  buffer[count] = u'\0';
  return static_cast<int>(count);
}

std::u16string GetVersionString() {
  static const int masterPageMode = Settings::Instance().GetMasterPageMode();
  std::u16string text = u"QuarkXpress ";
  const XTApplicationSuite* application = XT().application;
  uint32_t version = 0;
  if (application != nullptr && HostCall("host_version", application->host_version(&version)) == kXTOk) {
    char16_t number[32];
    FormatToBuffer(number, 32, u"%d.%d", static_cast<int>(version >> 24),
                   static_cast<int>((version >> 16) & 0xFF));
    text += number;
    if ((version & 0xFFFF) != 0) {
      FormatToBuffer(number, 32, u"r%d", static_cast<int>(version & 0xFFFF));
      text += number;
    }
  }
  text += u" Win";
  text += u" [Brenix ";
  text += u"9.0.3.38";
  text += u" , QSDK ";
  text += u"90]";
  text += masterPageMode == 1 ? u"{MB=1}" : u"{MB=0}";
  return text;
}

XTMenu CreatePluginMenu(int32_t menuId) {
  const XTMenuSuite* menus = XT().menus;
  const XTStringSuite* strings = XT().qsb1;
  if (menuId < 0 || menuId > 65534 || menus == nullptr || strings == nullptr) return 0;
  XTString title = 0;
  if (HostCall("new_string_from_text",
               strings->new_string_from_text(kMenuTitle, kXTEncodingNarrow, static_cast<int32_t>(sizeof kMenuTitle - 1),
                                             &title)) != kXTOk) {
    return 0;
  }
  XTMenu menu = 0;
  if (DebugCheckApiErr(HostCall("new_menu", menus->new_menu(static_cast<uint16_t>(menuId), title, &menu))) == kXTOk) {
    DebugCheckApiErr(HostCall("place_menu", menus->place_menu(menu, 9)));
  } else {
    menu = 0;
  }
  CleanUp("dispose_string", strings->dispose_string(title));
  return menu;
}

void HostFlagGuard::Suspend() {
  const XTApplicationSuite* application = XT().application;
  if (application == nullptr) return;
  for (int i = 0; i < 2; ++i) {
    uint8_t on = 0;
    if (application->preference(kGuardedPreferences[i], &on) == kXTOk && on != 0 &&
        application->set_preference(kGuardedPreferences[i], 0) == kXTOk) {
      saved_[i] = 1;
    }
  }
}

void HostFlagGuard::Restore() {
  const XTApplicationSuite* application = XT().application;
  for (int i = 0; i < 2; ++i) {
    if (saved_[i] == 0) continue;
    saved_[i] = 0;
    if (application != nullptr) application->set_preference(kGuardedPreferences[i], 1);
  }
}
