#include "framework/ole_functions.h"

#include <algorithm>
#include <vector>

uint32_t CopyStreamData(InStream& from, OutStream& to, uint32_t count, uint32_t bufferSize) {
  std::vector<uint8_t> buffer(std::min(count, bufferSize));
  uint32_t remaining = count;
  while (remaining > 0) {
    uint32_t want = std::min(remaining, bufferSize);
    uint32_t got = std::min(from.GetData(buffer.data(), want), want);
    to.PutData(buffer.data(), got);
    remaining -= got;
    if (got == 0) break;
  }
  return count - remaining;
}

int CompareWideN(const char16_t* a, const char16_t* b, uint32_t n, int32_t* counter) {
  for (uint32_t i = 0; i < n; ++i) {
    if (a[i] == 0 || a[i] != b[i]) return static_cast<int>(static_cast<uint32_t>(a[i]) - static_cast<uint32_t>(b[i]));
    if (counter) --*counter;
  }
  return 0;
}

uint32_t GetFull(InStream& in, void* buffer, uint32_t n) {
  uint32_t done = 0;
  while (done < n) {
    uint32_t got = in.GetData(static_cast<uint8_t*>(buffer) + done, n - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

void PutU32LE(OutStream& out, uint32_t value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                      static_cast<uint8_t>(value >> 24)};
  out.PutData(bytes, 4);
}

bool GetU32LE(InStream& in, uint32_t& value) {
  uint8_t bytes[4];
  if (GetFull(in, bytes, 4) != 4) return false;
  value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}
