#include "support/error_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ErrorNames, TableAndItsEnds) {
  EXPECT_EQ(GetErrorName(999), nullptr);
  EXPECT_EQ(GetErrorName(1022), nullptr);
  EXPECT_EQ(GetErrorName(0), nullptr);
  EXPECT_STREQ(GetErrorName(1000), "Wrong Parameter");
  EXPECT_STREQ(GetErrorName(1004), "KXT Error");
  EXPECT_STREQ(GetErrorName(1007), "Reserved 1007");
  EXPECT_STREQ(GetErrorName(1015), "Mapper Format");
  EXPECT_STREQ(GetErrorName(1021), "Quark Assert");
  // Every code in the range has a name of its own.
  for (uint16_t code = 1000; code <= 1021; ++code) {
    ASSERT_NE(GetErrorName(code), nullptr) << code;
    for (uint16_t other = 1000; other < code; ++other) EXPECT_STRNE(GetErrorName(code), GetErrorName(other));
  }
}

TEST(ErrorNames, TraceLevelPassesTheCodeThrough) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(TraceLevel(-50, "debug_check(APIERR): Something strange happend!"), -50);
  EXPECT_EQ(TraceLevel(0, nullptr), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
