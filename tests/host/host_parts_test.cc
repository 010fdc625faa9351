// The stand-in host's own parts: fail plans, the clock, the folder table,
// its UTF conversions and transcript names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "host/clock.h"
#include "host/fail_plan.h"
#include "host/folders.h"
#include "host/linked_host_util.h"
#include "host/transcript.h"
#include "host/utf.h"
#include "platform/xt/xt_suites.h"

namespace xthost {
namespace {

TEST(FailPlan, CountsEachNameAndQualifierOnItsOwn) {
  FailPlan plan;
  std::string error;
  ASSERT_TRUE(
      FailPlan::Parse("create_file:2,acquire_suite/QSB1:3,dispose_string:*", &plan, &error));
  std::string rule;
  EXPECT_FALSE(plan.Fails("create_file", "", &rule));
  EXPECT_TRUE(plan.Fails("create_file", "", &rule));
  EXPECT_EQ(rule, "create_file #2");
  EXPECT_FALSE(plan.Fails("create_file", "", &rule));
  // Other codes do not advance the count of QSB1.
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(plan.Fails("acquire_suite", "LTA1", &rule));
  EXPECT_FALSE(plan.Fails("acquire_suite", "QSB1", &rule));
  EXPECT_FALSE(plan.Fails("acquire_suite", "QSB1", &rule));
  EXPECT_TRUE(plan.Fails("acquire_suite", "QSB1", &rule));
  EXPECT_EQ(rule, "acquire_suite/QSB1 #3");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(plan.Fails("dispose_string", "", &rule));
}

TEST(FailPlan, RefusesBadRules) {
  FailPlan plan;
  std::string error;
  for (const char* bad : {"create_file", "create_file:", ":2", "create_file:0", "create_file:x",
                          "create_file:2x", "a:1,b", "create_flie:1", "acquire_suit/QSB1:1", "/QSB1:1",
                          "create_file:99999999999999999999", "handshake:1,nothing:*"}) {
    EXPECT_FALSE(FailPlan::Parse(bad, &plan, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_TRUE(FailPlan::Parse("acquire_suite/ANY1:1,is_untitled:*,register_reservation:1", &plan, &error));
  EXPECT_TRUE(FailPlan::Parse("", &plan, &error));
  EXPECT_TRUE(plan.empty());
}

// Every entry of the host that can be told to fail can be named in a plan:
// the names its sources hand to Fails, StateByte and Predicate.
TEST(FailPlan, KnowsEveryEntryThatCanFail) {
  const std::string folder = std::string(BRENIX_TEST_DATA) + "/../../host";
  int found = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (file.path().extension() != ".cc") continue;
    const std::string text = ReadFile(file.path().string());
    for (const std::string call : {"Fails(\"", "StateByte(\"", "Predicate(\""}) {
      for (std::size_t at = text.find(call); at != std::string::npos; at = text.find(call, at + 1)) {
        const std::size_t begin = at + call.size();
        const std::string name = text.substr(begin, text.find('"', begin) - begin);
        FailPlan plan;
        std::string error;
        EXPECT_TRUE(FailPlan::Parse(name + ":1", &plan, &error)) << file.path() << ": " << error;
        ++found;
      }
    }
  }
  EXPECT_GT(found, 100);
}

TEST(Clock, ParsesBothFormsAndRefusesImpossibleTimes) {
  HostTime t;
  ASSERT_TRUE(Clock::Parse("2024-03-07 09:05:01", &t));
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.month, 3);
  EXPECT_EQ(t.day, 7);
  EXPECT_EQ(t.hour, 9);
  EXPECT_EQ(t.minute, 5);
  EXPECT_EQ(t.second, 1);
  EXPECT_FALSE(Clock::Parse("20240229T235959", &t));
  ASSERT_TRUE(Clock::Parse("20240229235959", &t));
  EXPECT_EQ(t.day, 29);
  EXPECT_TRUE(Clock::Parse("2024-02-29T00:00:00", &t));
  for (const char* bad :
       {"2023-02-29 00:00:00", "2024-13-01 00:00:00", "2024-01-01 24:00:00", "2024-01-01 00:60:00",
        "2024-1-01 00:00:00", "2024-01-01", "", "0000-01-01 00:00:00", "2024-04-31 00:00:00"}) {
    EXPECT_FALSE(Clock::Parse(bad, &t)) << bad;
  }
  Clock pinned(HostTime{2001, 2, 3, 4, 5, 6});
  EXPECT_TRUE(pinned.pinned());
  EXPECT_EQ(pinned.Now().year, 2001);
  EXPECT_EQ(pinned.Now().second, 6);
}

TEST(FolderTable, MapsPathsToSpecsAndBack) {
  TempFolder temp;
  WriteFile(temp / "doc.qxp", "x");
  FolderTable folders;
  XTFileSpec spec{};
  EXPECT_EQ(folders.MakeSpec(0, 0, temp / "doc.qxp", &spec), kXTOk);
  EXPECT_EQ(int16_t{spec.volume}, FolderTable::kVolume);
  EXPECT_STREQ(spec.name, "doc.qxp");
  std::string path;
  ASSERT_EQ(folders.FullPath(spec.volume, spec.folder, spec.name, &path), kXTOk);
  EXPECT_EQ(path, temp / "doc.qxp");

  // A missing file in an existing folder: -43 and the spec all the same,
  // with the same folder id as its neighbour.
  XTFileSpec missing{};
  EXPECT_EQ(folders.MakeSpec(0, 0, temp / "new.qxp", &missing), kXTErrNotFound);
  EXPECT_EQ(int32_t{missing.folder}, int32_t{spec.folder});
  EXPECT_STREQ(missing.name, "new.qxp");
  // Relative to a folder id; "." and ".." are resolved.
  XTFileSpec relative{};
  EXPECT_EQ(folders.MakeSpec(spec.volume, spec.folder, "./sub/../doc.qxp", &relative), kXTOk);
  EXPECT_EQ(int32_t{relative.folder}, int32_t{spec.folder});
  // A missing folder, an unknown folder id, a name that does not fit.
  XTFileSpec untouched{};
  untouched.folder = 77;
  EXPECT_EQ(folders.MakeSpec(0, 0, temp / "no/doc.qxp", &untouched), kXTErrNoFolder);
  EXPECT_EQ(folders.MakeSpec(0, 9999, "doc.qxp", &untouched), kXTErrNoFolder);
  EXPECT_EQ(folders.MakeSpec(0, 0, temp / std::string(256, 'n'), &untouched), kXTErrBadName);
  EXPECT_EQ(int32_t{untouched.folder}, 77);
  EXPECT_EQ(folders.FullPath(0, 9999, "x", &path), kXTErrNoFolder);
  EXPECT_EQ(folders.FullPath(spec.volume, spec.folder, "a/b", &path), kXTErrBadName);
  EXPECT_EQ(folders.FullPath(spec.volume, spec.folder, "..", &path), kXTErrBadName);
  EXPECT_EQ(folders.FullPath(5, spec.folder, "x", &path), kXTErrNoFolder);
}

TEST(FolderTable, TheRootAndFilesRightUnderIt) {
  FolderTable folders;
  XTFileSpec spec{};
  EXPECT_EQ(folders.MakeSpec(0, 0, "/", &spec), kXTOk);
  EXPECT_EQ(int32_t{spec.folder}, FolderTable::kAboveRoot);
  EXPECT_STREQ(spec.name, "");
  std::string path;
  ASSERT_EQ(folders.FullPath(spec.volume, spec.folder, "", &path), kXTOk);
  EXPECT_EQ(path, "/");
  ASSERT_EQ(folders.MakeSpec(0, 0, "/tmp", &spec), kXTOk);
  EXPECT_EQ(int32_t{spec.folder}, FolderTable::kRoot);
  ASSERT_EQ(folders.FullPath(spec.volume, spec.folder, spec.name, &path), kXTOk);
  EXPECT_EQ(path, "/tmp");
}

TEST(Utf, RoundTripsAndRefusesMalformedText) {
  const std::string text = "Grüße \xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5";
  std::u16string units;
  ASSERT_TRUE(Utf8ToUtf16(text, &units));
  EXPECT_EQ(units, u"Grüße € 😀 日");
  std::string back;
  ASSERT_TRUE(Utf16ToUtf8(units, &back));
  EXPECT_EQ(back, text);
  for (const char* bad : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xE2\x82", "\x80", "\xFF"}) {
    EXPECT_FALSE(Utf8ToUtf16(bad, &units)) << bad;
  }
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, u'\xD800'), &back));
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, u'\xDC00') + u"a", &back));
}

TEST(Transcript, NamesCodesAndQuotesText) {
  EXPECT_EQ(Transcript::SuiteName(kXTSuiteLTA1), "LTA1");
  EXPECT_EQ(Transcript::SuiteName(kXTTableXFJj), "XFJj");
  EXPECT_EQ(Transcript::SuiteName(0x01020304), "0x01020304");
  EXPECT_EQ(Transcript::XTensionName(0x41545058), "XPTA");
  EXPECT_EQ(Transcript::XTensionName(0x00594C51), "QLY");
  EXPECT_EQ(Transcript::Quote("a\"b\\c\n"), "\"a\\\"b\\\\c\\x0a\"");
}

}  // namespace
}  // namespace xthost
