#include "host/text_export.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/document_ops.h"
#include "host/host.h"
#include "host/utf.h"
#include "platform/win/code_pages.h"
#include "platform/win/replacing_file.h"

namespace xthost {
namespace {

// The characters the notation writes by name: "<\name>".
struct NamedSpecial {
  char16_t unit;
  const char* name;
};
constexpr NamedSpecial kSpecials[] = {
    {0x0001, "pagelast"}, {0x0002, "pagecur"},  {0x0003, "pagenext"}, {0x000B, "colbreak"},
    {0x000C, "boxbreak"}, {0x001C, "condmark"}, {0x001E, "indent"},   {0x00A0, "nbsp"},
    {0x00AD, "shy"},      {0x2002, "ensp"},     {0x2003, "emsp"},     {0x2011, "nbhyphen"},
    {0x2028, "line"},
};

const char* SpecialName(char32_t c) {
  for (const NamedSpecial& special : kSpecials) {
    if (special.unit == c) return special.name;
  }
  return nullptr;
}

// The Windows-1252 byte of every BMP character (-1: none), from the
// project's table.
const std::array<int16_t, 0x10000>& Western() {
  static const std::unique_ptr<std::array<int16_t, 0x10000>> table = [] {
    auto made = std::make_unique<std::array<int16_t, 0x10000>>();
    made->fill(-1);
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      std::u16string unit;
      if (win::MultiByteToWide(win::kCodePageWestern, &byte, 1, unit) && unit.size() == 1) {
        (*made)[unit[0]] = static_cast<int16_t>(b);
      }
    }
    return made;
  }();
  return *table;
}

// Appends `c` as it stands in `encoding`; false when it cannot.
bool AppendEncoded(std::string& out, char32_t c, int32_t encoding) {
  if (c >= 0xD800 && c <= 0xDFFF) return false;  // a lone surrogate
  if (encoding == kTextUtf8) {
    std::u16string units;
    if (c >= 0x10000) {
      units = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
    } else {
      units = {static_cast<char16_t>(c)};
    }
    std::string bytes;
    Utf16ToUtf8(units, &bytes);
    out += bytes;
    return true;
  }
  const int32_t byte = Windows1252Byte(c);
  if (byte < 0) return false;
  out += static_cast<char>(byte);
  return true;
}

// The code point at `i` (a surrogate pair taken whole); `i` moves past it.
char32_t NextCodePoint(const std::u16string& text, size_t& i) {
  const char32_t c = text[i++];
  if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
    return 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
  }
  return c;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.12g", value);
  return text;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

class TagWriter {
 public:
  TagWriter(const DocumentContent& doc, int32_t encoding) : doc_(doc), encoding_(encoding) {}

  std::string Write(const Story& story, bool header) {
    if (story.text.empty()) return std::string();
    out_.reserve(story.text.size() + story.text.size() / 8 + 64);
    if (header) out_ += "<xtags 1 " + std::to_string(encoding_) + ">";
    size_t paragraph = 0;
    size_t paragraphEnd = 0;
    size_t run = 0;
    size_t runEnd = 0;
    const char* closeObject = nullptr;
    std::string current = "<r>";  // the run tag in force
    const size_t n = story.text.size();
    size_t i = 0;
    while (i < n) {
      while (closeObject != nullptr && i >= runEnd) {
        out_ += closeObject;
        closeObject = nullptr;
      }
      if (i == paragraphEnd && paragraph < story.paragraphs.size()) {
        ParagraphTag(story.paragraphs[paragraph].format);
        paragraphEnd += static_cast<size_t>(story.paragraphs[paragraph].length);
        ++paragraph;
      }
      while (i >= runEnd && run < story.runs.size()) {
        const CharacterRun& r = story.runs[run++];
        runEnd += static_cast<size_t>(r.length);
        if (r.length == 0) continue;
        const XTCharAttrRecord* record = Attributes(r.attributes);
        const std::string tag = record != nullptr ? RunTag(*record) : std::string("<r>");
        if (tag != current) {
          out_ += tag;
          current = tag;
        }
        if (record != nullptr && record->opcode != 0) {
          if (record->opcode == 1) {
            out_ += "<box id=" + std::to_string(record->object) + ">";
            closeObject = "</box>";
          } else {
            out_ += "<obj op=" + std::to_string(record->opcode);
            if (record->object != 0) out_ += " id=" + std::to_string(record->object);
            out_ += ">";
            closeObject = "</obj>";
          }
        }
      }
      Text(NextCodePoint(story.text, i));
    }
    if (closeObject != nullptr) out_ += closeObject;
    // The empty paragraph after a final return keeps its style too.
    if (paragraph < story.paragraphs.size()) ParagraphTag(story.paragraphs[paragraph].format);
    return std::move(out_);
  }

 private:
  const XTCharAttrRecord* Attributes(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= doc_.attributes.size()) return nullptr;
    return &doc_.attributes[static_cast<size_t>(index)];
  }

  const StyleSheet* Sheet(uint16_t id, int32_t kind) const {
    for (const StyleSheet& sheet : doc_.style_sheets) {
      if (sheet.id == id && sheet.kind == kind) return &sheet;
    }
    return nullptr;
  }

  void ParagraphTag(int32_t format) {
    const StyleSheet* sheet = nullptr;
    if (format >= 0 && static_cast<size_t>(format) < doc_.formats.size()) {
      const uint16_t style = doc_.formats[static_cast<size_t>(format)].style;
      if (style != 0) sheet = Sheet(style, kParagraphStyle);
    }
    out_ += "<p";
    if (sheet != nullptr) {
      out_ += ' ';
      Quoted(out_, sheet->name);
    }
    out_ += '>';
  }

  // "<r" and the attributes that differ from the base: the character
  // style's attributes, else those of record 0.
  std::string RunTag(const XTCharAttrRecord& a) const {
    std::string tag = "<r";
    const XTCharAttrRecord* base = Attributes(0);
    if (a.style != 0) {
      const StyleSheet* sheet = Sheet(a.style, kCharacterStyle);
      tag += " cstyle=";
      if (sheet != nullptr) {
        Quoted(tag, sheet->name);
        if (const XTCharAttrRecord* own = Attributes(sheet->record)) base = own;
      } else {
        tag += std::to_string(a.style);
      }
    }
    const XTCharAttrRecord zero{};
    const XTCharAttrRecord& b = base != nullptr ? *base : zero;
    if (a.font != b.font) {
      tag += " font=";
      const Font* font = nullptr;
      for (const Font& f : doc_.fonts) {
        if (f.id == a.font) font = &f;
      }
      if (font != nullptr) Quoted(tag, font->name); else tag += std::to_string(a.font);
    }
    if (a.size != b.size) tag += " size=" + Number(a.size / 65536.0);
    if (a.faces != b.faces) tag += " faces=0x" + Hex(a.faces, 4);
    if (a.color != b.color) {
      tag += " color=";
      const Color* color = nullptr;
      for (const Color& c : doc_.colors) {
        if (c.id == a.color) color = &c;
      }
      if (color != nullptr && !color->name.empty()) Quoted(tag, color->name); else tag += std::to_string(a.color);
    }
    if (a.tracking != b.tracking) tag += " track=" + std::to_string(a.tracking);
    if (a.kerning != b.kerning) tag += " kern=" + std::to_string(a.kerning);
    if (a.shift != b.shift) tag += " shift=" + Number(a.shift / 65536.0);
    if (a.flags != b.flags) tag += " flags=0x" + Hex(a.flags, 4);
    if (a.script != b.script) tag += " script=" + std::to_string(a.script);
    if (a.region != b.region) tag += " region=" + std::to_string(a.region);
    return tag + ">";
  }

  // A name in double quotes: '"', '\', '<', '>', control characters and
  // what the encoding cannot hold as "\uHHHH", one per UTF-16 unit.
  void Quoted(std::string& out, const std::u16string& name) const {
    out += '"';
    for (char16_t unit : name) {
      if (unit == '"' || unit == '\\' || unit == '<' || unit == '>' || unit < 0x20 ||
          !AppendEncoded(out, unit, encoding_)) {
        out += "\\u" + Hex(unit, 4);
      }
    }
    out += '"';
  }

  void Text(char32_t c) {
    if (c == Story::kReturn) {
      out_ += '\n';
      return;
    }
    if (c == '\t' || (c >= 0x20 && c < 0x7F && c != '<' && c != '>')) {
      out_ += static_cast<char>(c);
      return;
    }
    if (const char* name = SpecialName(c)) {
      out_ += "<\\";
      out_ += name;
      out_ += '>';
      return;
    }
    if (c < 0x20 || c == '<' || c == '>' || !AppendEncoded(out_, c, encoding_)) {
      out_ += "<#" + Hex(c, 2) + ">";
    }
  }

  const DocumentContent& doc_;
  int32_t encoding_;
  std::string out_;
};

}  // namespace

int32_t Windows1252Byte(char32_t c) { return c < 0x10000 ? Western()[c] : -1; }

int32_t TextEncodingNamed(const std::u16string& name) {
  if (name == u"Windows Latin (Windows-1252)") return kTextWindows1252;
  if (name == u"Unicode (UTF-8)") return kTextUtf8;
  return 0;
}

std::string TagNotation(const DocumentContent& doc, const Story& story, int32_t encoding, bool header) {
  return TagWriter(doc, encoding).Write(story, header);
}

std::string PlainText(const Story& story, int32_t encoding) {
  std::string out;
  out.reserve(story.text.size());
  for (size_t i = 0; i < story.text.size();) {
    const char32_t c = NextCodePoint(story.text, i);
    if (c == Story::kReturn) {
      out += '\n';
    } else if (!AppendEncoded(out, c, encoding)) {
      out += '?';
    }
  }
  return out;
}

bool RunExportTagsCommand(Host& host, const std::string& value) {
  const size_t blank = value.find(' ');
  const int32_t id = std::atoi(value.substr(0, blank).c_str());
  const std::string path = blank == std::string::npos ? std::string() : value.substr(blank + 1);
  DocumentContent* content = CurrentContent(host);
  const Story* story = content != nullptr ? content->FindStory(id) : nullptr;
  std::string error;
  if (content == nullptr) {
    error = "no current document";
  } else if (story == nullptr) {
    error = "no story " + std::to_string(id);
  } else {
    const std::string bytes = TagNotation(*content, *story, kTextWindows1252, true);
    win::ReplacingFile file(path);
    if (!file.Write(bytes.data(), bytes.size()) || !file.Commit()) error = "cannot write " + path + ": " + file.Reason();
  }
  return FinishCommand(host, "export-tags", error);
}

}  // namespace xthost
