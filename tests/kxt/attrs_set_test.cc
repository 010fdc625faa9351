// Attribute sets: defaults, the kept groups, base sets (cycles included),
// enumeration with scopes, the numeric parse and the stored form.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/ole_storage.h"
#include "kxt/attrs_set.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt_test_util.h"
#include "tests/common/temp_dir.h"

namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

std::u16string Text(const char16_t* text) { return text == nullptr ? u"<null>" : std::u16string(text); }

class Recorder : public KXT_AttrsSet::AttrsReceiver {
 public:
  explicit Recorder(size_t stopAfter = SIZE_MAX) : stopAfter_(stopAfter) {}
  bool Receive(const char16_t* name, const char16_t* value) override {
    seen.emplace_back(name, value);
    return seen.size() < stopAfter_;
  }
  Pairs seen;

 private:
  size_t stopAfter_;
};

// ASCII text of a UTF-16 string, for messages.
std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

class AttrsSetTest : public ::testing::Test {
 protected:
  std::u16string Get(const KXT_AttrsSet& s, const char16_t* name) { return Text(s.GetAttrValue(name, map)); }
  // Owned through pointers: their destructors may raise, the fixture's not.
  std::unique_ptr<KXT_StringsMap> mapOwner = std::make_unique<KXT_StringsMap>();
  std::unique_ptr<KXT_AttrsSet> setOwner = std::make_unique<KXT_AttrsSet>();
  KXT_StringsMap& map = *mapOwner;
  KXT_AttrsSet& set = *setOwner;
};

TEST_F(AttrsSetTest, DefaultsAreTheEighteenInOrder) {
  set.SetDefaultValues(map);
  Recorder all;
  EXPECT_TRUE(set.EnumAttrs(all, map, nullptr));
  // Names are numbered in the order they were added, and the enumeration
  // follows the name numbers.
  const Pairs expected = {
      {u"source_data_type", u"unknown"}, {u"field_id", u"-1"},      {u"index_id", u"-1"},
      {u"table_id", u"-1"},              {u"row_id", u"-1"},        {u"cell_id", u"-1"},
      {u"cell_width", u"-1"},            {u"listlevel", u"0"},      {u"codepage", u"0xFFFF"},
      {u"direction", u"left-to-right"},  {u"bold", u"off"},         {u"italic", u"off"},
      {u"outline", u"off"},              {u"overline", u"off"},     {u"strike", u"off"},
      {u"shadow", u"off"},               {u"hidden", u"off"},       {u"variable_name", u""}};
  EXPECT_EQ(all.seen, expected);
}

TEST_F(AttrsSetTest, ColourGroupsAreKeptComplete) {
  set.AddAttr(u"fore_color_red", u"255", map);
  EXPECT_EQ(Get(set, u"fore_color_red"), u"255");
  EXPECT_EQ(Get(set, u"fore_color_green"), u"0");
  EXPECT_EQ(Get(set, u"fore_color_blue"), u"0");
  EXPECT_EQ(Get(set, u"fore_color_cyan"), u"<null>");

  set.AddAttr(u"fore_color_cyan", u"5", map);
  set.AddAttr(u"fore_color_green", u"7", map);
  EXPECT_EQ(Get(set, u"fore_color_red"), u"255") << "defined members are not reset";
  EXPECT_EQ(Get(set, u"fore_color_black"), u"0");

  set.AddAttr(u"fore_color_red", u"", map);
  for (const char16_t* name : {u"fore_color_red", u"fore_color_green", u"fore_color_blue"}) {
    EXPECT_EQ(Get(set, name), u"") << Narrow(Text(name));
  }
  EXPECT_EQ(Get(set, u"fore_color_cyan"), u"5") << "the CMYK group is untouched";
}

TEST_F(AttrsSetTest, HyphenCharBringsAHyphenType) {
  set.AddAttr(u"hyphen_char", u"-", map);
  EXPECT_EQ(Get(set, u"hyphen_type"), u"normal");
  KXT_AttrsSet other;
  KXT_AttrsSet base;
  base.AddAttr(u"hyphen_type", u"manual", map);
  other.DefineBaseAttrsSet(&base);
  other.AddAttr(u"hyphen_char", u"=", map);
  EXPECT_EQ(Get(other, u"hyphen_type"), u"manual");
  KXT_AttrsSet empty;
  empty.AddAttr(u"hyphen_char", u"", map);
  EXPECT_EQ(Get(empty, u"hyphen_type"), u"<null>");
}

TEST_F(AttrsSetTest, NullsChangeAndInternNothing) {
  set.AddAttr(nullptr, u"x", map);
  set.AddAttr(u"x", nullptr, map);
  EXPECT_EQ(map.size(), 0u);
  Recorder none;
  EXPECT_TRUE(set.EnumAttrs(none, map, nullptr));
  EXPECT_TRUE(none.seen.empty());
  EXPECT_EQ(set.GetAttrValue(nullptr, map), nullptr);
}

TEST_F(AttrsSetTest, UndefAndRedefine) {
  KXT_AttrsSet base;
  base.AddAttr(u"bold", u"on", map);
  base.AddAttr(u"note", u"", map);
  set.DefineBaseAttrsSet(&base);
  set.AddUndefAttr(u"bold", u"off", map);
  set.AddUndefAttr(u"italic", u"on", map);
  EXPECT_EQ(Get(set, u"bold"), u"on");
  EXPECT_EQ(Get(set, u"italic"), u"on");
  set.RedefineAttr(u"bold", u"off", map);   // defined and not empty: replaced
  set.RedefineAttr(u"note", u"text", map);  // empty: kept
  set.RedefineAttr(u"gone", u"text", map);  // undefined: kept
  EXPECT_EQ(Get(set, u"bold"), u"off");
  EXPECT_EQ(Get(base, u"bold"), u"on");
  EXPECT_EQ(Get(set, u"note"), u"");
  EXPECT_EQ(Get(set, u"gone"), u"<null>");
}

TEST_F(AttrsSetTest, EnumerationWithAndWithoutScope) {
  KXT_AttrsSet base;
  base.AddAttr(u"bold", u"off", map);
  base.AddAttr(u"size", u"12", map);
  set.AddAttr(u"bold", u"on", map);
  set.DefineBaseAttrsSet(&base);

  Recorder all;
  EXPECT_TRUE(set.EnumAttrs(all, map, nullptr));
  EXPECT_EQ(all.seen, (Pairs{{u"bold", u"on"}, {u"bold", u"off"}, {u"size", u"12"}}));
  Recorder scoped;
  EXPECT_TRUE(set.EnumAttrs(scoped, map, &set));
  EXPECT_EQ(scoped.seen, (Pairs{{u"bold", u"on"}, {u"size", u"12"}}));
  Recorder stopped(1);
  EXPECT_FALSE(set.EnumAttrs(stopped, map, nullptr));
  EXPECT_EQ(stopped.seen.size(), 1u);
}

TEST_F(AttrsSetTest, BasesThatCloseALoopAreIgnored) {
  set.AddAttr(u"own", u"1", map);
  set.DefineBaseAttrsSet(&set);
  EXPECT_EQ(set.BaseAttrsSet(), nullptr);

  KXT_AttrsSet a, b;
  a.AddAttr(u"a", u"1", map);
  b.AddAttr(u"b", u"2", map);
  b.DefineBaseAttrsSet(&a);
  set.DefineBaseAttrsSet(&b);
  a.DefineBaseAttrsSet(&set);  // set -> b -> a -> set: refused
  EXPECT_EQ(a.BaseAttrsSet(), nullptr);
  EXPECT_EQ(set.BaseAttrsSet(), &b);
  EXPECT_EQ(Get(set, u"a"), u"1");
  EXPECT_EQ(Get(a, u"missing"), u"<null>");
  Recorder all;
  EXPECT_TRUE(set.EnumAttrs(all, map, &set));
  EXPECT_EQ(all.seen.size(), 3u);
}

TEST(NumericValueTest, ParsesDecimalAndHexadecimalText) {
  struct Case {
    const char16_t* text;
    bool ok;
    int32_t value;
  };
  const Case cases[] = {
      {u"42", true, 42},
      {u"-42", true, -42},
      {u"  +7 pt", true, 7},
      {u"0x1F", true, 31},
      {u"0xFFFF", true, 65535},
      {u"0x", true, 0},      // no hex digit: the decimal parse reads the 0
      {u"0xg", true, 0},
      {u"0X1F", true, 0},    // only a lower-case x counts as the prefix
      {u"0xFFFFFFFF", true, -1},
      {u"0x-5", true, -5},
      {u"4294967296", true, 0},            // read into 64 bits, then narrowed
      {u"99999999999", true, 1215752191},  // 0x174876E7FF -> 0x4876E7FF
      {u"-2147483648", true, INT32_MIN},
      {u"abc", false, 0},
      {u"", false, 0},
      {nullptr, false, 0},
      {u"\x0131", false, 0},  // its low byte is '1', but it is no digit
      {u"\x0120" u"5", false, 0},  // nor is it a blank
      {u"12\x0133", true, 12},
  };
  for (const Case& c : cases) {
    int32_t result = 1234;
    EXPECT_EQ(KXT_AttrsSet::GetNumericValue(c.text, result), c.ok) << Narrow(Text(c.text));
    EXPECT_EQ(result, c.ok ? c.value : 1234) << Narrow(Text(c.text));
  }
  // Only the first 255 units count.
  std::u16string longText(300, u'1');
  longText.replace(0, 254, 254, u' ');
  int32_t result = 0;
  EXPECT_TRUE(KXT_AttrsSet::GetNumericValue(longText.c_str(), result));
  EXPECT_EQ(result, 1);
  longText[254] = u' ';
  EXPECT_FALSE(KXT_AttrsSet::GetNumericValue(longText.c_str(), result));
}

// Sets stored into and restored from a container.
class StoredSetTest : public ::testing::Test {
 protected:
  // Writes the records (name number, value number) as "Attrs{}", below the
  // attribute set, and opens the container again.
  KXT_InFolder2& WriteRecords(const std::vector<std::pair<int32_t, int32_t>>& records) {
    {
      OLEStorage root(path.c_str(), kOLECreate);
      KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
      KXT_Handle<KXT_OutFolder2> out = storage->CreateKXTFolder2();
      KXT_Handle<KXT_OutBundle2> bundle = out->CreateBundle2(KXT_Attr_Rec(), "Attrs{}", 0);
      KXT_Attr_Rec_Out record;
      for (const auto& r : records) {
        record.m_NameRef = r.first;
        record.m_ValueRef = r.second;
        bundle->PutRecord(record);
      }
    }
    file = std::make_unique<OLEStorage>(path.c_str(), kOLERead);
    KXT_Handle<KXT_InStorage2> storage(OpenKXT2(*file));
    top = storage->OpenKXTFolder2();
    return *top;
  }

  testutil::TempDir dir;
  std::string path = dir.File("attrs.kxt");
  std::unique_ptr<OLEStorage> file;
  std::unique_ptr<KXT_Handle<KXT_InFolder2>> topOwner = std::make_unique<KXT_Handle<KXT_InFolder2>>();
  KXT_Handle<KXT_InFolder2>& top = *topOwner;
};

// The set's own entries (its base detached for the while).
Pairs Own(KXT_AttrsSet& set, const KXT_StringsMap& map) {
  const KXT_AttrsSet* base = set.BaseAttrsSet();
  set.DefineBaseAttrsSet(nullptr);
  Recorder own;
  set.EnumAttrs(own, map, nullptr);
  set.DefineBaseAttrsSet(base);
  return own.seen;
}

TEST_F(StoredSetTest, PlacementMembersComeOnlyWhereTheChainLacksThem) {
  KXT_StringsMap map;
  const int32_t height = map[u"height"];
  const int32_t twenty = map[u"20"];
  KXT_AttrsSet_In base;  // defines height alone, as no AddAttr could
  ASSERT_TRUE(base.Restore(WriteRecords({{height, twenty}}), "Attrs{}"));
  KXT_AttrsSet set;
  set.DefineBaseAttrsSet(&base);
  set.AddAttr(u"width", u"100", map);
  Pairs own = Own(set, map);
  std::sort(own.begin(), own.end());
  EXPECT_EQ(own, (Pairs{{u"angle", u"0"}, {u"horizontal_pos", u"0"}, {u"sectional_pos", u"0"},
                        {u"vertical_pos", u"0"}, {u"width", u"100"}}));
  EXPECT_EQ(Text(set.GetAttrValue(u"height", map)), u"20");

  // Clearing one member clears every member that is defined and not empty,
  // here or in the base; the base's member gets an empty entry here.
  set.AddAttr(u"sectional_pos", u"", map);
  own = Own(set, map);
  EXPECT_EQ(own.size(), 6u);
  for (const auto& p : own) EXPECT_EQ(p.second, u"");
  EXPECT_EQ(Text(set.GetAttrValue(u"height", map)), u"");
  EXPECT_EQ(Text(base.GetAttrValue(u"height", map)), u"20");
}

TEST_F(AttrsSetTest, CompletedMembersAreNumberedInGroupOrder) {
  // The strings map's numbers are written to the container: the member
  // added first, then the others in the group's order, then "0".
  set.AddAttr(u"height", u"7", map);
  Recorder all;
  set.EnumAttrs(all, map, nullptr);
  EXPECT_EQ(all.seen, (Pairs{{u"height", u"7"}, {u"sectional_pos", u"0"}, {u"vertical_pos", u"0"},
                             {u"horizontal_pos", u"0"}, {u"width", u"0"}, {u"angle", u"0"}}));
  EXPECT_EQ(map.find(u"0"), map.find(u"sectional_pos") + 1);
}

TEST_F(StoredSetTest, StoresByNameNumberAndRestoresOverExistingEntries) {
  KXT_StringsMap map;
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Handle<KXT_OutFolder2> out = storage->CreateKXTFolder2();
    map[u"z"];  // 0
    KXT_AttrsSet_Out set;
    set.AddAttr(u"bold", u"on", map);     // names 1, values 2
    set.AddAttr(u"z", u"last", map);      // 0 -> 3
    set.AddAttr(u"codepage", u"1200", map);
    set.Store(*out, "Attrs{}");
    KXT_AttrsSet_Out empty;
    empty.Store(*out, "Empty{}");
  }
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  top = storage->OpenKXTFolder2();
  {
    // The records, read below the attribute set: ascending name numbers.
    KXT_Attr_Rec_In record;
    KXT_Handle<KXT_InBundle2> bundle = top->OpenBundle2(record, "Attrs{}", 0);
    ASSERT_TRUE(bundle);
    std::vector<std::pair<int32_t, int32_t>> records;
    while (bundle->GetRecord(record)) records.emplace_back(record.m_NameRef, record.m_ValueRef);
    EXPECT_EQ(records, (std::vector<std::pair<int32_t, int32_t>>{{0, 3}, {1, 2}, {4, 5}}));
  }
  KXT_AttrsSet_In set;
  set.SetDefaultValues(map);
  set.AddAttr(u"other", u"kept", map);
  ASSERT_TRUE(set.Restore(*top, "Attrs{}"));
  EXPECT_EQ(Text(set.GetAttrValue(u"bold", map)), u"on");
  EXPECT_EQ(Text(set.GetAttrValue(u"codepage", map)), u"1200");
  EXPECT_EQ(Text(set.GetAttrValue(u"z", map)), u"last");
  EXPECT_EQ(Text(set.GetAttrValue(u"italic", map)), u"off") << "a default the bundle does not mention";
  EXPECT_EQ(Text(set.GetAttrValue(u"other", map)), u"kept");

  KXT_AttrsSet_In none;
  EXPECT_TRUE(none.Restore(*top, "Empty{}"));
  EXPECT_FALSE(none.Restore(*top, "Missing{}"));
  Recorder nothing;
  none.EnumAttrs(nothing, map, nullptr);
  EXPECT_TRUE(nothing.seen.empty());
}

TEST_F(StoredSetTest, NumbersTheMapDoesNotKnowAreUndefined) {
  KXT_InFolder2& folder = WriteRecords({{-1, 0}, {0, 77}, {1, 0}});
  KXT_StringsMap map;
  map[u"known"];  // 0
  map[u"also"];   // 1
  KXT_AttrsSet_In set;
  ASSERT_TRUE(set.Restore(folder, "Attrs{}"));
  EXPECT_EQ(set.GetAttrValue(u"unknown", map), nullptr) << "not the entry stored under -1";
  EXPECT_EQ(set.GetAttrValue(u"known", map), nullptr) << "value 77 is no string";
  EXPECT_EQ(Text(set.GetAttrValue(u"also", map)), u"known");
  Recorder all;
  EXPECT_TRUE(set.EnumAttrs(all, map, nullptr));
  EXPECT_EQ(all.seen, (Pairs{{u"also", u"known"}}));
}

}  // namespace
