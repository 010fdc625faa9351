// Finishing output from a destructor.
#pragma once

#include <exception>

// Runs `finish` (which completes what an object wrote) from its destructor:
// a failure propagates, unless the stack is already unwinding, when it is
// dropped so that the first failure stays the one reported.
template <class Finish>
void FinishInDestructor(Finish&& finish) {
  if (std::uncaught_exceptions() > 0) {
    try {
      finish();
    } catch (...) {
    }
  } else {
    finish();
  }
}
