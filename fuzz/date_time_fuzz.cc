// The plug-in's date-time parser over arbitrary text: what it accepts is a
// moment in range that prints back in the form it came in; what it refuses
// leaves the record untouched.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "support/date_time.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  DateTime moment;
  moment.date.year = -7;
  if (!ParseDateTime(text, moment)) {
    Check(moment.date.year == -7);
    return 0;
  }
  Check(moment.date.year >= 1 && moment.date.year <= 9999);
  Check(moment.date.month >= 1 && moment.date.month <= 12);
  Check(moment.date.day >= 1 && moment.date.day <= 31);
  Check(moment.time.hour >= 0 && moment.time.hour <= 23);
  Check(moment.time.minute >= 0 && moment.time.minute <= 59);
  Check(moment.time.second >= 0 && moment.time.second <= 60);
  // It prints back as it came: month, day and time as they were, the year
  // as a number.
  const std::string year = std::to_string(moment.date.year);
  Check(std::stoi(text.substr(0, 4)) == moment.date.year);
  if (text.size() == 14) {
    const std::string stamp = FormatTimeStamp(moment, false);
    Check(stamp.substr(stamp.size() - 10) == text.substr(4));
  } else {
    std::string expected = year + text.substr(4);
    expected[expected.size() - 9] = ' ';
    std::ostringstream out;
    WriteDateTimeStamp(out, moment);
    Check(out.str() == expected);
  }
  return 0;
}
