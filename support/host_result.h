// Combining the results of host calls made in a row.
#pragma once

#include <cstdint>

// Keeps the first failure: `result` takes `next` only while it is still 0,
// so two failures can never add up to success.
inline void FirstFailure(int32_t& result, int32_t next) {
  if (result == 0) result = next;
}
