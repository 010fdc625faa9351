// Date-time records and their two text forms.
//
// A DateTime is the local date and time as six numbers.  It prints in a
// readable form ("2026-03-05 07:04:09", leading every server-log record) and
// in a compact form ("20260305070409", used in time-stamped folder names).
//
// The clock can be pinned for reproducible runs: when the environment
// variable XTHOST_CLOCK holds a moment the host's clock takes (see
// ParseDateTime), that moment is the current time, as it is the host's.
// Tests may also install their own clock with SetClockSource.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

struct CalendarDate {
  int32_t year = 0;   // the full calendar year, e.g. 2026
  int32_t month = 0;  // 1..12
  int32_t day = 0;    // 1..31
};

struct ClockTime {
  int32_t hour = 0;  // 0..23
  int32_t minute = 0;
  int32_t second = 0;
};

struct DateTime {
  CalendarDate date;
  ClockTime time;
};

// Fills `out` with the current local date and time from the clock source.
void GetDateTime(DateTime& out);

// Year digits (the first two characters dropped with `twoDigitYear`), then
// month and day as two zero-padded digits each: 20260305.
std::string FormatDateStamp(const CalendarDate& date, bool twoDigitYear);

// Hour, minute and second as two zero-padded digits each: 070409.
std::string FormatTimeFields(const ClockTime& time);

// FormatDateStamp followed by FormatTimeFields: 20260305070409.
std::string FormatTimeStamp(const DateTime& moment, bool twoDigitYear);

// Writes "2026-03-05 07:04:09" (the year unpadded) and leaves the stream's
// adjustment set to left.  Other stream flags are not changed.
std::ostream& WriteDateTimeStamp(std::ostream& out, const DateTime& moment);

// Reads "YYYY-MM-DD HH:MM:SS" (a "T" may stand for the blank) or the 14
// digits "YYYYMMDDHHMMSS", as the host's clock is pinned: four-digit year
// from 1, two digits for every other field, fields in range.  False, with
// `out` unchanged, otherwise.
bool ParseDateTime(const std::string& text, DateTime& out);

// The clock GetDateTime reads.  SetClockSource replaces it (null restores
// the default) and returns the previous one.
using ClockSource = DateTime (*)();
ClockSource SetClockSource(ClockSource source);

// The default clock: XTHOST_CLOCK when it holds a valid moment, else the
// system's local time.
DateTime SystemClock();
