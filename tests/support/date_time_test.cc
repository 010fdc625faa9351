#include "support/date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <sstream>

namespace {

DateTime Moment(int year, int month, int day, int hour, int minute, int second) {
  DateTime m;
  m.date = {year, month, day};
  m.time = {hour, minute, second};
  return m;
}

// The same moment as the C library prints it.
std::string Strftime(const DateTime& m, const char* format) {
  std::tm t{};
  t.tm_year = m.date.year - 1900;
  t.tm_mon = m.date.month - 1;
  t.tm_mday = m.date.day;
  t.tm_hour = m.time.hour;
  t.tm_min = m.time.minute;
  t.tm_sec = m.time.second;
  char text[64];
  std::strftime(text, sizeof text, format, &t);
  return text;
}

bool SameMoment(const DateTime& a, const DateTime& b) {
  return FormatTimeStamp(a, false) == FormatTimeStamp(b, false);
}

// Sets or clears XTHOST_CLOCK for one scope.
class PinnedClock {
 public:
  explicit PinnedClock(const char* value) {
    if (value)
      setenv("XTHOST_CLOCK", value, 1);
    else
      unsetenv("XTHOST_CLOCK");
  }
  ~PinnedClock() { unsetenv("XTHOST_CLOCK"); }
};

TEST(DateTimeStamps, FixedMomentInEveryForm) {
  DateTime m = Moment(2026, 3, 5, 7, 4, 9);
  EXPECT_EQ(FormatDateStamp(m.date, false), "20260305");
  EXPECT_EQ(FormatDateStamp(m.date, true), "260305");
  EXPECT_EQ(FormatTimeFields(m.time), "070409");
  EXPECT_EQ(FormatTimeStamp(m, false), "20260305070409");
  EXPECT_EQ(FormatTimeStamp(m, true), "260305070409");
  std::ostringstream out;
  WriteDateTimeStamp(out, m);
  EXPECT_EQ(out.str(), "2026-03-05 07:04:09");
}

TEST(DateTimeStamps, AgreeWithStrftime) {
  // Every month, a spread of days and times, early and late years.
  for (int year : {1970, 1999, 2000, 2026, 2099}) {
    for (int month = 1; month <= 12; ++month) {
      for (int day : {1, 9, 10, 28}) {
        DateTime m = Moment(year, month, day, (month * 5) % 24, (day * 7) % 60, (month * day) % 60);
        std::ostringstream out;
        WriteDateTimeStamp(out, m);
        EXPECT_EQ(out.str(), Strftime(m, "%Y-%m-%d %H:%M:%S"));
        EXPECT_EQ(FormatTimeStamp(m, false), Strftime(m, "%Y%m%d%H%M%S"));
        EXPECT_EQ(FormatTimeStamp(m, true), Strftime(m, "%y%m%d%H%M%S"));
      }
    }
  }
}

TEST(DateTimeStamps, YearIsNeverPaddedInTheReadableForm) {
  std::ostringstream out;
  WriteDateTimeStamp(out, Moment(987, 1, 2, 3, 4, 5));
  EXPECT_EQ(out.str(), "987-01-02 03:04:05");
  // Dropping two characters of a short year leaves what remains.
  EXPECT_EQ(FormatDateStamp(Moment(987, 1, 2, 0, 0, 0).date, true), "70102");
  EXPECT_EQ(FormatDateStamp(Moment(7, 1, 2, 0, 0, 0).date, true), "0102");
}

TEST(DateTimeStamps, StreamKeepsItsFlagsAndEndsLeftAdjusted) {
  std::ostringstream out;
  out << std::hex << std::setfill('*') << std::right;
  WriteDateTimeStamp(out, Moment(2026, 12, 31, 23, 59, 58));
  EXPECT_TRUE((out.flags() & std::ios::adjustfield) == std::ios::left);
  out << std::setw(4) << 255;
  EXPECT_EQ(out.str(), "2026-12-31 23:59:58ff**");
}

TEST(Clock, ParsesTheFormsTheHostIsPinnedWith) {
  DateTime m = Moment(1, 1, 1, 1, 1, 1);
  EXPECT_TRUE(ParseDateTime("2024-02-29 23:59:59", m));
  EXPECT_TRUE(SameMoment(m, Moment(2024, 2, 29, 23, 59, 59)));
  // The host takes a "T" for the blank and the fourteen digits as well: the
  // stamps the plug-in makes must follow the same pinned clock.
  EXPECT_TRUE(ParseDateTime("2026-03-05T07:04:09", m));
  EXPECT_TRUE(SameMoment(m, Moment(2026, 3, 5, 7, 4, 9)));
  EXPECT_TRUE(ParseDateTime("20251231235958", m));
  EXPECT_TRUE(SameMoment(m, Moment(2025, 12, 31, 23, 59, 58)));
  DateTime kept = m;
  for (const char* bad : {"", "2026-3-05 07:04:09", "2026-03-05t07:04:09", "2026-03-05 07:04:09 ",
                          "2026-13-05 07:04:09", "2026-00-05 07:04:09", "2025-02-29 07:04:09",
                          "2026-04-31 07:04:09", "2026-03-05 24:00:00", "2026-03-05 07:60:09",
                          "2026-03-05 07:04:60", "20a6-03-05 07:04:09", "2026-03-05 07:04:0x",
                          "0000-01-01 00:00:00", "2026030507040", "202603050704090", "20260230070409",
                          "2026030507040x", "2026-03-05x07:04:09"}) {
    EXPECT_FALSE(ParseDateTime(bad, m)) << bad;
    EXPECT_TRUE(SameMoment(m, kept)) << bad;
  }
}

TEST(Clock, PinnedByTheEnvironment) {
  for (const char* value : {"2026-03-05 07:04:09", "20260305070409"}) {
    PinnedClock pin(value);
    DateTime now;
    GetDateTime(now);
    EXPECT_TRUE(SameMoment(now, Moment(2026, 3, 5, 7, 4, 9))) << value;
  }
}

TEST(Clock, LocalTimeWhenNotPinnedOrPinnedBadly) {
  for (const char* value : {static_cast<const char*>(nullptr), "tomorrow"}) {
    PinnedClock pin(value);
    std::time_t before = std::time(nullptr);
    DateTime now;
    GetDateTime(now);
    std::time_t after = std::time(nullptr);
    bool matched = false;
    for (std::time_t t = before; t <= after; ++t) {
      std::tm local{};
      localtime_r(&t, &local);
      matched = matched || SameMoment(now, Moment(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                                  local.tm_hour, local.tm_min, local.tm_sec));
    }
    EXPECT_TRUE(matched);
  }
}

DateTime NewYear() { return Moment(2030, 1, 1, 0, 0, 0); }

TEST(Clock, ReplaceableSource) {
  PinnedClock pin("2026-03-05 07:04:09");
  ClockSource previous = SetClockSource(NewYear);
  DateTime now;
  GetDateTime(now);
  EXPECT_TRUE(SameMoment(now, NewYear()));
  SetClockSource(previous);
  GetDateTime(now);
  EXPECT_TRUE(SameMoment(now, Moment(2026, 3, 5, 7, 4, 9)));
  SetClockSource(NewYear);
  SetClockSource(nullptr);  // back to the default
  GetDateTime(now);
  EXPECT_TRUE(SameMoment(now, Moment(2026, 3, 5, 7, 4, 9)));
}

}  // namespace
