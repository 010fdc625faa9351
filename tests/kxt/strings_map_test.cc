// The strings map: interning, look-ups both ways, and the stored form,
// including stored maps whose numbers are not dense or repeat.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/ole_storage.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt/strings_map.h"
#include "kxt_test_util.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::TempDir;

std::u16string Text(const char16_t* text) { return text == nullptr ? u"<null>" : std::u16string(text); }

// The string numbered n (a const map: a literal 0 would also name a null
// string pointer).
const char16_t* At(const KXT_StringsMap& map, int32_t n) { return map[n]; }

TEST(StringsMapTest, InternsDenselyAndLooksUpBothWays) {
  KXT_StringsMap map;
  EXPECT_EQ(map[u"bold"], 0);
  EXPECT_EQ(map[u"on"], 1);
  EXPECT_EQ(map[u"bold"], 0);
  EXPECT_EQ(map[u""], 2) << "the empty string is a string like any other";
  EXPECT_EQ(map[u"Bold"], 3) << "case matters";
  EXPECT_EQ(map.size(), 4u);

  EXPECT_EQ(Text(At(map, 0)), u"bold");
  EXPECT_EQ(Text(At(map, 2)), u"");
  EXPECT_EQ(Text(At(map, 3)), u"Bold");
  EXPECT_EQ(At(map, -1), nullptr);
  EXPECT_EQ(At(map, 4), nullptr);
  EXPECT_EQ(At(map, INT32_MIN), nullptr);

  EXPECT_EQ(map.find(u"on"), 1);
  EXPECT_EQ(map.find(u"off"), -1);
  EXPECT_EQ(map.size(), 4u) << "find adds nothing";
  EXPECT_EQ(map.find(nullptr), -1);
  const char16_t* null = nullptr;
  EXPECT_EQ(map[null], -1);
  EXPECT_EQ(map.size(), 4u);

  // Units above the basic plane and U+FFFF compare as plain code units.
  EXPECT_EQ(map[u"\xD83D\xDE00"], 4);
  EXPECT_EQ(map[u"\xFFFF"], 5);
  EXPECT_EQ(Text(At(map, 5)), u"\xFFFF");
}

// A book folder written and read back through the container.
class StoredMapTest : public ::testing::Test {
 protected:
  void Write(const std::function<void(KXT_OutFolder2& folder)>& fill) {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Handle<KXT_OutFolder2> top = storage->CreateKXTFolder2();
    fill(*top);
  }
  // Writes the records (number, string) as "StringsMap{}" directly.
  void WriteRecords(const std::vector<std::pair<int32_t, std::u16string>>& records) {
    Write([&records](KXT_OutFolder2& folder) {
      KXT_Handle<KXT_OutBundle2> bundle = folder.CreateBundle2(KXT_NumberedString(), "StringsMap{}", 0);
      KXT_NumberedString_Out record;
      for (const auto& r : records) {
        record.m_Ref = r.first;
        record.m_String = r.second;
        bundle->PutRecord(record);
      }
    });
  }
  KXT_InFolder2& Root() {
    file = std::make_unique<OLEStorage>(path.c_str(), kOLERead);
    KXT_Handle<KXT_InStorage2> storage(OpenKXT2(*file));
    root = storage->OpenKXTFolder2();
    return *root;
  }

  TempDir dir;
  std::string path = dir.File("map.kxt");
  std::unique_ptr<OLEStorage> file;
  // Owned through a pointer: its destructor may raise, the fixture's not.
  std::unique_ptr<KXT_Handle<KXT_InFolder2>> rootOwner = std::make_unique<KXT_Handle<KXT_InFolder2>>();
  KXT_Handle<KXT_InFolder2>& root = *rootOwner;
};

TEST_F(StoredMapTest, RestoredNumbersAreTheStoredOnesAndInterningGoesOn) {
  const std::vector<std::u16string> texts = {u"zeta", u"alpha", u"", u"Alpha", u"\xFFFF", u"mid"};
  Write([&texts](KXT_OutFolder2& folder) {
    KXT_StringsMap_Out map;
    for (const auto& t : texts) map[t.c_str()];
    map.Store(folder, "StringsMap{}");
  });
  // The independent reader sees the two columns with their tags, in string
  // order: "", "Alpha", "alpha", "mid", "zeta", U+FFFF.
  const auto streams = kxt_test::WitnessStreams(kxt_test::Witness(path));
  EXPECT_EQ(streams.at("StringsMap{}#0|m_Ref"), "0 0 0600" "02000000" "03000000" "01000000" "05000000" "00000000"
                                                 "04000000");
  EXPECT_EQ(streams.at("StringsMap{}#0|m_String").substr(0, 8), "0 0 0b00");

  KXT_StringsMap_In map;
  ASSERT_TRUE(map.Restore(Root(), "StringsMap{}"));
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(map.find(texts[i].c_str()), static_cast<int32_t>(i));
    EXPECT_EQ(Text(At(map, static_cast<int32_t>(i))), texts[i]);
  }
  EXPECT_EQ(map[u"new"], 6);
  EXPECT_EQ(map[u"newer"], 7);
}

TEST_F(StoredMapTest, AMissingBundleLeavesTheMapAlone) {
  Write([](KXT_OutFolder2& folder) { folder.CreateFolder2("Other{}", 0); });
  KXT_StringsMap_In map;
  map[u"kept"];
  EXPECT_FALSE(map.Restore(Root(), "StringsMap{}"));
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map.find(u"kept"), 0);
}

TEST_F(StoredMapTest, StringsEndAtTheirFirstNul) {
  WriteRecords({{0, std::u16string(u"ab\0cd", 5)}, {1, std::u16string(u"\0", 1)}});
  KXT_StringsMap_In map;
  ASSERT_TRUE(map.Restore(Root(), "StringsMap{}"));
  EXPECT_EQ(map.find(u"ab"), 0);
  EXPECT_EQ(map.find(u""), 1);
  EXPECT_EQ(map.size(), 2u);
}

// The reverse look-up as a walk over the table in string order would give
// it: the first entry with the number.
const char16_t* Walk(const std::map<std::u16string, int32_t>& table, int32_t number) {
  if (number == -1) return nullptr;
  for (const auto& entry : table) {
    if (entry.second == number) return entry.first.c_str();
  }
  return nullptr;
}

TEST_F(StoredMapTest, DamagedNumbersNeverHandOutANumberInUse) {
  // Gaps, repeats, a string stored twice (the later number wins), -1 and
  // negative numbers.
  const std::vector<std::pair<int32_t, std::u16string>> records = {
      {7, u"b"}, {7, u"a"}, {2, u"c"}, {2, u"d"}, {9, u"d"}, {-1, u"e"}, {-5, u"f"}, {3, u"g"}};
  WriteRecords(records);
  KXT_StringsMap_In map;
  ASSERT_TRUE(map.Restore(Root(), "StringsMap{}"));
  std::map<std::u16string, int32_t> table;
  for (const auto& r : records) table[r.second] = r.first;
  for (int32_t n = -6; n <= 11; ++n) EXPECT_EQ(Text(At(map, n)), Text(Walk(table, n))) << n;
  EXPECT_EQ(Text(At(map, 7)), u"a");
  EXPECT_EQ(Text(At(map, 2)), u"c");
  EXPECT_EQ(map.find(u"d"), 9);

  // Seven entries, highest number 9: the next numbers are 10, 11, ...
  const int32_t first = map[u"new"];
  EXPECT_EQ(first, 10);
  EXPECT_EQ(map[u"newer"], 11);
  EXPECT_EQ(Text(At(map, 10)), u"new");
}

TEST_F(StoredMapTest, TheHighestNumberInUseStillLeavesFreeOnes) {
  WriteRecords({{INT32_MAX, u"top"}, {0, u"zero"}, {1, u"one"}});
  KXT_StringsMap_In map;
  ASSERT_TRUE(map.Restore(Root(), "StringsMap{}"));
  const int32_t a = map[u"a"];
  const int32_t b = map[u"b"];
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 3);
  EXPECT_EQ(Text(At(map, INT32_MAX)), u"top");
  EXPECT_EQ(Text(At(map, a)), u"a");
  EXPECT_EQ(Text(At(map, b)), u"b");
}

TEST_F(StoredMapTest, NumbersFarAboveTheCountStayFoundAsTheMapGrows) {
  WriteRecords({{0, u"zero"}, {1000, u"far"}, {-7, u"negative"}});
  KXT_StringsMap_In map;
  ASSERT_TRUE(map.Restore(Root(), "StringsMap{}"));
  std::vector<int32_t> numbers;
  for (int i = 0; i < 1500; ++i) numbers.push_back(map[(u"s" + std::u16string(1, char16_t(u'a' + i % 26)) +
                                                        std::u16string(static_cast<size_t>(i / 26), u'x'))
                                                           .c_str()]);
  EXPECT_EQ(numbers.front(), 1001);
  EXPECT_EQ(numbers.back(), 2500);
  EXPECT_EQ(Text(At(map, 1000)), u"far");
  EXPECT_EQ(Text(At(map, -7)), u"negative");
  EXPECT_EQ(Text(At(map, 0)), u"zero");
  EXPECT_EQ(At(map, 1), nullptr);
  EXPECT_EQ(At(map, 2501), nullptr);
  EXPECT_EQ(Text(At(map, 1700)), u"s" + std::u16string(1, char16_t(u'a' + 699 % 26)) + std::u16string(699 / 26, u'x'));
}

TEST_F(StoredMapTest, RestoringTwiceOverwritesAndKeeps) {
  WriteRecords({{0, u"x"}, {1, u"y"}});
  KXT_StringsMap_In map;
  map[u"before"];  // 0, and overwritten by nothing: "x" gets 0 too
  ASSERT_TRUE(map.Restore(Root(), "StringsMap{}"));
  EXPECT_EQ(Text(At(map, 0)), u"before") << "the first string in order with the number";
  EXPECT_EQ(map.find(u"before"), 0);
  EXPECT_EQ(map.find(u"x"), 0);
  EXPECT_EQ(map[u"z"], 3) << "three entries, highest 1";
}

TEST_F(StoredMapTest, AStoredNumberReplacesTheOneAStringHadForEveryLookUp) {
  WriteRecords({{5, u"x"}, {1, u"y"}});
  KXT_StringsMap_In map;
  EXPECT_EQ(map[u"y"], 0);
  EXPECT_EQ(map[u"x"], 1);
  ASSERT_TRUE(map.Restore(Root(), "StringsMap{}"));
  for (const char16_t* text : {u"x", u"y"}) {
    const int32_t stored = text[0] == u'x' ? 5 : 1;
    EXPECT_EQ(map.find(text), stored) << stored;
    EXPECT_EQ(map[text], stored) << stored;
    EXPECT_EQ(Text(At(map, stored)), text);
  }
  EXPECT_EQ(At(map, 0), nullptr);
  EXPECT_EQ(map.size(), 2u);
}

}  // namespace
