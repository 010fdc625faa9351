// Host text helpers: the character map and the special characters, the
// script ranges, text operands, the character context of a run, and the
// code-page and attribute services they rest on.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/qapi/attr_sets.h"
#include "plugin/qapi/code_pages.h"
#include "plugin/qapi/host_text.h"
#include "plugin/qapi/q_font_list.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/qapi/text_style_table.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

TEST(CharClass, InRangesAtItsBoundaries) {
  EXPECT_FALSE(CharClass::InRanges(0, 0x3FFF));
  EXPECT_TRUE(CharClass::InRanges(0, 0x4000));
  EXPECT_TRUE(CharClass::InRanges(0, 0x71FF));
  EXPECT_FALSE(CharClass::InRanges(0, 0x7200));
  EXPECT_FALSE(CharClass::InRanges(0, 0x8E01));
  EXPECT_TRUE(CharClass::InRanges(0, 0x8E02));
  EXPECT_TRUE(CharClass::InRanges(0, 0xD8F0));
  EXPECT_FALSE(CharClass::InRanges(0, 0xD8F1));
  for (int script : {1, 2, 3, 25}) {
    EXPECT_TRUE(CharClass::InRanges(script, 0));
    EXPECT_TRUE(CharClass::InRanges(script, 0xFFFF));
  }
  for (int script : {4, 24, 26, 126, -1}) EXPECT_FALSE(CharClass::InRanges(script, 0x5000));
}

TEST(SpecialCharTable, LooksUpByCodeAndByName) {
  EXPECT_EQ(SpecialCharTable::FindByCode(0x09), &SpecialCharTable::kTable[2]);
  EXPECT_EQ(SpecialCharTable::FindByCode(0x1E), &SpecialCharTable::kTable[3]);
  const SpecialChar* last = SpecialCharTable::FindByCode(0x01);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->pageKind, kXTOpPageLast);
  EXPECT_EQ(std::u16string(last->variant), u"Last");
  EXPECT_EQ(SpecialCharTable::FindByCode(0x02)->pageKind, kXTOpPageCurrent);
  EXPECT_EQ(SpecialCharTable::FindByCode(0x03)->pageKind, kXTOpPageNext);
  EXPECT_EQ(SpecialCharTable::FindByCode(0x0D), nullptr);

  EXPECT_EQ(SpecialCharTable::Insert(u"tabulator", nullptr), &SpecialCharTable::kTable[2]);
  EXPECT_EQ(SpecialCharTable::Insert(u"tabulator", u"TempIndent"), &SpecialCharTable::kTable[3]);
  EXPECT_EQ(SpecialCharTable::Insert(u"page_number", u"Next"), &SpecialCharTable::kTable[6]);
  EXPECT_EQ(SpecialCharTable::Insert(u"page_number", nullptr), nullptr);  // rows with a variant
  EXPECT_EQ(SpecialCharTable::Insert(u"column_break", u"x"), nullptr);   // a row without one
  EXPECT_EQ(SpecialCharTable::Insert(u"frame_break", nullptr)->code, 0x0C);
  EXPECT_EQ(SpecialCharTable::Insert(u"tab", nullptr), nullptr);
}

TEST(CharMap, FindsByUnicodeInTheMapsOrder) {
  const CharMapEntry* e = CharMap::Find(0x2001);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->code, 0x0F);
  EXPECT_EQ(e->flags, 0x1000000u);  // the control map comes first
  EXPECT_EQ(CharMap::Find(0x000A)->code, 0x07);
  EXPECT_EQ(CharMap::Find(0x00AD)->code, 0x1F);
  EXPECT_EQ(CharMap::Find(0x00A0)->code, 0x20);
  EXPECT_EQ(CharMap::Find(0x2011)->code, 0x2D);
  EXPECT_EQ(CharMap::Find(0x2013)->code, 0x96);
  EXPECT_EQ(CharMap::Find(0x2015)->code, 0x96);
  EXPECT_EQ(CharMap::Find(0x200A)->code, 0x10);
  // Entries that only class a code map nothing.
  EXPECT_EQ(CharMap::Find(0x001C), nullptr);
  EXPECT_EQ(CharMap::Find(0x001D), nullptr);
  EXPECT_EQ(CharMap::Find(0x0000), nullptr);
  EXPECT_EQ(CharMap::Find(u'A'), nullptr);
}

TEST(CharMap, FindsByCodeAndVariant) {
  EXPECT_EQ(CharMap::FindByFlag(0x20, 1)->unicode, 0x00A0);
  EXPECT_EQ(CharMap::FindByFlag(0x20, 0), nullptr);
  EXPECT_EQ(CharMap::FindByFlag(0x2D, 1)->unicode, 0x2011);
  EXPECT_EQ(CharMap::FindByFlag(0x41, 1), nullptr);
  // 0x0F: the one-entry map for the variant, the control map otherwise.
  EXPECT_EQ(CharMap::FindByFlag(0x0F, 1)->flags, 0x1000001u);
  EXPECT_EQ(CharMap::FindByFlag(0x0F, 0)->flags, 0x1000000u);
  EXPECT_EQ(CharMap::FindByFlag(0x0F, 0)->unicode, 0x2001);
  const CharMapEntry* tab = CharMap::FindByFlag(0x09, 0);
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(tab->flags, CharMap::kLineEnd);
  EXPECT_EQ(tab->unicode, 0x0009);
  EXPECT_EQ(CharMap::FindByFlag(0x09, 1), nullptr);
  EXPECT_EQ(CharMap::FindByFlag(0x1C, 0)->flags, 0x4000000u);
  EXPECT_EQ(CharMap::FindByFlag(0x1D, 0)->unicode, 0x1D);
  EXPECT_EQ(CharMap::FindByFlag(0x0B, 0)->flags, 0x10000000u);
  EXPECT_EQ(CharMap::FindByFlag(0x02, 0)->flags, 0x20000000u);
  EXPECT_EQ(CharMap::FindByFlag(0x1B, 0)->flags, 0x40000000u);
  EXPECT_EQ(CharMap::FindByFlag(0x14, 0)->flags, 0x2000000u);
}

TEST(CharMap, ReservedCodes) {
  for (int list : {0, 1}) {
    EXPECT_TRUE(CharMap::IsReserved(0x85, list));
    EXPECT_TRUE(CharMap::IsReserved(0x80, list));
    EXPECT_TRUE(CharMap::IsReserved(0x9F, list));
    EXPECT_FALSE(CharMap::IsReserved(0x7F, list));
    EXPECT_FALSE(CharMap::IsReserved(0xA0, list));
    for (uint16_t code : {0x000A, 0x001F, 0x2000, 0x2001, 0x2011}) {
      EXPECT_TRUE(CharMap::IsReserved(code, list)) << code;
    }
    EXPECT_FALSE(CharMap::IsReserved(0x2002, list));
  }
}

TEST(DumpTextOperand, KeepsReplacesOrZeroes) {
  DocHost host;
  host.Open("doc_brochure.json");
  StoryRuns runs(1);
  uint32_t operand = 0x414B4207;
  EXPECT_FALSE(DumpTextOperand(runs, operand));
  EXPECT_EQ(operand, 0x414B4207u);
  operand = 1;
  EXPECT_TRUE(DumpTextOperand(runs, operand));
  EXPECT_EQ(operand, static_cast<uint32_t>(runs.textRef));
  EXPECT_NE(operand, 0u);
  {
    LogCapture log;
    operand = 0x64;
    EXPECT_TRUE(DumpTextOperand(runs, operand));
    EXPECT_EQ(operand, 0u);
    EXPECT_EQ(log.Text(), "");
  }
  LogCapture log;
  operand = 0xE5;
  EXPECT_TRUE(DumpTextOperand(runs, operand));
  EXPECT_EQ(operand, 0u);
  EXPECT_EQ(log.Text(), "\nnon-usual optype=e0  opcode=e5\n");
}

TEST(MakeHostTextRecord, CodePagesOfTheRunsFont) {
  DocHost host;
  host.Open("doc_brochure.json");
  QFontList fonts;
  StoryRunIterator it(1);
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, it);
  HostTextRecord first = MakeHostTextRecord(pos, fonts, 42, true);
  EXPECT_EQ(first.range.count, 1u);
  EXPECT_EQ(first.range.pointer, &fonts);
  EXPECT_EQ(first.value, 42);
  EXPECT_EQ(first.attributes.font, 5);
  EXPECT_EQ(first.word, 2);  // the heading's paragraph style
  // Every font is listed under script 126, which names no code page.
  EXPECT_EQ(first.fontCodePage, 0xFFFF);
  EXPECT_EQ(first.runCodePage, 0xFFFF);
  EXPECT_EQ(first.codePage, 0xFFFF);
  EXPECT_EQ(first.scriptTest, 0);

  // The anchored box's font 17 is not in the list: a log line.
  while (it.HasMore(pos) && it.CurrentStyle(pos) != 7) it.Advance(pos);
  LogCapture log;
  HostTextRecord anchored = MakeHostTextRecord(pos, fonts, 0, false);
  EXPECT_EQ(anchored.attributes.opcode, kXTOpAnchoredBox);
  EXPECT_EQ(anchored.attributes.object, 4);
  EXPECT_EQ(log.Text(), "##### fontID 11  (17) is not found will return something\n");
}

TEST(MakeHostTextRecord, ARunNamingItsOwnScript) {
  DocHost host;
  host.Open("doc_template.json");  // Roman script, region 24
  QFontList fonts;
  StoryRunIterator it(1);
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, it);
  const HostTextRecord withFont = MakeHostTextRecord(pos, fonts, 0, true);
  EXPECT_EQ(withFont.runCodePage, 1254);
  EXPECT_EQ(withFont.fontCodePage, 1254);  // the font has none: the run's
  EXPECT_EQ(withFont.codePage, 1254);
  const HostTextRecord without = MakeHostTextRecord(pos, fonts, 0, false);
  EXPECT_EQ(without.codePage, 10081);  // the Mac half
}

TEST(HostCallAdapter, ReferenceZeroIsTheCurrentBoxsStory) {
  DocHost host;
  host.Open("doc_brochure.json");
  EXPECT_EQ(HostCallAdapter(0, kXTAttrColor, 2), kXTOk);
  xthost::DocumentContent& c = host.content();
  EXPECT_EQ(c.attributes[c.FindStory(1)->AttributesAt(0)].color, 2);
  EXPECT_EQ(c.attributes[c.FindStory(1)->AttributesAt(6)].color, 0);
  c.text_open = false;
  c.selection_end = 0;
  EXPECT_EQ(HostCallAdapter(0, kXTAttrColor, 1), kXTErrParam);
}

TEST(HostAttrRecord, CopiesTwentyEightWordsAndTheFlags) {
  XTCharAttrRecord from{};
  std::memset(&from, 0x5A, sizeof from);
  HostAttrRecord copy;
  copy.Assign(from, 1, 0);
  EXPECT_EQ(copy.record.object, from.object);
  EXPECT_EQ(copy.record.reserved[71], 0x5A);
  EXPECT_EQ(copy.record.reserved[72], 0);  // the last word is not copied
  EXPECT_EQ(copy.flag1, 1);
  EXPECT_EQ(copy.flag2, 0);

  HostFontRecord font;
  Mixer::AppendBoundedWide(font.name, u"Arial");
  const BoundedWideText<255> name = CopyHostFontRecord(font);
  EXPECT_EQ(std::u16string(name.text), u"Arial");
  EXPECT_EQ(name.mMaxLen, 255u);
}

TEST(CodePages, ScriptsRegionsAndRecords) {
  EXPECT_EQ(CodePagesOfScript(0, 24), (CodePagePair{1254, 10081}));
  EXPECT_EQ(CodePagesOfScript(0, 0), (CodePagePair{1252, 10000}));
  EXPECT_EQ(CodePagesOfScript(0, 47), (CodePagePair{1252, 10079}));
  EXPECT_EQ(CodePagesOfScript(0, 25), (CodePagePair{1250, 10082}));
  EXPECT_EQ(CodePagesOfScript(29, 44), (CodePagePair{1257, 10029}));
  EXPECT_EQ(CodePagesOfScript(29, 0), (CodePagePair{1250, 10029}));
  EXPECT_EQ(CodePagesOfScript(40, 0), (CodePagePair{0xFFFF, 0xFFFF}));
  EXPECT_EQ(CodePagesOfScript(0x10000, 0), (CodePagePair{1252, 10000}));  // a 16-bit 0
  EXPECT_EQ(CodePagesOfScript(25, 0), (CodePagePair{936, 10008}));
  EXPECT_EQ(WinCodePageOf(1), 932u);
  EXPECT_EQ(WinCodePageOf(126), 0xFFFFu);
  EXPECT_EQ(DefaultCodePage(true), 10000u);
  EXPECT_EQ(DefaultCodePage(false), 1252u);

  XTCharAttrRecord record{};
  record.font = 3;
  EXPECT_EQ(CodePagesOfCharAttrib(record, 0xFFFF, 0), (CodePagePair{0xFFFF, 0xFFFF}));
  EXPECT_EQ(CodePagesOfCharAttrib(record, 0xFFFF, 32), (CodePagePair{0xFFFF, 0xFFFF}));
  EXPECT_EQ(CodePagesOfCharAttrib(record, 0xFFFF, 7), (CodePagePair{1251, 10007}));
  record.flags = kXTCharOwnScript;
  record.script = 0;
  record.region = 24;
  EXPECT_EQ(CodePagesOfCharAttrib(record, 0xFFFF, 7), (CodePagePair{1254, 10081}));
  record.font = 0x8001;  // a negative font id: only its own script counts
  EXPECT_EQ(CodePagesOfCharAttrib(record, 5, 7), (CodePagePair{1254, 10081}));
  record.flags = 0;
  CodePagePair out;
  CodePagesOfCharAttrib(out, record, 5, 7);
  EXPECT_EQ(out, (CodePagePair{5, 5}));
}

TEST(Attributes, NumbersAndFaceRows) {
  struct Set : AttrWriter {
    std::u16string value;
    bool SetAttr(const char16_t*, const char16_t* v) override {
      value = v;
      return true;
    }
  } set;
  EXPECT_TRUE(SetNumericAttr(set, u"n", 255, true));
  EXPECT_EQ(set.value, u"ff");
  SetNumericAttr(set, u"n", 255, false);
  EXPECT_EQ(set.value, u"255");
  SetNumericAttr(set, u"n", -1, true);
  EXPECT_EQ(set.value, u"ffffffff");
  SetNumericAttr(set, u"n", -2147483647 - 1, false);
  EXPECT_EQ(set.value, u"-2147483648");

  EXPECT_EQ(TextStyleMask(), 0x1F7F);
  EXPECT_EQ(std::u16string(TextStyleTable[11].set), u"by_word");
  EXPECT_EQ(TextStyleTable[5].group, 1u);
}

}  // namespace
