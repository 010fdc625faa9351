// The byte layout of the host records that are copied whole.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/xt/xt_records.h"

namespace {

TEST(XTFileSpec, Is262BytesLaidOutFieldByField) {
  XTFileSpec specs[2];
  std::memset(specs, 0xAA, sizeof specs);
  specs[0].volume = -2;
  specs[0].folder = 0x01020304;
  std::strcpy(specs[0].name, "ab");
  specs[1].volume = 7;
  unsigned char bytes[sizeof specs];
  std::memcpy(bytes, specs, sizeof specs);
  const unsigned char head[] = {0xFE, 0xFF, 0x04, 0x03, 0x02, 0x01, 'a', 'b', 0x00, 0xAA};
  EXPECT_EQ(std::memcmp(bytes, head, sizeof head), 0);
  EXPECT_EQ(bytes[261], 0xAA);  // the last name byte
  EXPECT_EQ(bytes[262], 7);     // the next record follows at once
  EXPECT_EQ(bytes[263], 0);
}

TEST(xthandlecommandrec, CommandIdAtByteEight) {
  xthandlecommandrec record{};
  record.kind = 618;
  record.command_id = 0x1234;
  unsigned char bytes[sizeof record];
  std::memcpy(bytes, &record, sizeof record);
  EXPECT_EQ(bytes[8], 0x34);
  EXPECT_EQ(bytes[9], 0x12);
}

}  // namespace
