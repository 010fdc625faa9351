// Finishing output from a destructor.
#pragma once

#include <exception>

// Runs `finish` (which completes what an object wrote) from its destructor:
// a failure propagates, unless the stack is already unwinding, when it is
// dropped so that the first failure stays the one reported.  The unwinding
// is asked about only once finishing failed: inside the handler the failure
// caught is no longer counted, so any exception still counted is the one
// the stack unwinds for.
template <class Finish>
void FinishInDestructor(Finish&& finish) {
  try {
    finish();
  } catch (...) {
    if (std::uncaught_exceptions() > 0) return;
    throw;
  }
}
