#include "plugin/qapi/host_text.h"

#include <cstring>
#include <ostream>
#include <vector>

#include "plugin/qapi/code_pages.h"
#include "plugin/qapi/q_font_list.h"
#include "plugin/qapi/size_shift.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/qapi/text_style_table.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"

HostTextRecord MakeHostTextRecord(StoryRunPosition& position, QFontList& fontList, int32_t value,
                                  bool useFontCodePage) {
  HostTextRecord text;
  text.range.Set(&fontList, 1);
  text.value = value;
  text.flag = useFontCodePage ? 1 : 0;
  if (position.iterator != nullptr) {
    position.iterator->runs.GetText(position, &text.attributes, &text.word);
  }
  const HostFontRecord* font = fontList.FindFont(text.attributes.font);
  uint32_t fontCodePage = font != nullptr ? font->codePage : kNoCodePage;
  const int script = font != nullptr ? font->script : kHostFontScript;
  const CodePagePair pair = CodePagesOfCharAttrib(text.attributes, kNoCodePage, script);
  if (fontCodePage == kNoCodePage) fontCodePage = pair.windows;
  text.fontCodePage = static_cast<uint16_t>(fontCodePage);
  text.runCodePage = static_cast<uint16_t>(pair.windows);
  text.codePage = static_cast<uint16_t>(useFontCodePage ? fontCodePage : pair.mac);
  text.scriptTest =
      font != nullptr && CharClass::InRanges(font->script, text.attributes.font) ? 1 : 0;
  return text;
}

bool CharClass::InRanges(int script, uint16_t code) {
  switch (script) {
    case 0:
      return (code >= 0x4000 && code <= 0x71FF) || (code >= 0x8E02 && code <= 0xD8F0);
    case 1:
    case 2:
    case 3:
    case 25:
      return true;
    default:
      return false;
  }
}

int32_t HostCallAdapter(XTTextRef textReference, int32_t attributeCode, int32_t value) {
  const HostLink& link = XT();
  if (link.lgf2 == nullptr || link.lgh2 == nullptr) return kXTErrNoSuite;
  if (textReference == 0) {
    XTBox box = 0;
    int32_t story = 0;
    int32_t length = 0;
    int32_t first = 0;
    int32_t document = 0;
    int32_t result = HostCall("current_box", link.lgh2->current_box(&box));
    if (result == kXTOk) result = HostCall("story_of_box", link.lgh2->story_of_box(box, &story));
    if (result == kXTOk) {
      result = HostCall("story_text", link.lgf2->story_text(story, &textReference, &length, &first, &document));
    }
    if (result != kXTOk) return result;
  }
  return link.lgf2->set_text_attribute(textReference, attributeCode, value, 0);
}

int32_t HostTextCallback(XTTextRef textReference, const XTCharAttrRecord* record) {
  if (record == nullptr) return 0;
  const uint16_t mask = TextStyleMask();
  HostAttrRecord copy;
  copy.Assign(*record, 1, 0);
  uint16_t handedBack = 0;
  CompareCharRecord(copy.record, &handedBack);
  const uint16_t differ = (record->faces ^ handedBack) & mask;
  if (differ != 0) HostCallAdapter(textReference, kXTAttrFaces, differ);
  if (record->kerning != 0) HostCallAdapter(textReference, kXTAttrKerning, 0);
  if (record->tracking != 0) HostCallAdapter(textReference, kXTAttrTracking, 0);
  return 0;
}

BoundedWideText<255> CopyHostFontRecord(const HostFontRecord& entry) { return entry.name; }

void HostAttrRecord::Assign(const XTCharAttrRecord& from, uint8_t f1, uint8_t f2) {
  record = XTCharAttrRecord{};
  // The first 28 words; the record's last word is not part of the copy.
  std::memcpy(&record, &from, 28 * 4);
  flag1 = f1;
  flag2 = f2;
}

// --- the special-character table ---

const SpecialChar SpecialCharTable::kTable[kRows] = {
    {0x0B, 0, 0, u"column_break", nullptr},
    {0x0C, 0, 0, u"frame_break", nullptr},
    {0x09, 0, 0, u"tabulator", nullptr},
    {0x1E, 0, 0, u"tabulator", u"TempIndent"},
    {0x1C, 0, 0, u"conditional_style_marker", u"CondStyle"},
    {0x02, kXTOpPageCurrent, 0, u"page_number", u"Curr"},
    {0x03, kXTOpPageNext, 0, u"page_number", u"Next"},
    {0x01, kXTOpPageLast, 0, u"page_number", u"Last"},
};

namespace {

bool SameText(const char16_t* a, const char16_t* b) {
  while (*a != u'\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

}  // namespace

const SpecialChar* SpecialCharTable::FindByCode(uint16_t code) {
  for (const SpecialChar& row : kTable) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

const SpecialChar* SpecialCharTable::Insert(const char16_t* name, const char16_t* variant) {
  if (name == nullptr) return nullptr;
  for (const SpecialChar& row : kTable) {
    if (!SameText(row.name, name)) continue;
    if (variant == nullptr ? row.variant == nullptr
                           : row.variant != nullptr && SameText(row.variant, variant)) {
      return &row;
    }
  }
  return nullptr;
}

// --- the host character map ---

namespace {

constexpr uint32_t kClassDropped = 0x20000000;
constexpr uint32_t kClassControl = 0x40000000;
constexpr uint32_t kClassBreak = 0x10000000;
constexpr uint32_t kClassKept = 0x2000000;
constexpr uint32_t kClassSpecial = 0x4000000;
constexpr uint32_t kMapped = 0x1000000;
constexpr uint32_t kVariantMapped = 0x1000001;
constexpr uint32_t kSpaceMapped = 0x1000002;

const CharMapEntry kControlMap[32] = {
    {kClassDropped, 0x00, 0},      {kClassDropped, 0x01, 0},      {kClassDropped, 0x02, 0},
    {kClassDropped, 0x03, 0},      {kClassDropped, 0x04, 0},      {kClassControl, 0x05, 0},
    {kClassControl, 0x06, 0},      {CharMap::kLineEnd, 0x07, 0x000A},
    {kClassControl, 0x08, 0},      {CharMap::kLineEnd, 0x09, 0x0009},
    {kClassControl, 0x0A, 0},      {kClassBreak, 0x0B, 0},        {kClassBreak, 0x0C, 0},
    {kClassBreak, 0x0D, 0},        {kClassControl, 0x0E, 0},      {kMapped, 0x0F, 0x2001},
    {kMapped, 0x10, 0x2008},       {kClassKept, 0x11, 0},         {kClassKept, 0x12, 0},
    {kClassKept, 0x13, 0},         {kClassKept, 0x14, 0},         {kClassControl, 0x15, 0},
    {kClassControl, 0x16, 0},      {kClassControl, 0x17, 0},      {kClassControl, 0x18, 0},
    {kClassControl, 0x19, 0},      {kClassControl, 0x1A, 0},      {kClassControl, 0x1B, 0},
    {kClassSpecial, 0x1C, 0x001C}, {kClassKept, 0x1D, 0x001D},    {kClassSpecial, 0x1E, 0},
    {kMapped, 0x1F, 0x00AD},
};

const CharMapEntry kVariantMap[2] = {
    {kVariantMapped, 0x20, 0x00A0},
    {kVariantMapped, 0x2D, 0x2011},
};

const CharMapEntry kOneEntryMap = {kVariantMapped, 0x0F, 0x2001};

const CharMapEntry kSpaceMap[12] = {
    {kSpaceMapped, 0x0F, 0x2000}, {kSpaceMapped, 0xA0, 0x2003}, {kSpaceMapped, 0x10, 0x2004},
    {kSpaceMapped, 0x10, 0x2005}, {kSpaceMapped, 0x10, 0x2006}, {kSpaceMapped, 0x0F, 0x2007},
    {kSpaceMapped, 0x10, 0x2009}, {kSpaceMapped, 0x10, 0x200A}, {kSpaceMapped, 0x2D, 0x2010},
    {kSpaceMapped, 0x96, 0x2013}, {kSpaceMapped, 0x97, 0x2014}, {kSpaceMapped, 0x96, 0x2015},
};

const uint16_t kReservedLists[2][5] = {
    {0x000A, 0x001F, 0x2000, 0x2001, 0x2011},
    {0x000A, 0x001F, 0x2000, 0x2001, 0x2011},
};

bool Maps(const CharMapEntry& entry) {
  return (entry.flags & kMapped) != 0 || entry.flags == CharMap::kLineEnd;
}

bool VariantIs(const CharMapEntry& entry, int variant) {
  return static_cast<int>(entry.flags & 1) == variant;
}

}  // namespace

const CharMapEntry* CharMap::Find(uint16_t unicode) {
  // Called for every character imported: the first entry that maps each
  // unicode, in table order, is found once.
  static const std::vector<const CharMapEntry*> first = [] {
    std::vector<const CharMapEntry*> table;
    auto enter = [&table](const auto& map) {
      for (const CharMapEntry& entry : map) {
        if (!Maps(entry)) continue;
        if (entry.unicode >= table.size()) table.resize(entry.unicode + 1u, nullptr);
        if (table[entry.unicode] == nullptr) table[entry.unicode] = &entry;
      }
    };
    enter(kControlMap);
    enter(kVariantMap);
    enter(kSpaceMap);
    return table;
  }();
  return unicode < first.size() ? first[unicode] : nullptr;
}

const CharMapEntry* CharMap::FindByFlag(uint16_t code, int variant) {
  if (code > 31) {
    for (const CharMapEntry& entry : kVariantMap) {
      if (entry.code == code && VariantIs(entry, variant)) return &entry;
    }
    return nullptr;
  }
  if (code == kOneEntryMap.code && VariantIs(kOneEntryMap, variant)) return &kOneEntryMap;
  const CharMapEntry& entry = kControlMap[code];
  return VariantIs(entry, variant) ? &entry : nullptr;
}

bool CharMap::IsReserved(uint16_t code, int list) {
  if (code >= 0x80 && code <= 0x9F) return true;
  for (const uint16_t reserved : kReservedLists[list != 0 ? 1 : 0]) {
    if (code == reserved) return true;
  }
  return false;
}

bool DumpTextOperand(StoryRuns& snapshot, uint32_t& operand) {
  if ((operand >> 8) == 0x414B42) return false;
  if (operand == 1) {
    snapshot.RefreshIfStale();
    operand = static_cast<uint32_t>(snapshot.textRef);
    return true;
  }
  const uint32_t type = operand & 0xE0;
  if (type != 0x00 && type != 0x20 && type != 0x40 && type != 0x60 && type != 0x80) {
    ProgramLog() << "\n"
                 << "non-usual optype=" << std::hex << type << "  opcode=" << operand << std::dec
                 << std::endl;
  }
  operand = 0;
  return true;
}
