#include "plugin/conversion/x_attribs.h"

#include <ostream>

#include "platform/win/code_pages.h"
#include "plugin/conversion/export_tables.h"
#include "plugin/qapi/code_pages.h"
#include "plugin/qapi/q_font_list.h"
#include "plugin/qapi/size_shift.h"
#include "plugin/qapi/text_style_table.h"
#include "plugin/xtension/breakpoint.h"
#include "support/host_result.h"
#include "support/program_log.h"

namespace {

// Windows-1252 bytes 0x80-0xFF to Mac Roman.
constexpr uint8_t kToMac[128] = {
    0xDB, 0xB0, 0xE2, 0xC4, 0xE3, 0xC9, 0xA0, 0xE0, 0xF6, 0xE4, 0xFF, 0xDC, 0xCE, 0xB2, 0xB3, 0xB7,
    0xB8, 0xD4, 0xD5, 0xD2, 0xD3, 0xA5, 0xD0, 0xD1, 0xF7, 0xAA, 0xB9, 0xDD, 0xCF, 0xBA, 0xBD, 0xD9,
    0xCA, 0xC1, 0xA2, 0xA3, 0xAD, 0xB4, 0xF5, 0xA4, 0xAC, 0xA9, 0xBB, 0xC7, 0xC2, 0xC3, 0xA8, 0xF8,
    0xA1, 0xB1, 0xC5, 0xC6, 0xAB, 0xB5, 0xA6, 0xE1, 0xFC, 0xD7, 0xBC, 0xC8, 0xDA, 0xDE, 0xDF, 0xC0,
    0xCB, 0xE7, 0xE5, 0xCC, 0x80, 0x81, 0xAE, 0x82, 0xE9, 0x83, 0xE6, 0xE8, 0xED, 0xEA, 0xEB, 0xEC,
    0xF0, 0x84, 0xF1, 0xEE, 0xEF, 0xCD, 0x85, 0xF9, 0xAF, 0xF4, 0xF2, 0xF3, 0x86, 0xFA, 0xFB, 0xA7,
    0x88, 0x87, 0x89, 0x8B, 0x8A, 0x8C, 0xBE, 0x8D, 0x8F, 0x8E, 0x90, 0x91, 0x93, 0x92, 0x94, 0x95,
    0xB6, 0x96, 0x98, 0x97, 0x99, 0x9B, 0x9A, 0xD6, 0xBF, 0x9D, 0x9C, 0x9E, 0x9F, 0xFD, 0xFE, 0xD8,
};

struct FromMac {
  uint8_t bytes[128] = {};
  constexpr FromMac() {
    for (int i = 0; i < 128; ++i) bytes[kToMac[i] - 0x80] = static_cast<uint8_t>(0x80 + i);
  }
};
constexpr FromMac kFromMac;

// The colour models whose name travels as "color_type".
constexpr uint32_t kNamedModels[] = {0x42475251, 0x42534851, 0x42414C51, 0x4B4D4351, 0x4E564451,
                                     0x5A595851, 0x544C4D51, 0x59524751, 0x78486E50};

std::u16string Widen(const char* text) {
  std::u16string wide;
  for (; *text != '\0'; ++text) wide += static_cast<char16_t>(static_cast<unsigned char>(*text));
  return wide;
}

// The wide text of a host string ("" when the host cannot give it).
std::u16string HostText(XTString string) {
  const XTStringSuite* strings = XT().qsb1;
  std::u16string text;
  int32_t length = 0;
  if (strings != nullptr && strings->string_length(string, &length) == kXTOk && length > 0) {
    text.resize(static_cast<std::size_t>(length) + 1);
    if (strings->copy_string(string, &text[0], length + 1) != kXTOk) length = 0;
    text.resize(static_cast<std::size_t>(length));
    text.resize(std::u16string(text.c_str()).size());  // up to a NUL
  }
  if (strings != nullptr) strings->dispose_string(string);
  return text;
}

// The bytes of a font name in `codePage`, one unit each (UTF-16 units as they
// are for 1200); a character the code page cannot hold becomes '?'.  With
// `mac` the bytes above 0x7F then go through the font-name table.
std::u16string TypefaceUnits(const char16_t* name, uint32_t codePage, bool mac) {
  std::u16string units;
  for (std::size_t i = 0; name[i] != u'\0'; ++i) {
    const char16_t unit = name[i];
    if (unit < 0x80 || codePage == 1200) {
      units += unit;
      continue;
    }
    // A surrogate pair is one character.
    const std::size_t length = unit >= 0xD800 && unit <= 0xDBFF && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF ? 2 : 1;
    std::string bytes;
    if (!win::WideToMultiByte(codePage, name + i, length, bytes) || bytes.empty()) bytes = "?";
    for (const char byte : bytes) {
      const uint8_t b = static_cast<uint8_t>(byte);
      units += static_cast<char16_t>(mac ? FontNameToMac(b) : b);
    }
    i += length - 1;
  }
  return units;
}

// Closes the set when the writer leaves, also on failure.
class CloseOnLeave {
 public:
  explicit CloseOnLeave(BX_KXT::Export::IAttrs& set) : set_(set) { set_.Open(); }
  ~CloseOnLeave() { set_.Close(); }
  CloseOnLeave(const CloseOnLeave&) = delete;
  CloseOnLeave& operator=(const CloseOnLeave&) = delete;

 private:
  BX_KXT::Export::IAttrs& set_;
};

}  // namespace

uint8_t FontNameToMac(uint8_t byte) { return byte < 0x80 ? byte : kToMac[byte - 0x80]; }
uint8_t FontNameFromMac(uint8_t byte) { return byte < 0x80 ? byte : kFromMac.bytes[byte - 0x80]; }

void AttrMap::Clear() {
  fonts.reset();
  cache.clear();
}

XAttribs::XAttribs(const HostTextRecord& text)
    : kind(kExport),
      fonts(static_cast<const QFontList*>(text.range.pointer)),
      record(text.attributes),
      privateValue(text.value),
      documentFlag(text.flag != 0),
      typefaceCodePage(text.codePage),
      fontNameFlag(text.scriptTest != 0),
      codePage(text.fontCodePage) {}

XAttribs::XAttribs(int32_t k) : kind(k) {
  if (kind == kImport) {
    map.fonts = std::make_unique<QFontList>();
    fonts = map.fonts.get();
  }
}

XAttribs::~XAttribs() { map.Clear(); }

void WriteAttributeSet(const XAttribs& record, BX_KXT::Export::IAttrs& set, uint32_t codePage) {
  try {
    CloseOnLeave open(set);
    // Everything the attributes are made of: the record, the font list and
    // the code pages (the document's fonts and colours stay while it is
    // written).
    thread_local std::string key;  // kept for its room: one key per run
    key.assign(reinterpret_cast<const char*>(&record.record), sizeof record.record);
    const auto add = [](const auto& value) { key.append(reinterpret_cast<const char*>(&value), sizeof value); };
    add(record.fonts);
    add(record.privateValue);
    add(record.documentFlag);
    add(record.typefaceCodePage);
    add(record.fontNameFlag);
    add(record.codePage);
    add(codePage);
    if (set.Replay(key)) return;
    // A replay adds what writing adds but logs nothing, so only a run whose
    // writing logged nothing (no missing font, conflict or failed colour)
    // is kept for replaying.
    const uint64_t logUses = ProgramLogUses();
    SetNumericAttr(set, u"private", record.privateValue, false);
    WriteTypeface(record, set, codePage);
    WriteFaceAttributes(record, set);
    SetNumericAttr(set, u"kerning", record.record.kerning, false);
    SetNumericAttr(set, u"tracking", record.record.tracking, false);
    WriteFaceColor(record, set);
    GetSizeShiftAttrs(record.record, set);
    if (ProgramLogUses() == logUses) set.Remember(key);
  } catch (...) {
    BreakPoint_BX("Attribs::WriteSelf FAILED");
  }
}

void WriteTypeface(const XAttribs& record, BX_KXT::Export::IAttrs& set, uint32_t codePage) {
  if (codePage == kNoCodePage) {
    set.SetAttr(u"codepage", u"0xFFFF");
  } else {
    SetNumericAttr(set, u"codepage", static_cast<int32_t>(codePage), false);
  }

  const bool own = record.documentFlag || record.fontNameFlag;
  uint32_t typefaceCodePage = own ? record.codePage : record.typefaceCodePage;
  if (typefaceCodePage == kNoCodePage) typefaceCodePage = DefaultCodePage(!own);

  const HostFontRecord* font = record.fonts != nullptr ? record.fonts->FindFont(record.record.font) : nullptr;
  const std::u16string name = font != nullptr ? TypefaceUnits(font->name.text, own ? typefaceCodePage : 1252, !own)
                                              : u"Unknown Font " + Widen(std::to_string(record.record.font).c_str());
  if (!set.SetAttr(u"typeface", name.c_str())) {
    ProgramLog() << "Error on adding typeface for fontID=" << std::dec << record.record.font << "\n";
  }

  if (!SetNumericAttr(set, u"typeface_codepage", static_cast<int32_t>(typefaceCodePage), false)) {
    ProgramLog() << "Error on adding fontNameCP=" << std::dec << typefaceCodePage << "\n";
  }
}

bool WriteFaceAttributes(const XAttribs& record, BX_KXT::Export::IAttrs& set) {
  bool plain = true;
  uint16_t faces = record.record.faces;
  if (faces == 0xFFFF) {
    BreakPoint_BX("Face conflict");
    plain = false;
    faces = 0;
  }
  const char16_t* underline = u"";
  const char16_t* caps = u"";
  for (const TextStyleRow& row : TextStyleTable) {
    const bool on = (faces & row.bit) != 0;
    switch (row.group) {
      case 0:
        set.SetAttr(row.name, on ? row.set : row.clear);
        break;
      case 2:
      case 3: {
        if (!on) break;
        const char16_t*& pending = row.group == 2 ? underline : caps;
        if (*pending == u'\0') {
          pending = row.set;
        } else {
          pending = u"";
          BreakPoint_BX(row.group == 2 ? "Underline conflict" : "Caps conflict");
          plain = false;
        }
        break;
      }
      default:
        break;
    }
  }
  set.SetAttr(u"underline", underline);
  set.SetAttr(u"caps", caps);
  return plain;
}

bool WriteFaceColor(const XAttribs& record, BX_KXT::Export::IAttrs& set) {
  const XTColorQuerySuite* colors = ColorQueryTable();
  uint8_t hasTable = 0;
  if (colors == nullptr || HostCall("has_color_table", colors->has_color_table(&hasTable)) != kXTOk || hasTable == 0) {
    return true;
  }
  uint32_t model = 0;
  char text[256] = {};
  if (colors->color_reference(record.record.color, &model, text, sizeof text) < 1) {
    ProgramLog() << "\nERROR in function XAttribs::WriteFaceColor(): color_getreference() failed!\n";
    // A colour the host can name exists: its reference failed.
    XTString name = 0;
    if (colors->color_name(record.record.color, &name) == kXTOk) {
      HostText(name);
      NoteHostFailure();
    }
    set.SetAttr(u"color_type", u"");
    return false;
  }
  bool named = false;
  for (uint32_t known : kNamedModels) named = named || model == known;
  set.SetAttr(u"color_type", named ? Widen(text).c_str() : u"");
  XTString name = 0;
  if (HostCall("color_name", colors->color_name(record.record.color, &name), kXTErrNotFound) == kXTOk) {
    set.SetAttr(u"color_name", HostText(name).c_str());
  }
  return true;
}
