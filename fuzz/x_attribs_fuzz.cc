// Run attributes from a container, as the import's appliers read them:
// any names and values, never a crash; parsing the same set twice gives the
// same answer.  The input is a list of NUL-separated texts, taken as name
// and value in turn; a name's first byte below 0x20 picks one of the names
// the appliers read.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "plugin/conversion/x_attribs.h"

namespace {

const char16_t* const kNames[] = {u"bold",    u"italic",   u"outline",    u"shadow",     u"strike",
                                  u"underline", u"caps",   u"size",       u"shift",      u"kerning",
                                  u"tracking", u"color_type", u"color_name", u"typeface", u"codepage",
                                  u"typeface_codepage"};

class FuzzSet : public AttrLookup {
 public:
  const char16_t* Lookup(const char16_t* name) override {
    auto found = values.find(name);
    return found == values.end() ? nullptr : found->second.c_str();
  }
  std::map<std::u16string, std::u16string> values;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSet set;
  std::u16string name;
  std::u16string text;
  bool haveName = false;
  for (size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != 0) {
      // Two bytes make a unit when the high bit is set, else one.
      if ((data[i] & 0x80) != 0 && i + 1 < size) {
        text += static_cast<char16_t>((data[i] << 8) | data[i + 1]);
        ++i;
      } else {
        text += static_cast<char16_t>(data[i]);
      }
      continue;
    }
    if (!haveName) {
      name = !text.empty() && text[0] < 0x20 ? kNames[text[0] % (sizeof kNames / sizeof kNames[0])] : text;
      haveName = true;
    } else {
      set.values[name] = text;
      haveName = false;
    }
    text.clear();
  }
  XTCharAttrRecord record{};
  record.size = 12 << 16;
  XTCharAttrRecord again = record;
  const bool first = ApplyTextAttributes(set, record);
  if (ApplyTextAttributes(set, again) != first) __builtin_trap();
  XAttribs applier(7);
  if (ApplyAttributes(applier, set, record)) __builtin_trap();
  XAttribs importer(XAttribs::kImport);
  ApplyTypeface(importer, set, record);
  ApplyTypeface(importer, set, record);  // from the cache
  return 0;
}
