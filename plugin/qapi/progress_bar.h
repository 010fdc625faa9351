// The progress window of long work and the status window of the folder
// conversions, both the plug-in's modeless window 22300 (a progress
// control, item 1, under a text, item 2).
//
// One progress window exists at a time: its handle is process-wide.  It
// opens at the first step a ProgressBar shows and closes with Close (or
// when the ProgressBar goes).  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_ui_suites.h"

// The title the next progress window shows; "Brenix Processing..." until a
// ProgressBar is made with another.
const std::string& ProgressTitle();

class ProgressBar {
 public:
  // `count` steps; the current step is 1 and the shown percentage 1.
  ProgressBar(const std::string& title, uint32_t count);
  // Closes the window when it is still open (without the last step).
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Moves to step `n`: false, changing nothing, unless current <= n <=
  // count.  The bar shows n as a percentage of the count, rounded; it is
  // redrawn (and the window opened when it is not) only when that differs
  // from the shown percentage by 2 or more, or went down.
  bool SetValue(uint32_t n);
  // SetValue(current + n).
  bool Step(uint32_t n);
  // When the window is open: the last step, then the window closes.
  void Close();

  uint32_t Current() const { return current_; }
  uint32_t ShownPercentage() const { return shown_; }

 private:
  void Show();

  XTWindow* window_;  // the process-wide handle, 0 while no window is open
  uint32_t current_ = 1;
  uint32_t count_;
  uint32_t maximum_ = 100;
  uint32_t shown_ = 1;
  double factor_;
};

// The progress window's handle (0 while none is open).
XTWindow& ProgressWindow();

// The status window of the folder conversions: opened shown, with an empty
// text and the bar at 0 of 100; every change is bracketed by the host's
// begin and end of drawing.  OpenStatusDialog returns 0 when the host
// refused the window.
XTWindow OpenStatusDialog();
void SetStatusDialogText(XTWindow window, const std::string& text);
// Sets the bar to value of maximum; nothing when value > maximum.
void UpdateStatusDialog(XTWindow window, uint32_t maximum, uint32_t value);
void CloseStatusDialog(XTWindow window);

// The progress-status action: the parameter texts "Brenix Progress:", "",
// "", "", then the progress window opened to show them as the process-wide
// progress window (nothing more when one is open).  The host's result.
int32_t ShowProgressStatus();
