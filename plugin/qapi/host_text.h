// Helpers around host text: the character context of a run
// (MakeHostTextRecord), applying character attributes to the current text
// (HostCallAdapter, HostTextCallback), the special-character table, the
// host character map, and the diagnostic handling of text operands.
// Host thread only; the tables are constant.
#pragma once

#include <cstdint>

#include "platform/xt/xt_doc_suites.h"
#include "plugin/qapi/mixer_services.h"

class QFontList;
struct HostFontRecord;
class StoryRuns;
struct StoryRunPosition;

// A text range reference: a count and a pointer.
struct TextRangeRef {
  uint32_t count = 0;
  const void* pointer = nullptr;
  void Set(const void* p, uint32_t c) {
    pointer = p;
    count = c;
  }
};

// The character context of the current run of a walk.
struct HostTextRecord {
  TextRangeRef range;             // (1, the document's font list)
  XTCharAttrRecord attributes{};  // the run's character-attribute record
  uint16_t word = 0;              // the run's attribute word
  int32_t value = 0;              // given by the caller
  uint8_t flag = 0;               // given by the caller: use the font's code page
  uint16_t codePage = 0xFFFF;     // the effective code page
  uint16_t runCodePage = 0xFFFF;  // the Windows code page of the run
  uint16_t fontCodePage = 0xFFFF; // the font's code page, else the run's
  uint8_t scriptTest = 0;         // CharClass::InRanges of the font
};

// Builds the context of the walk's current character run: its record and
// word (StoryRuns::GetText), its font looked up in `fontList`, the run's
// code pages (CodePagesOfCharAttrib with 0xFFFF and the font's script, 126
// without a font).  The effective code page is the font's (the run's Windows
// code page when the font has none) when `useFontCodePage`, else the run's
// Mac code page.
HostTextRecord MakeHostTextRecord(StoryRunPosition& position, QFontList& fontList, int32_t value,
                                  bool useFontCodePage);

namespace CharClass {
// Script 0: codes 0x4000 to 0x71FF and 0x8E02 to 0xD8F0; scripts 1, 2, 3
// and 25: every code; any other script: none.
bool InRanges(int script, uint16_t code);
}  // namespace CharClass

// Sets one attribute (XTTextAttribute) on the current text; a text
// reference of 0 stands for the story of the current box.  The host's
// result.
int32_t HostCallAdapter(XTTextRef textReference, int32_t attributeCode, int32_t value);

// Applies the face bits of `record` to the current text (a host text
// callback): compares it with the current text (CompareCharRecord, which
// settles size and shift), sets the faces that differ within the style
// mask, and clears kerning and tracking where the record has them.
// Always 0.
int32_t HostTextCallback(XTTextRef textReference, const XTCharAttrRecord* record);

// The name field of a font-list entry (the 129 words after its font id).
BoundedWideText<255> CopyHostFontRecord(const HostFontRecord& entry);

// A copy of a host character record (its first 28 words) with two flags.
struct HostAttrRecord {
  XTCharAttrRecord record{};
  uint8_t flag1 = 0;
  uint8_t flag2 = 0;
  void Assign(const XTCharAttrRecord& from, uint8_t f1, uint8_t f2);
};

// A special character: its host code, the page-number opcode it stands for
// (0 for none), its name and its variant (null for none).
struct SpecialChar {
  uint16_t code;
  uint16_t pageKind;
  uint16_t reserved;
  const char16_t* name;
  const char16_t* variant;
};

namespace SpecialCharTable {
constexpr int kRows = 8;
extern const SpecialChar kTable[kRows];
// The first row with that host code, or null.
const SpecialChar* FindByCode(uint16_t code);
// The row named `name` with `variant` (rows with a variant only when one is
// given, rows without only when none is), or null.
const SpecialChar* Insert(const char16_t* name, const char16_t* variant = nullptr);
}  // namespace SpecialCharTable

// An entry of the host character map: bit 0 of `flags` is its variant; it
// maps `code` to `unicode` when bit 24 of `flags` is set or the flags are
// CharMap::kLineEnd.
struct CharMapEntry {
  uint32_t flags;
  uint16_t code;
  uint16_t unicode;
};

namespace CharMap {
constexpr uint32_t kLineEnd = 0x8000000;
// The first mapping entry for `unicode`: the control map (codes 0 to 31),
// then the variant map, then the space and dash map.
const CharMapEntry* Find(uint16_t unicode);
// For a code above 31 the variant-map entry of the code; for a code up to
// 31 the one-entry map's when the code is 0x0F, else the control map's;
// each only when its variant bit equals `variant`.
const CharMapEntry* FindByFlag(uint16_t code, int variant);
// 0x80 to 0x9F, and the five codes of either list (0x000A, 0x001F, 0x2000,
// 0x2001, 0x2011).
bool IsReserved(uint16_t code, int list);
}  // namespace CharMap

// Handles a text operand for diagnostics.  A box-data operand (upper three
// bytes 0x414B42) is left alone: false.  Operand 1 becomes the snapshot's
// text reference (refreshed when stale): true.  Any other operand becomes 0
// (true), after a "non-usual optype=" line in the program log when its bits
// 0xE0 are not 0x00, 0x20, 0x40, 0x60 or 0x80.
bool DumpTextOperand(StoryRuns& snapshot, uint32_t& operand);

inline int16_t ToShort(int16_t value) { return value; }
inline int32_t ToInt(int16_t value) { return value; }
