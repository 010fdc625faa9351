#include "platform/win/message_box.h"

#include <cstdio>

namespace win {

int UnattendedAnswer(unsigned style) {
  switch (style & kMbButtonMask) {
    case kMbOk: return kIdOk;
    case kMbOkCancel: return kIdCancel;
    case kMbAbortRetryIgnore: return kIdIgnore;
    case kMbYesNoCancel: return kIdNo;
    case kMbYesNo: return kIdNo;
    case kMbRetryCancel: return kIdCancel;
    default: return kIdCancel;
  }
}

int ShowMessageBox(const char* text, const char* caption, unsigned style) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  return UnattendedAnswer(style);
}

}  // namespace win
