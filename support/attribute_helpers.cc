#include "support/attribute_helpers.h"

#include <cstring>

RGB16 RGB8ToRGB16(uint32_t rgb) {
  auto channel = [rgb](int shift) { return static_cast<uint16_t>(((rgb >> shift) & 0xFF) * 65535u / 255u); };
  return RGB16{channel(16), channel(8), channel(0)};
}

unsigned PStringLength(const void* record) {
  if (!record) return 0;
  return static_cast<unsigned>(std::strlen(static_cast<const char*>(record) + 4));
}
