// The face bits of a host character-attribute record and the attributes
// they travel as: twelve rows of {face bit, group, attribute name, value
// when the bit is clear, value when it is set}.  Groups: 0 an on/off
// attribute, 1 baseline shift, 2 the underline family, 3 the caps family.
#pragma once

#include <cstdint>

struct TextStyleRow {
  uint16_t bit;
  uint32_t group;
  const char16_t* name;
  const char16_t* clear;  // "" for none
  const char16_t* set;
};

constexpr int kTextStyleRows = 12;
extern const TextStyleRow TextStyleTable[kTextStyleRows];

// The union of the rows' face bits (0x0001 to 0x0040, 0x0100 to 0x1000).
uint16_t TextStyleMask();
