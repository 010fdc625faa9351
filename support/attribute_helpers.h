// Small conversions for the attribute writer of the conversions.
#pragma once

#include <cstdint>

struct RGB16 {
  uint16_t red;
  uint16_t green;
  uint16_t blue;
};

// Splits 0x00RRGGBB into three channels scaled from 0-255 to 0-65535 (c * 257).
RGB16 RGB8ToRGB16(uint32_t rgb);

// The length of the NUL-terminated text that begins 4 bytes into `record`;
// 0 for a null record.
unsigned PStringLength(const void* record);
