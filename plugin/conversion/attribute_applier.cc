// The import side of the character attributes: a run's attribute set applied
// to the current host text.
#include <cstring>
#include <string>

#include "kxt/attrs_set.h"
#include "plugin/conversion/x_attribs.h"
#include "plugin/mixer/mixer_boxes.h"
#include "plugin/qapi/q_font_list.h"
#include "plugin/qapi/size_shift.h"
#include "plugin/qapi/text_style_table.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "plugin/conversion/export_tables.h"
#include "platform/win/code_pages.h"

namespace {

bool Equal(const char16_t* a, const char16_t* b) { return a != nullptr && b != nullptr && std::u16string(a) == b; }

bool Empty(const char16_t* text) { return text == nullptr || *text == u'\0'; }

// A whole decimal number up to 0xFFFFFF (digits only).
bool ParseRgb(const char16_t* text, uint32_t* rgb) {
  std::string digits;
  for (const char16_t* p = text; *p != u'\0' && digits.size() < 255; ++p) {
    if (*p < u'0' || *p > u'9') return false;
    digits += static_cast<char>(*p);
  }
  if (digits.empty() || digits.size() > 8) return false;
  const unsigned long value = std::stoul(digits);
  if (value > 0xFFFFFF) return false;
  *rgb = static_cast<uint32_t>(value);
  return true;
}

constexpr int32_t kMissingCodePage = 0xFFFF;
constexpr uint32_t kMacRoman = 10000;
// Typeface names of more units than this are not looked up.
constexpr std::size_t kMaxTypefaceUnits = 255;

// The low byte of every unit: the bytes the export made of the name.
std::string NarrowTypeface(const std::u16string& name) {
  std::string bytes;
  for (const char16_t unit : name) bytes += static_cast<char>(unit & 0xFF);
  return bytes;
}

// The font's name from the typeface's bytes: through the Mac table back
// to Windows-1252 for a Mac code page (10000 and up, where the export
// writes Windows-1252 bytes through that table), else in the code page
// itself.  Empty when the bytes do not decode or nothing needs decoding.
std::u16string DecodeTypeface(const std::string& bytes, uint32_t codePage) {
  if (codePage == 1200 || codePage == static_cast<uint32_t>(kMissingCodePage)) return u"";
  std::string windows = bytes;
  if (codePage >= kMacRoman) {
    for (char& byte : windows) byte = static_cast<char>(FontNameFromMac(static_cast<uint8_t>(byte)));
    codePage = win::kCodePageWestern;
  }
  std::u16string name;
  if (!win::MultiByteToWide(codePage, windows.data(), windows.size(), name)) return u"";
  return name;
}

// Sets a numeric attribute on the current text when the set holds a number.
void ApplyNumber(AttrLookup& set, const char16_t* name, int32_t attribute) {
  int32_t value = 0;
  if (KXT_AttrsSet::GetNumericValue(set.Lookup(name), value)) HostCallAdapter(0, attribute, value);
}

}  // namespace

bool ApplyAttributes(XAttribs& applier, AttrLookup& set, XTCharAttrRecord& record) {
  switch (applier.kind) {
    case XAttribs::kExport:
      return true;
    case XAttribs::kImport:
      return ApplyTextAttributes(set, record);
    default:
      return false;
  }
}

bool ApplyTextAttributes(AttrLookup& set, XTCharAttrRecord& record) {
  bool understood = true;
  uint16_t mask = 0;
  uint16_t faces = 0;
  const char16_t* underline = nullptr;
  const char16_t* caps = nullptr;
  bool underlineRead = false;
  bool capsRead = false;
  for (const TextStyleRow& row : TextStyleTable) {
    mask |= row.bit;
    const char16_t* value = nullptr;
    switch (row.group) {
      case 0:
        value = set.Lookup(row.name);
        if (Equal(value, row.set)) {
          faces |= row.bit;
        } else if (value != nullptr && !Equal(value, row.clear)) {
          understood = false;
        }
        break;
      case 2:
        if (!underlineRead) underline = set.Lookup(u"underline"), underlineRead = true;
        if (Equal(underline, row.set)) faces |= row.bit;
        break;
      case 3:
        if (!capsRead) caps = set.Lookup(u"caps"), capsRead = true;
        if (Equal(caps, row.set)) faces |= row.bit;
        break;
      default:
        break;
    }
  }
  XTCharAttrRecord copy = record;
  if (!SetSizeShiftAttrs(copy, set)) understood = false;
  if (((faces ^ record.faces) & mask) != 0) HostCallAdapter(0, kXTAttrFaces, faces);
  ApplyNumber(set, u"kerning", kXTAttrKerning);
  ApplyNumber(set, u"tracking", kXTAttrTracking);
  ApplyColor(set);
  return understood;
}

void ApplyColor(AttrLookup& set) {
  const char16_t* type = set.Lookup(u"color_type");
  const char16_t* name = set.Lookup(u"color_name");
  if (Empty(type) || Empty(name) || !Equal(type, u"RGB")) return;
  uint32_t rgb = 0;
  if (!ParseRgb(name, &rgb)) return;
  const XTColorQuerySuite* colors = ColorQueryTable();
  if (colors == nullptr) return;
  int32_t id = 0;
  const int32_t found = colors->find_rgb_color(rgb, &id);
  if (found == kXTNoColor) {
    const HostLink& link = XT();
    int16_t document = 0;
    int32_t list = 0;
    if (link.lgi2 == nullptr || link.lgk2 == nullptr || link.lgi2->current_document(&document) != kXTOk ||
        link.lgk2->color_list(document, &list) != kXTOk) {
      return;
    }
    uint16_t made = 0xFFFF;
    CreateRgbColor(rgb, ("RGB_" + std::to_string(rgb)).c_str(), &made, list);
    if (made == 0xFFFF) return;
    id = made;
  } else if (found != kXTOk) {
    return;
  }
  HostCallAdapter(0, kXTAttrColor, id);
}

int32_t ApplyTypeface(XAttribs& applier, AttrLookup& set, const XTCharAttrRecord& record) {
  int32_t typefaceCodePage = kMissingCodePage;
  KXT_AttrsSet::GetNumericValue(set.Lookup(u"typeface_codepage"), typefaceCodePage);
  const char16_t* typeface = set.Lookup(u"typeface");
  if (Empty(typeface) || applier.fonts == nullptr) return kXTOk;
  const std::u16string name(typeface);
  auto cached = applier.map.cache.find(name);
  if (cached == applier.map.cache.end()) {
    AttrMap::Entry entry;
    if (name.size() <= kMaxTypefaceUnits) {
      const std::string bytes = NarrowTypeface(name);
      uint16_t hostFont = 0;
      const int32_t hostAnswer = HostFindFontByName(bytes, &hostFont);
      const HostFontRecord* font = applier.fonts->FindByName(name.c_str());
      // The name as the export wrote it, undone: bytes of the font's own
      // code page, or Windows-1252 bytes through the Mac table.
      for (const std::u16string& decoded :
           {DecodeTypeface(bytes, static_cast<uint32_t>(typefaceCodePage)), DecodeTypeface(bytes, kMacRoman)}) {
        if (font == nullptr && !decoded.empty()) font = applier.fonts->FindByName(decoded.c_str());
      }
      if (font != nullptr) {
        entry.font = font->fontId;
        entry.valid = true;
      } else if (hostAnswer == kXTOk) {
        // The host knows the font under a name the list did not match: its
        // id, not 0, which names no font.
        entry.font = hostFont;
        entry.valid = true;
      } else if (hostAnswer != kXTErrNotFound) {
        // The failed look-up may have lost the font.
        NoteHostFailure();
      }
    }
    cached = applier.map.cache.emplace(name, entry).first;
  }
  if (!cached->second.valid || cached->second.font == record.font) return kXTOk;
  return HostCallAdapter(0, kXTAttrFont, cached->second.font);
}
