#include "support/date_time.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

ClockSource g_clock = nullptr;  // null: SystemClock

std::string TwoDigits(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", static_cast<int>(value));
  return text;
}

// The number made of `count` decimal digits at `text`, or -1 when one of
// them is not a digit.
int Digits(const char* text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

void GetDateTime(DateTime& out) { out = g_clock ? g_clock() : SystemClock(); }

std::string FormatDateStamp(const CalendarDate& date, bool twoDigitYear) {
  std::string year = std::to_string(date.year);
  if (twoDigitYear) year.erase(0, 2);  // erase clamps to the text's length
  return year + TwoDigits(date.month) + TwoDigits(date.day);
}

std::string FormatTimeFields(const ClockTime& time) {
  return TwoDigits(time.hour) + TwoDigits(time.minute) + TwoDigits(time.second);
}

std::string FormatTimeStamp(const DateTime& moment, bool twoDigitYear) {
  return FormatDateStamp(moment.date, twoDigitYear) + FormatTimeFields(moment.time);
}

std::ostream& WriteDateTimeStamp(std::ostream& out, const DateTime& moment) {
  // Formatted apart from the stream so that its fill, base and width stay
  // as the caller set them.
  std::string text = std::to_string(moment.date.year) + "-" + TwoDigits(moment.date.month) + "-" +
                     TwoDigits(moment.date.day) + " " + TwoDigits(moment.time.hour) + ":" +
                     TwoDigits(moment.time.minute) + ":" + TwoDigits(moment.time.second);
  out << text;
  out.setf(std::ios::left, std::ios::adjustfield);
  return out;
}

bool ParseDateTime(const std::string& text, DateTime& out) {
  // YYYY-MM-DD HH:MM:SS (a "T" may stand for the blank) or YYYYMMDDHHMMSS:
  // the forms the host's clock is pinned with.
  const char* s = text.c_str();
  int at[6];  // where each field's digits begin
  if (text.size() == 14) {
    const int compact[6] = {0, 4, 6, 8, 10, 12};
    std::copy(compact, compact + 6, at);
  } else if (text.size() == 19 && text[4] == '-' && text[7] == '-' && (text[10] == ' ' || text[10] == 'T') &&
             text[13] == ':' && text[16] == ':') {
    const int readable[6] = {0, 5, 8, 11, 14, 17};
    std::copy(readable, readable + 6, at);
  } else {
    return false;
  }
  DateTime moment;
  moment.date.year = Digits(s + at[0], 4);
  moment.date.month = Digits(s + at[1], 2);
  moment.date.day = Digits(s + at[2], 2);
  moment.time.hour = Digits(s + at[3], 2);
  moment.time.minute = Digits(s + at[4], 2);
  moment.time.second = Digits(s + at[5], 2);
  if (moment.date.year < 1 || moment.date.month < 1 || moment.date.month > 12 || moment.date.day < 1 ||
      moment.date.day > DaysInMonth(moment.date.year, moment.date.month) || moment.time.hour < 0 ||
      moment.time.hour > 23 || moment.time.minute < 0 || moment.time.minute > 59 || moment.time.second < 0 ||
      moment.time.second > 59)
    return false;
  out = moment;
  return true;
}

ClockSource SetClockSource(ClockSource source) {
  ClockSource previous = g_clock ? g_clock : SystemClock;
  g_clock = source;
  return previous;
}

DateTime SystemClock() {
  DateTime moment;
  if (const char* pinned = std::getenv("XTHOST_CLOCK")) {
    if (ParseDateTime(pinned, moment)) return moment;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  moment.date.year = local.tm_year + 1900;
  moment.date.month = local.tm_mon + 1;
  moment.date.day = local.tm_mday;
  moment.time.hour = local.tm_hour;
  moment.time.minute = local.tm_min;
  moment.time.second = local.tm_sec;
  return moment;
}
