#include "plugin/qapi/progress_bar.h"

#include <cmath>
#include <cstdint>

#include "plugin/qapi/ui_dialogs.h"
#include "plugin/qapi/ui_host.h"
#include "support/host_calls.h"
#include "support/host_link.h"

namespace {

std::string& Title() {
  static std::string title = "Brenix Processing...";
  return title;
}

// Sets an item's text through a host string.
int32_t SetText(const XTDialogSuite& dialogs, XTWindow window, int32_t item,
                const std::string& text) {
  XTString string = 0;
  int32_t result = NewHostString(text, &string);
  if (result != kXTOk) return result;
  result = dialogs.set_item_text(window, item, string);
  XT().qsb1->dispose_string(string);
  return result;
}

// Brackets one change of a status window.
class Drawing {
 public:
  Drawing(const XTDialogSuite& dialogs, XTWindow window) : dialogs_(dialogs), window_(window) {
    began_ = dialogs_.begin_drawing(window_) == kXTOk;
  }
  ~Drawing() {
    if (began_) dialogs_.end_drawing(window_);
  }
  Drawing(const Drawing&) = delete;
  Drawing& operator=(const Drawing&) = delete;

 private:
  const XTDialogSuite& dialogs_;
  XTWindow window_;
  bool began_ = false;
};

}  // namespace

const std::string& ProgressTitle() { return Title(); }

XTWindow& ProgressWindow() {
  static XTWindow window = 0;
  return window;
}

ProgressBar::ProgressBar(const std::string& title, uint32_t count)
    : window_(&ProgressWindow()), count_(count), factor_(count != 0 ? 100.0 / count : 0.0) {
  Title() = title;
}

ProgressBar::~ProgressBar() {
  const XTDialogSuite* dialogs = XT().dialogs;
  if (*window_ != 0 && dialogs != nullptr) dialogs->close_window(*window_);
  *window_ = 0;
}

bool ProgressBar::SetValue(uint32_t n) {
  if (n < current_ || n > count_) return false;
  current_ = n;
  const uint32_t percentage = static_cast<uint32_t>(std::lround(n * factor_));
  // Unsigned: a percentage that went down differs by a great deal.
  if (percentage - shown_ >= 2) {
    shown_ = percentage;
    Show();
  }
  return true;
}

bool ProgressBar::Step(uint32_t n) { return SetValue(current_ + n); }

void ProgressBar::Show() {
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return;
  if (*window_ != 0) {
    DebugCheckApiErr(dialogs->set_control(*window_, 1, static_cast<int32_t>(maximum_),
                                          static_cast<int32_t>(shown_)));
    return;
  }
  XTWindow window = 0;
  if (DebugCheckApiErr(dialogs->open_window(ReservedDialogId(kDialogProgress), &window)) != kXTOk) {
    return;
  }
  *window_ = window;
  SetText(*dialogs, window, 2, Title());
  DebugCheckApiErr(dialogs->set_control(window, 1, static_cast<int32_t>(maximum_),
                                        static_cast<int32_t>(shown_)));
}

void ProgressBar::Close() {
  if (*window_ == 0) return;
  SetValue(count_);
  const XTDialogSuite* dialogs = XT().dialogs;
  if (*window_ != 0 && dialogs != nullptr) DebugCheckApiErr(dialogs->close_window(*window_));
  *window_ = 0;
}

XTWindow OpenStatusDialog() {
  const XTDialogSuite* dialogs = XT().dialogs;
  XTWindow window = 0;
  if (dialogs == nullptr ||
      DebugCheckApiErr(dialogs->open_window(ReservedDialogId(kDialogProgress), &window)) != kXTOk) {
    return 0;
  }
  Drawing drawing(*dialogs, window);
  dialogs->show_window(window, 1);
  SetText(*dialogs, window, 2, "");
  dialogs->set_control(window, 1, 100, 0);
  return window;
}

void SetStatusDialogText(XTWindow window, const std::string& text) {
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr || window == 0) return;
  Drawing drawing(*dialogs, window);
  SetText(*dialogs, window, 2, text);
}

void UpdateStatusDialog(XTWindow window, uint32_t maximum, uint32_t value) {
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr || window == 0 || value > maximum || maximum > INT32_MAX) return;
  Drawing drawing(*dialogs, window);
  dialogs->set_control(window, 1, static_cast<int32_t>(maximum), static_cast<int32_t>(value));
}

void CloseStatusDialog(XTWindow window) {
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs != nullptr && window != 0) DebugCheckApiErr(dialogs->close_window(window));
}

int32_t ShowProgressStatus() {
  int32_t result = CallHostWithStrings("Brenix Progress:", "", "", "");
  if (result != kXTOk) return result;
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) return DebugCheckApiErr(kXTErrNoSuite);
  // One progress window at a time.
  if (ProgressWindow() != 0) return kXTOk;
  XTWindow window = 0;
  result = dialogs->open_window(ReservedDialogId(kDialogProgress), &window);
  if (result == kXTOk) ProgressWindow() = window;
  return DebugCheckApiErr(result);
}
