// Size and baseline shift as "size" and "shift" attributes and back, and
// the comparison that applies a record to the current text.
#include <gtest/gtest.h>

#include <map>

#include "plugin/qapi/host_text.h"
#include "plugin/qapi/size_shift.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

struct FakeAttrs : AttrWriter, AttrReader {
  std::vector<std::pair<std::u16string, std::u16string>> written;
  std::map<std::u16string, std::u16string> values;
  bool refuse = false;
  bool SetAttr(const char16_t* name, const char16_t* value) override {
    if (refuse) return false;
    written.emplace_back(name, value);
    values[name] = value;
    return true;
  }
  std::u16string GetAttr(const char16_t* name) override {
    auto it = values.find(name);
    return it == values.end() ? u"" : it->second;
  }
};

XTCharAttrRecord Record(double points, int32_t shift, uint16_t faces = 0) {
  XTCharAttrRecord r{};
  r.size = static_cast<int32_t>(points * 65536);
  r.shift = shift;
  r.faces = faces;
  return r;
}

class SizeShift : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Open("doc_brochure.json");  // "Brenix" selected: Arial 18 bold
  }
  // The attributes of the selected text as the host holds them.
  const XTCharAttrRecord& Selected() {
    xthost::DocumentContent& c = host_.content();
    return c.attributes[c.SelectedStory()->AttributesAt(c.selection_start)];
  }
  DocHost host_;
};

TEST_F(SizeShift, RecordsToAttributes) {
  struct Case {
    XTCharAttrRecord record;
    std::u16string shift;
    std::u16string size;
  } cases[] = {
      {Record(12, 0), u"0", u"24"},
      // 9.5 points shifted by a quarter: 2.375 points, 4.75 half points.
      {Record(9.5, 0x4000), u"-5", u"19"},
      {Record(12, -0x8000), u"12", u"24"},
      {Record(12.25, 0), u"0", u"25"},  // 24.5 half points, rounded away from 0
      {Record(0, 0), u"0", u"1"},       // at least 1
      {Record(12, 0x4000, 0x0020), u"top", u"24"},
      {Record(12, 0x4000, 0x0040), u"bottom", u"24"},
      {Record(12, 0, 0x0100), u"top", u"24"},
      {Record(12, 0, 0x0121), u"top", u"24"},
      {Record(12, 0, 0x0140), u"bottom", u"24"},
      {Record(12, 0x4000, 0x0060), u"-6", u"24"},  // no row of its own: numeric
  };
  for (const Case& c : cases) {
    FakeAttrs attrs;
    EXPECT_TRUE(GetSizeShiftAttrs(c.record, attrs));
    ASSERT_EQ(attrs.written.size(), 2u);
    EXPECT_EQ(attrs.written[0].first, u"shift");
    EXPECT_EQ(attrs.written[1].first, u"size");
    EXPECT_EQ(attrs.written[0].second, c.shift) << c.record.size << " " << c.record.shift;
    EXPECT_EQ(attrs.written[1].second, c.size) << c.record.size;
  }
  FakeAttrs refusing;
  refusing.refuse = true;
  EXPECT_FALSE(GetSizeShiftAttrs(Record(12, 0), refusing));
}

TEST_F(SizeShift, AttributesBackToTheCurrentText) {
  XTCharAttrRecord record = Selected();
  FakeAttrs attrs;
  attrs.values = {{u"size", u"20"}, {u"shift", u"-4"}};
  uint16_t bits = 0xFFFF;
  ASSERT_TRUE(SetSizeShiftAttrs(record, attrs, &bits));
  EXPECT_EQ(bits, 0);
  EXPECT_EQ(record.size, 10 << 16);
  EXPECT_EQ(Selected().size, 10 << 16);
  EXPECT_EQ(Selected().shift, record.shift);
  EXPECT_EQ(Selected().faces, 1);
  // And out again: the same attributes.
  FakeAttrs out;
  GetSizeShiftAttrs(Selected(), out);
  EXPECT_EQ(out.values, attrs.values);

  // Taken as they are: nothing changes in the host.
  const std::size_t tables = host_.content().attributes.size();
  ASSERT_TRUE(SetSizeShiftAttrs(record, attrs, &bits));
  EXPECT_EQ(host_.content().attributes.size(), tables);
}

TEST_F(SizeShift, SizeKeepsTheAbsoluteShift) {
  XTCharAttrRecord record = Selected();
  record.shift = 0x4000;  // a quarter of 18 points
  FakeAttrs attrs;
  attrs.values = {{u"size", u"72"}, {u"shift", u"-9"}};  // 36 points; -4.5 points
  ASSERT_TRUE(SetSizeShiftAttrs(record, attrs));
  EXPECT_EQ(record.size, 36 << 16);
  EXPECT_EQ(record.shift, 0x2000);  // an eighth of 36 points: still 4.5 points
  EXPECT_EQ(Selected().shift, 0x2000);
}

TEST_F(SizeShift, KeywordsGiveStyleBitsByRow) {
  const struct {
    uint16_t faces;
    const char16_t* shift;
    uint16_t bits;
  } cases[] = {
      {0x0000, u"top", 0x120},    {0x0000, u"bottom", 0x140}, {0x0020, u"top", 0x020},
      {0x0020, u"bottom", 0x040}, {0x0100, u"top", 0x100},    {0x0100, u"bottom", 0x140},
      {0x0040, u"top", 0x000},    {0x0120, u"bottom", 0x000},
  };
  for (const auto& c : cases) {
    XTCharAttrRecord record = Selected();
    record.faces = c.faces;
    FakeAttrs attrs;
    attrs.values = {{u"size", u"36"}, {u"shift", c.shift}};
    uint16_t bits = 0xFFFF;
    EXPECT_TRUE(SetSizeShiftAttrs(record, attrs, &bits));
    EXPECT_EQ(bits, c.bits) << c.faces;
  }
}

TEST_F(SizeShift, ValuesNotTakenLeaveTheRecord) {
  for (const char16_t* size : {u"0", u"10000", u"-3", u"abc", u"", u"12.5"}) {
    XTCharAttrRecord record = Selected();
    FakeAttrs attrs;
    attrs.values = {{u"size", size}, {u"shift", u"0"}};
    EXPECT_FALSE(SetSizeShiftAttrs(record, attrs));
    EXPECT_EQ(record.size, 18 << 16);
    EXPECT_EQ(Selected().size, 18 << 16);
  }
  for (const char16_t* shift : {u"10000", u"-10000", u"up"}) {
    XTCharAttrRecord record = Selected();
    FakeAttrs attrs;
    attrs.values = {{u"size", u"36"}, {u"shift", shift}};
    EXPECT_FALSE(SetSizeShiftAttrs(record, attrs));
    EXPECT_EQ(record.shift, 0);
  }
  // No shift for a shifted record of row 0: not taken.
  XTCharAttrRecord shifted = Selected();
  shifted.shift = 0x1000;
  FakeAttrs none;
  none.values = {{u"size", u"36"}};
  EXPECT_FALSE(SetSizeShiftAttrs(shifted, none));
}

TEST_F(SizeShift, AZeroSizeTakesNoNumericShift) {
  XTCharAttrRecord record = Selected();
  record.size = 0;
  FakeAttrs attrs;
  attrs.values = {{u"shift", u"5"}};  // and no size
  EXPECT_FALSE(SetSizeShiftAttrs(record, attrs));
  EXPECT_EQ(record.size, 0);
  EXPECT_EQ(record.shift, 0);
  EXPECT_EQ(Selected().shift, 0);
}

TEST_F(SizeShift, CompareAppliesWhatDiffers) {
  uint16_t bits = 0xFFFF;
  XTCharAttrRecord record = Selected();
  EXPECT_FALSE(CompareCharRecord(record, &bits));
  EXPECT_EQ(bits, 0);

  record.size = 10 << 16;
  record.shift = 0x8000;
  EXPECT_TRUE(CompareCharRecord(record, &bits));
  EXPECT_EQ(Selected().size, 10 << 16);
  EXPECT_EQ(Selected().shift, 0x8000);
  EXPECT_FALSE(CompareCharRecord(record, &bits));  // now alike

  // The shift style rows hand back the bits of their class's row.
  record.faces = 0x0140;
  EXPECT_TRUE(CompareCharRecord(record, &bits));
  EXPECT_EQ(bits, 0x000);
  record.faces = 0x0040;
  EXPECT_TRUE(CompareCharRecord(record, &bits));
  EXPECT_EQ(bits, 0x020);
  record.faces = 0x0100;
  EXPECT_FALSE(CompareCharRecord(record, &bits));
  EXPECT_EQ(bits, 0x100);

  // A record without a size counts as 12 points.
  record.size = 0;
  record.faces = 0;
  EXPECT_TRUE(CompareCharRecord(record, &bits));
  EXPECT_EQ(Selected().size, 12 << 16);
}

TEST_F(SizeShift, HostTextCallbackAppliesFacesAndClearsSpacing) {
  XTCharAttrRecord record = Selected();
  record.faces = 0x0006;  // italic and underlined, not bold
  record.kerning = 5;
  record.tracking = 0;
  xthost::DocumentContent& c = host_.content();
  c.attributes[c.SelectedStory()->AttributesAt(0)].kerning = 3;
  c.attributes[c.SelectedStory()->AttributesAt(0)].tracking = 7;
  EXPECT_EQ(HostTextCallback(0, &record), 0);
  EXPECT_EQ(Selected().faces, 0x0006);
  EXPECT_EQ(Selected().kerning, 0);
  EXPECT_EQ(Selected().tracking, 7);  // the record had none: left alone
  EXPECT_EQ(HostTextCallback(0, nullptr), 0);
}

}  // namespace
