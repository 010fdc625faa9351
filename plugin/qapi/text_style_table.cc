#include "plugin/qapi/text_style_table.h"

const TextStyleRow TextStyleTable[kTextStyleRows] = {
    {0x0001, 0, u"bold", u"off", u"on"},
    {0x0002, 0, u"italic", u"off", u"on"},
    {0x0004, 2, u"underline", u"", u"single"},
    {0x0008, 0, u"outline", u"off", u"on"},
    {0x0010, 0, u"shadow", u"off", u"on"},
    {0x0020, 1, u"shift", u"", u"top"},
    {0x0040, 1, u"shift", u"", u"bottom"},
    {0x0100, 1, u"shift", u"", u"top"},
    {0x0200, 0, u"strike", u"off", u"on"},
    {0x0400, 3, u"caps", u"", u"uppercase"},
    {0x0800, 3, u"caps", u"", u"small_caps"},
    {0x1000, 2, u"underline", u"", u"by_word"},
};

uint16_t TextStyleMask() {
  uint16_t mask = 0;
  for (const TextStyleRow& row : TextStyleTable) mask |= row.bit;
  return mask;
}
