#include "framework/failures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_seen_id = 0;
sh_MessageType g_seen_type = sh_Error;
void Recorder(FilterException& failure) {
  g_seen_id = failure.Id();
  g_seen_type = failure.Type();
}

TEST(Failures, ErrorThrowsWithIdPositionAndNoText) {
  try {
    LocalizedError(34001, FE_Position(7, 9), "ignored");
    FAIL() << "LocalizedError returned";
  } catch (const FilterException& e) {
    EXPECT_EQ(e.Id(), 34001);
    EXPECT_EQ(e.Type(), sh_Error);
    EXPECT_EQ(e.Position().line, 7u);
    EXPECT_EQ(e.Position().column, 9u);
    EXPECT_EQ(e.Text(), nullptr);
    EXPECT_STREQ(e.what(), "Filter failure 34001");
  }
  EXPECT_THROW(Error(44006), FilterException);
}

TEST(Failures, CopiesAreIndependent) {
  FilterException a(1, sh_Error);
  FilterException b(2, sh_Warning, FE_Position(1, 2));
  a = b;
  b = FilterException(3, sh_LogEvent);
  EXPECT_EQ(a.Id(), 2);
  EXPECT_EQ(a.Position().column, 2u);
  EXPECT_EQ(b.Id(), 3);
}

TEST(Failures, DefaultMessengersAndReplacement) {
  testing::internal::CaptureStderr();
  Warning(5);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: 5\n\n\n");

  testing::internal::CaptureStdout();
  LogEvent(7);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "(7) \n");

  SetWarningMessenger(Recorder);
  SetLogEventMessenger(Recorder);
  FilterException f(11, sh_Error);
  Warning(f);
  EXPECT_EQ(g_seen_id, 11);
  EXPECT_EQ(g_seen_type, sh_Warning);
  EXPECT_EQ(f.Type(), sh_Warning);
  LocalizedLogEvent(12, FE_Position(1, 1));
  EXPECT_EQ(g_seen_id, 12);
  EXPECT_EQ(g_seen_type, sh_LogEvent);

  SetWarningMessenger(nullptr);
  SetLogEventMessenger(nullptr);
  testing::internal::CaptureStderr();
  LocalizedWarning(6, FE_Position());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: 6\n\n\n");
}

TEST(Failures, AssertFailNamesTheFileAndGoesOn) {
  const struct {
    const char* path;
    const char* shown;
  } cases[] = {
      {"c:\\src/a\\b/c.cpp", "b/c.cpp"},
      {"/src/filter/mapper.cpp", "mapper.cpp"},
      {"bare.cpp", "bare.cpp"},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    AssertFail(c.path, 42, "theLen < mMaxLen");
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, std::string("Unexpected error at ") + c.shown +
                       " 42: theLen < mMaxLen\nBreak to debugger ('Cancel' aborts execution) ?\n");
  }
}

}  // namespace
