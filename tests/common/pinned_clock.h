// A clock that always tells the same moment, so stamps and logs repeat.
#pragma once

#include "support/date_time.h"

namespace testutil {

// The pinned moment: 2026-03-05 07:04:09.
inline DateTime PinnedMoment() {
  DateTime m;
  m.date = {2026, 3, 5};
  m.time = {7, 4, 9};
  return m;
}

// The clock GetDateTime reads tells PinnedMoment() while the object lives;
// the previous clock comes back when it goes.
class PinnedClock {
 public:
  PinnedClock() : previous_(SetClockSource(&PinnedMoment)) {}
  ~PinnedClock() { SetClockSource(previous_); }
  PinnedClock(const PinnedClock&) = delete;
  PinnedClock& operator=(const PinnedClock&) = delete;

 private:
  ClockSource previous_;
};

}  // namespace testutil
