// Failure mapping of the storage wrappers, the failure log of destructors,
// and the small helpers: CompareWideN, CopyStreamData, OLEString,
// OLEInitGuard.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/failures.h"
#include "framework/mem_file.h"
#include "framework/ole_functions.h"
#include "framework/ole_init_guard.h"
#include "framework/ole_object.h"
#include "framework/ole_string.h"
#include "tests/common/failure_of.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::FailureOf;

TEST(OLEObjectTest, AbortRaisesTheIdOfEachResult) {
  const struct {
    ole::Result result;
    int id;
  } table[] = {
      {ole::STG_E_INVALIDNAME, 33000},       {ole::STG_E_INVALIDPARAMETER, 33001},
      {ole::E_INVALIDARG, 33001},            {ole::STG_E_INVALIDPOINTER, 33003},
      {ole::STG_E_INVALIDFUNCTION, 33004},   {ole::STG_E_INVALIDFLAG, 33004},
      {ole::STG_E_OLDFORMAT, 33005},         {ole::STG_E_OLDDLL, 33005},
      {ole::STG_E_FILENOTFOUND, 33006},      {ole::STG_E_PATHNOTFOUND, 33006},
      {ole::STG_E_ACCESSDENIED, 33007},      {ole::STG_E_SHAREVIOLATION, 33007},
      {ole::STG_E_LOCKVIOLATION, 33007},     {ole::STG_E_FILEALREADYEXISTS, 33008},
      {ole::STG_E_REVERTED, 33009},          {ole::S_FALSE, 33010},
      {ole::STG_E_CANTSAVE, 33011},          {ole::STG_E_MEDIUMFULL, 33012},
      {ole::STG_E_WRITEFAULT, 33013},        {ole::STG_E_TOOMANYOPENFILES, 33014},
      {ole::E_UNEXPECTED, 33015},            {ole::E_OUTOFMEMORY, 32773},
      {ole::STG_E_INSUFFICIENTMEMORY, 32773}, {static_cast<ole::Result>(0x80004005u), 32769},
  };
  for (const auto& row : table) {
    EXPECT_EQ(FailureOf([&] { OLEObject::Abort(row.result, u"name"); }), row.id) << std::hex << row.result;
  }
  EXPECT_EQ(FailureOf([] { OLEObject::Abort(ole::STG_E_FILENOTFOUND, static_cast<const char16_t*>(nullptr)); }),
            33006);
}

TEST(OLEObjectTest, EveryMediumFullFailureIsRaisedAndCounted) {
  uint32_t before = OLEObject::MediumFullCount();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(FailureOf([] { OLEObject::Abort(ole::STG_E_MEDIUMFULL, u"a.kxt"); }), 33012);
  }
  EXPECT_EQ(OLEObject::MediumFullCount(), before + 3);
  // Later failures of other kinds are not swallowed either.
  EXPECT_EQ(FailureOf([] { OLEObject::Abort(ole::STG_E_WRITEFAULT, u"a.kxt"); }), 33013);
  EXPECT_EQ(OLEObject::MediumFullCount(), before + 3);
}

std::vector<std::string> g_logged;
void Capture(const char* line) { g_logged.push_back(line); }

struct FinishesOutput {
  ole::Result result;
  ~FinishesOutput() noexcept(false) { OLEObject::RaiseOrLog(result, u"Grüße.kxt"); }
};

TEST(OLEObjectTest, RaiseOrLogRaisesUnlessAnotherFailureUnwinds) {
  g_logged.clear();
  SetOLEFailureLogger(Capture);
  EXPECT_EQ(FailureOf([] { FinishesOutput finish{ole::STG_E_WRITEFAULT}; }), 33013);
  EXPECT_TRUE(g_logged.empty());

  try {
    FinishesOutput finish{ole::STG_E_MEDIUMFULL};
    throw std::runtime_error("first failure");
  } catch (const std::runtime_error& first) {
    EXPECT_STREQ(first.what(), "first failure");
  }
  SetOLEFailureLogger(nullptr);
  ASSERT_EQ(g_logged.size(), 1u);
  EXPECT_NE(g_logged[0].find("33012"), std::string::npos) << g_logged[0];
  EXPECT_NE(g_logged[0].find("Grüße.kxt"), std::string::npos) << g_logged[0];
}

TEST(OLEObjectTest, ExistsTestsThePath) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("plain.txt"), "text");
  EXPECT_TRUE(OLEObject::Exists(dir.File("plain.txt").c_str()));
  EXPECT_FALSE(OLEObject::Exists(dir.File("missing.txt").c_str()));
}

TEST(CompareWideNTest, ComparesAtMostNUnits) {
  EXPECT_EQ(CompareWideN(u"abc", u"abd", 2, nullptr), 0);
  EXPECT_EQ(CompareWideN(u"abc", u"abd", 3, nullptr), -1);
  EXPECT_EQ(CompareWideN(u"abc", u"xyz", 0, nullptr), 0);
  EXPECT_EQ(CompareWideN(u"ab", u"ab", 10, nullptr), 0);   // both end
  EXPECT_EQ(CompareWideN(u"ab", u"abc", 10, nullptr), -static_cast<int>(u'c'));
  EXPECT_EQ(CompareWideN(u"abc", u"ab", 10, nullptr), static_cast<int>(u'c'));
  EXPECT_EQ(CompareWideN(u"\xFFFF", u"\x0001", 1, nullptr), 0xFFFE);  // units are unsigned

  int32_t counter = 10;
  CompareWideN(u"abc", u"abd", 3, &counter);
  EXPECT_EQ(counter, 8);  // two matching units
}

// Records the size of every write.
class WriteLog : public OutStream {
 public:
  void PutData(const void* data, uint32_t n) override {
    sizes.push_back(n);
    bytes.append(static_cast<const char*>(data), n);
  }
  std::vector<uint32_t> sizes;
  std::string bytes;
};

TEST(CopyStreamDataTest, CopiesInBufferSizedPassesUntilCountOrEnd) {
  std::string data(3000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  MemFile source;
  source.PutData(data.data(), 3000);

  source.Seek(0, SeekBegin);
  WriteLog part;
  EXPECT_EQ(CopyStreamData(source, part, 2500, 1024), 2500u);
  EXPECT_EQ(part.sizes, (std::vector<uint32_t>{1024, 1024, 452}));
  EXPECT_EQ(part.bytes, data.substr(0, 2500));

  source.Seek(0, SeekBegin);
  WriteLog all;
  EXPECT_EQ(CopyStreamData(source, all, 0xFFFFFFFF, 1024), 3000u);
  EXPECT_EQ(all.sizes, (std::vector<uint32_t>{1024, 1024, 952, 0}));  // the empty read is written too
  EXPECT_EQ(all.bytes, data);

  WriteLog none;
  EXPECT_EQ(CopyStreamData(source, none, 0, 1024), 0u);
  EXPECT_TRUE(none.sizes.empty());
}

TEST(OLEStringTest, ConvertsBetweenTheSystemEncodingAndUtf16) {
  const char* narrow = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";  // "Grüße € 😀"
  OLEString from_narrow(narrow, 0);
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(from_narrow)), u"Grüße € \U0001F600");
  EXPECT_STREQ(static_cast<const char*>(from_narrow), narrow);
  EXPECT_EQ(from_narrow.CP(), 0u);

  OLEString from_wide(u"Grüße", 65001);
  EXPECT_STREQ(static_cast<const char*>(from_wide), "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(from_wide.CP(), 65001u);

  OLEString western(u"\u00E9", 1252);
  EXPECT_STREQ(static_cast<const char*>(western), "\xE9");

  OLEString none(static_cast<const char*>(nullptr), 0);
  EXPECT_EQ(static_cast<const char16_t*>(none), nullptr);
  EXPECT_EQ(static_cast<const char*>(none), nullptr);

  OLEString invalid("\xFF\xFE", 0);  // not UTF-8
  EXPECT_EQ(static_cast<const char16_t*>(invalid), nullptr);
}

TEST(OLEInitGuardTest, InitialisesAndNests) {
  OLEInitGuard outer(true);
  EXPECT_TRUE(outer.Succeeded());
  OLEInitGuard inner(true);  // already initialised: S_FALSE, still a success
  EXPECT_TRUE(inner.Succeeded());
}

}  // namespace
