// The host clock: local time, or a fixed time when pinned (XTHOST_CLOCK) so
// that stamped names and logs come out the same on every run.
#pragma once

#include <string>

namespace xthost {

struct HostTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  // Parses "YYYY-MM-DD hh:mm:ss" (a "T" may stand for the blank) or the
  // fourteen digits "YYYYMMDDhhmmss"; false for anything else, or for a
  // date or time that does not exist.
  static bool Parse(const std::string& text, HostTime* time);

  Clock() = default;
  explicit Clock(const HostTime& pinned) : pinned_(true), time_(pinned) {}

  bool pinned() const { return pinned_; }
  // The pinned time, else the local time now.
  HostTime Now() const;

 private:
  bool pinned_ = false;
  HostTime time_;
};

}  // namespace xthost
