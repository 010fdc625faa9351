#include "host/clock.h"

#include <cctype>
#include <ctime>

namespace xthost {
namespace {

bool Digits(const std::string& text, std::size_t at, std::size_t count, int* value) {
  if (at + count > text.size()) return false;
  int v = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool Clock::Parse(const std::string& text, HostTime* time) {
  HostTime t;
  bool ok;
  if (text.size() == 14) {
    ok = Digits(text, 0, 4, &t.year) && Digits(text, 4, 2, &t.month) &&
         Digits(text, 6, 2, &t.day) && Digits(text, 8, 2, &t.hour) &&
         Digits(text, 10, 2, &t.minute) && Digits(text, 12, 2, &t.second);
  } else {
    ok = text.size() == 19 && text[4] == '-' && text[7] == '-' &&
         (text[10] == ' ' || text[10] == 'T') && text[13] == ':' && text[16] == ':' &&
         Digits(text, 0, 4, &t.year) && Digits(text, 5, 2, &t.month) &&
         Digits(text, 8, 2, &t.day) && Digits(text, 11, 2, &t.hour) &&
         Digits(text, 14, 2, &t.minute) && Digits(text, 17, 2, &t.second);
  }
  if (!ok || t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return false;
  }
  *time = t;
  return true;
}

HostTime Clock::Now() const {
  if (pinned_) return time_;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  HostTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  return t;
}

}  // namespace xthost
