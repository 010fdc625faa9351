#include "plugin/qapi/size_shift.h"

#include <algorithm>
#include <limits>
#include <string>

#include "plugin/qapi/host_text.h"
#include "support/host_link.h"
#include "support/host_result.h"

const SizeShiftRow kSizeShiftTable[kSizeShiftRows] = {
    {0, 0, 1, kShiftNumeric, 0x000}, {1, 1, 2, kShiftTop, 0x020},
    {2, 1, 2, kShiftBottom, 0x040},  {3, 3, 2, kShiftTop, 0x100},
    {4, 0, 2, kShiftTop, 0x120},     {5, 0, 2, kShiftBottom, 0x140},
};

namespace {

constexpr int64_t kHalfPoint = 32768;  // 16.16 units in half a point
constexpr int32_t kTwelvePoints = 12 << 16;

// value / divisor, rounded half away from zero.
int64_t RoundDiv(int64_t value, int64_t divisor) {
  return value >= 0 ? (value + divisor / 2) / divisor : -((-value + divisor / 2) / divisor);
}

int64_t HalfPoints(int32_t size) { return std::max<int64_t>(1, RoundDiv(size, kHalfPoint)); }

// The host's absolute shift of a relative `shift` at `size`, 16.16 points;
// 0 when the host cannot say.
int32_t AbsoluteShift(int32_t size, int32_t shift) {
  int32_t absolute = 0;
  if (XT().lgg2 == nullptr || HostCall("baseline_shift", XT().lgg2->baseline_shift(size, shift, &absolute)) != kXTOk)
    return 0;
  return absolute;
}

// The shift the export writes for a record.
int64_t ExportedShift(const XTCharAttrRecord& record) {
  return -RoundDiv(AbsoluteShift(record.size, record.shift), kHalfPoint);
}

// A whole decimal number, blanks around it allowed.
bool ParseNumber(const std::u16string& text, int64_t* value) {
  std::size_t i = 0;
  std::size_t end = text.size();
  while (i < end && text[i] == u' ') ++i;
  while (end > i && text[end - 1] == u' ') --end;
  bool negative = false;
  if (i < end && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  if (i == end || end - i > 18) return false;
  int64_t n = 0;
  for (; i < end; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    n = n * 10 + (text[i] - u'0');
  }
  *value = negative ? -n : n;
  return true;
}

bool FitsInt32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

}  // namespace

int SizeShiftRowOf(uint16_t faces) {
  const uint16_t bits = faces & kShiftStyleBits;
  for (const SizeShiftRow& row : kSizeShiftTable) {
    if (row.styleBits == bits) return static_cast<int>(row.row);
  }
  return 0;
}

uint16_t StyleBitsOfRow(int row) {
  return row >= 0 && row < kSizeShiftRows ? kSizeShiftTable[row].styleBits : 0;
}

uint16_t KeywordStyleBits(int row, bool top) {
  switch (row) {
    case 0:
      return StyleBitsOfRow(top ? 4 : 5);
    case 1:
      return StyleBitsOfRow(top ? 1 : 2);
    case 3:
      return StyleBitsOfRow(top ? 3 : 5);
    default:
      return StyleBitsOfRow(0);
  }
}

bool GetSizeShiftAttrs(const XTCharAttrRecord& record, AttrWriter& attrs) {
  const SizeShiftRow& row = kSizeShiftTable[SizeShiftRowOf(record.faces)];
  bool ok = true;
  if (row.shiftKind == kShiftNumeric) {
    ok = SetNumericAttr(attrs, u"shift", static_cast<int32_t>(ExportedShift(record)), false);
  } else {
    ok = attrs.SetAttr(u"shift", row.shiftKind == kShiftTop ? u"top" : u"bottom");
  }
  return SetNumericAttr(attrs, u"size", static_cast<int32_t>(HalfPoints(record.size)), false) &&
         ok;
}

bool SetSizeShiftAttrs(XTCharAttrRecord& record, AttrReader& attrs, uint16_t* styleBits) {
  bool ok = true;
  const int32_t hostShift = record.shift;  // what the current text has

  int64_t size = 0;
  if (ParseNumber(attrs.GetAttr(u"size"), &size) && size >= 1 && size <= 9999) {
    if (size != HalfPoints(record.size)) {
      const int64_t fixed = size * kHalfPoint;
      if (!FitsInt32(fixed)) {
        ok = false;
      } else {
        HostCallAdapter(0, kXTAttrSize, static_cast<int32_t>(fixed));
        // The absolute shift stays: the relative one scales with the size.
        const int64_t scaled = int64_t{record.shift} * record.size / fixed;
        record.shift = FitsInt32(scaled) ? static_cast<int32_t>(scaled) : 0;
        ok = ok && FitsInt32(scaled);
        record.size = static_cast<int32_t>(fixed);
      }
    }
  } else {
    ok = false;
  }

  uint16_t bits = 0;
  const int row = SizeShiftRowOf(record.faces);
  int64_t relative = record.shift;
  const std::u16string shift = attrs.GetAttr(u"shift");
  int64_t value = 0;
  if (shift.empty()) {
    if (row == 0 && record.shift != 0) ok = false;
  } else if (shift == u"top") {
    bits = KeywordStyleBits(row, true);
  } else if (shift == u"bottom") {
    bits = KeywordStyleBits(row, false);
  } else if (!ParseNumber(shift, &value) || value < -9999 || value > 9999) {
    ok = false;
  } else if (value != ExportedShift(record)) {
    if (record.size <= 0) {
      ok = false;  // no size to take a shift relative to
    } else {
      relative = -(value * (int64_t{1} << 31)) / record.size;
    }
  }
  if (!FitsInt32(relative)) {
    relative = 0;
    ok = false;
  }
  if (relative != hostShift) {
    HostCallAdapter(0, kXTAttrShift, static_cast<int32_t>(relative));
    record.shift = static_cast<int32_t>(relative);
  }
  if (styleBits != nullptr) *styleBits = bits;
  return ok;
}

bool CompareCharRecord(const XTCharAttrRecord& record, uint16_t* styleBits) {
  const int32_t size = record.size > 0 ? record.size : kTwelvePoints;
  bool applied = false;
  XTCharAttrRecord current{};
  if (XT().lgg2 != nullptr && XT().lgg2->selection_attributes(&current) == kXTOk) {
    const int64_t wanted = AbsoluteShift(size, record.shift);
    const int64_t present = AbsoluteShift(current.size, current.shift);
    if (wanted - present > 0x1000 || present - wanted > 0x1000) {
      HostCallAdapter(0, kXTAttrShift, record.shift);
      applied = true;
    }
    if (HalfPoints(size) != HalfPoints(current.size)) {
      HostCallAdapter(0, kXTAttrSize, size);
      applied = true;
    }
  }
  const uint16_t bits =
      StyleBitsOfRow(static_cast<int>(kSizeShiftTable[SizeShiftRowOf(record.faces)].cls));
  if (styleBits != nullptr) *styleBits = bits;
  return applied || bits != (record.faces & kShiftStyleBits);
}
