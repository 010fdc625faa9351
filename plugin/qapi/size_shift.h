// A character's size and baseline shift as the attributes "size" and
// "shift", and back.
//
// Sizes travel in half points (the record's 16.16 points / 32768, rounded
// half away from zero, at least 1).  The shift travels by the style bits
// 0x160 of the record's face word: a numeric shift (minus the host's
// absolute shift in half points), or the keyword "top" or "bottom" for the
// superscript, subscript and superior styles.  A record's shift is relative
// to its size (a 16.16 fraction); the host turns it into points.  Host
// thread only.
#pragma once

#include <cstdint>

#include "platform/xt/xt_doc_suites.h"
#include "plugin/qapi/attr_sets.h"

// One row of the size-and-shift style table.
struct SizeShiftRow {
  uint32_t row;
  uint32_t cls;        // the row whose style bits CompareCharRecord hands back
  uint32_t group;
  uint32_t shiftKind;  // kShiftNumeric, kShiftTop or kShiftBottom
  uint16_t styleBits;  // bits 0x160 of the face word
};

constexpr uint32_t kShiftNumeric = 1;
constexpr uint32_t kShiftTop = 2;
constexpr uint32_t kShiftBottom = 4;
constexpr uint16_t kShiftStyleBits = 0x160;

constexpr int kSizeShiftRows = 6;
extern const SizeShiftRow kSizeShiftTable[kSizeShiftRows];

// The row of a face word (by its bits 0x160; an unknown combination is row 0).
int SizeShiftRowOf(uint16_t faces);
// The style bits of a row (0 for a row outside the table).
uint16_t StyleBitsOfRow(int row);
// The style bits the keyword "top" (`top`) or "bottom" gives a record of row
// `row`.
uint16_t KeywordStyleBits(int row, bool top);

// Writes "shift" and then "size" of `record` into `attrs`; false when the
// set refused one of them.
bool GetSizeShiftAttrs(const XTCharAttrRecord& record, AttrWriter& attrs);

// Reads "size" and "shift" from `attrs` back into `record`, applying what
// changes to the current text (attributes -103 and -110).  *styleBits (when
// given) receives the style bits the "shift" keywords ask for.  False when a
// value was not recognised or could not be taken; what was recognised is
// still applied.  A record whose size is 0 takes no numeric shift.
bool SetSizeShiftAttrs(XTCharAttrRecord& record, AttrReader& attrs, uint16_t* styleBits = nullptr);

// Compares `record` with the current text: applies its shift (-110) and
// size (-103) where the current text differs (sizes in whole half points,
// shifts to within 1/16 point; a record without a size counts as 12
// points), and hands back in *styleBits the style bits of the row named by
// the class of the record's row.  True when it applied anything or those
// style bits differ from the record's bits 0x160.
bool CompareCharRecord(const XTCharAttrRecord& record, uint16_t* styleBits);
