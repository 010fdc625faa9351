#include "support/attribute_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(AttributeHelpers, RGB8ToRGB16ScalesEachChannel) {
  const RGB16 orange = RGB8ToRGB16(0xFF8000);
  EXPECT_EQ(orange.red, 65535);
  EXPECT_EQ(orange.green, 32896);
  EXPECT_EQ(orange.blue, 0);
  const RGB16 mixed = RGB8ToRGB16(0xAB010203);  // the top byte plays no part
  EXPECT_EQ(mixed.red, 1 * 257);
  EXPECT_EQ(mixed.green, 2 * 257);
  EXPECT_EQ(mixed.blue, 3 * 257);
  const RGB16 white = RGB8ToRGB16(0xFFFFFF);
  EXPECT_EQ(white.blue, 65535);
}

TEST(AttributeHelpers, PStringLengthCountsFromTheFifthByte) {
  char record[16] = {};
  std::memcpy(record, "\x07\x07\x07\x07" "abc", 7);
  EXPECT_EQ(PStringLength(record), 3u);
  record[4] = '\0';
  EXPECT_EQ(PStringLength(record), 0u);
  EXPECT_EQ(PStringLength(nullptr), 0u);
}

}  // namespace
