// The failure a call raises.
#pragma once

#include <functional>

#include "framework/failures.h"

namespace testutil {

// The id of the FilterException `call` raises, or 0 when it raises none.
inline int FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const FilterException& failure) {
    return failure.Id();
  }
  return 0;
}

}  // namespace testutil
