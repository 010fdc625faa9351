#include "framework/cf_format.h"

#include "framework/streams.h"

namespace cf {

void PutU32(OutStream& out, uint32_t value) {
  uint8_t bytes[4];
  Put32(bytes, value);
  out.PutData(bytes, 4);
}

void PutCountedString(OutStream& out, const std::string& text) {
  uint8_t length[2];
  Put16(length, static_cast<uint16_t>(text.size()));
  out.PutData(length, 2);
  out.PutData(text.data(), static_cast<uint32_t>(text.size()));
}

bool GetExactly(InStream& in, void* buffer, uint32_t n) { return GetAll(in, buffer, n) == n; }

uint32_t GetAll(InStream& in, void* buffer, uint32_t n) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < n) {
    const uint32_t got = in.GetData(p + done, n - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool GetCountedString(InStream& in, std::string& text) {
  uint8_t length[2];
  if (!GetExactly(in, length, 2)) return false;
  uint32_t left = Get16(length);
  text.clear();
  char piece[256];
  while (left > 0) {
    const uint32_t n = left < sizeof piece ? left : static_cast<uint32_t>(sizeof piece);
    if (!GetExactly(in, piece, n)) return false;
    text.append(piece, n);
    left -= n;
  }
  return true;
}

}  // namespace cf
