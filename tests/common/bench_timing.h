// Small helpers the plain benchmark programs share: timing a piece of
// work, a failure that stops the run, the median of rounds and a rate.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <vector>

namespace testutil {

// Wall-clock seconds that `work` took.
inline double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Stops the benchmark when a step it measures did not work.
inline void Require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Mebibytes per second for `bytes` moved in `seconds`.
inline double MiBps(std::size_t bytes, double seconds) {
  return static_cast<double>(bytes) / seconds / (1 << 20);
}

}  // namespace testutil
