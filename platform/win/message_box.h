// Message boxes for an unattended process.
//
// The plug-in was written against a desktop message box.  Here nothing may
// block: every box is written to standard error and answered at once with
// the answer that changes nothing (OK, No, Cancel or Ignore, by buttons).
#pragma once

namespace win {

// Button sets and results, with the values the plug-in's callers pass and test.
enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbAbortRetryIgnore = 0x2,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbButtonMask = 0xF,
  kMbIconStop = 0x10,
  kMbTaskModal = 0x2000,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7 };

// Writes "<caption>: <text>" (a null caption or text prints as empty) and a
// newline to stderr, and returns the unattended answer for the button set.
int ShowMessageBox(const char* text, const char* caption, unsigned style);

// The answer ShowMessageBox gives for a style, without showing anything.
int UnattendedAnswer(unsigned style);

}  // namespace win
