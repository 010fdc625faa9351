// Small host services of the user interface: the check of host results,
// wide formatting, the version text written into exports, the plug-in's
// menu, and the guard that switches two host preferences off around an
// export.  Host thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/xt/xt_ui_suites.h"

// Takes a host result and returns it; writes nothing.
int32_t DebugCheckApiErr(int32_t result);

// printf-style formatting into `buffer` of `capacity` UTF-16 units, always
// terminated (nothing but the terminator when capacity is 1; nothing at all
// when it is 0).  The format is ASCII; %s takes narrow (UTF-8) text.
// Returns the number of units stored before the terminator.
int FormatToBuffer(char16_t* buffer, std::size_t capacity, const char16_t* format, ...);

// "QuarkXpress ", the host's version as "major.minor" (and "r" with the
// revision when it is not 0) when the host gives it, " Win [Brenix
// 9.0.3.38 , QSDK 90]", and "{MB=1}" when the setting masterPageMode is 1,
// else "{MB=0}" (the setting is read once per process).
std::u16string GetVersionString();

// The title of the plug-in's menu.
extern const char kMenuTitle[];  // "Brenix 9"

// Creates the plug-in's menu, titled kMenuTitle, under the menu id
// `menuId` and places it in the menu bar; the menu, or 0 when the id is
// -1 or above 65534 or the host refuses.
XTMenu CreatePluginMenu(int32_t menuId);

// Switches off the host preferences auto save and auto backup for as long
// as the work in between runs, and switches back on what it switched off.
// Restore runs at destruction too, so a failure in between cannot leave a
// preference off.
class HostFlagGuard {
 public:
  HostFlagGuard() = default;
  ~HostFlagGuard() { Restore(); }
  HostFlagGuard(const HostFlagGuard&) = delete;
  HostFlagGuard& operator=(const HostFlagGuard&) = delete;

  // Reads both preferences and switches off each that is on.
  void Suspend();
  // Switches on again each that Suspend switched off.
  void Restore();

 private:
  uint8_t saved_[2] = {0, 0};
};
