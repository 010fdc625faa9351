// Data to send and store in tests and benchmarks: random bytes and
// text-like bytes, both the same on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace testutil {

// `size` bytes from a Mersenne twister seeded with `seed`.
inline std::string RandomBytes(uint32_t seed, size_t size) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    uint32_t v = rng();
    for (int k = 0; k < 4; ++k) out[i + k] = static_cast<char>(v >> (8 * k));
  }
  for (; i < size; ++i) out[i] = static_cast<char>(rng());
  return out;
}

// `size` bytes of words from a small vocabulary, common ones more often,
// with blanks, numbers and line feeds.
inline std::string TextBytes(size_t size, uint32_t seed = 7) {
  static const char* const kWords[] = {"the",    "server", "sends", "blocks", "of",    "text",  "and",
                                       "zlib",   "streams", "over", "loopback", "to",  "its",   "client",
                                       "again",  "files",  "a",     "job",    "folder", "result", "line"};
  constexpr size_t kCount = sizeof kWords / sizeof kWords[0];
  std::mt19937 rng(seed);
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) {
    size_t a = rng() % kCount, b = rng() % kCount;
    out += kWords[a < b ? a : b];
    unsigned r = rng() % 24;
    out += r == 0 ? "\n" : r == 1 ? ", " : r == 2 ? " " + std::to_string(rng() % 1000) + " " : " ";
  }
  out.resize(size);
  return out;
}

}  // namespace testutil
