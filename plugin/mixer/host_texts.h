// Texts from the host: its temporary folder, host strings and host text as
// UTF-16, and the host clock as a stamp.  Failures give empty texts.  Host
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_types.h"

// The full path of the host's temporary folder; "" when the host cannot
// tell.
std::string QueryHostTempFolder();

// The units of a host string (0 reads as empty).
std::u16string HostStringToWide(XTString string);

// The first min(wanted, available) units of `text` (wanted 0: all
// available), taken through a host string made for the purpose and disposed
// of afterwards.
std::u16string HostTextToWide(const char16_t* text, uint32_t available, uint32_t wanted);

// The host clock's local date and time: the date as year-month-day (the year
// unpadded, month and day two digits), the time as hour:minute:second (two
// digits each), a blank between them.  Compact leaves out separators and
// blank.  Neither date nor time gives "" without reading the clock; a clock
// the host cannot read gives "".
std::string FormatHostDateTime(bool withDate, bool withTime, bool compact);
