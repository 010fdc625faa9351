#include "host/doc_json.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "host/doc_save.h"
#include "host/json_writer.h"
#include "host/utf.h"
#include "platform/win/replacing_file.h"

namespace xthost {
namespace {

using json = nlohmann::json;

constexpr const char* kFormatName = "xthost document";
constexpr int kFormatVersion = 1;
// No part of a document nests deeper than this.
constexpr int kMaxDepth = 8;

struct BadDocument {
  std::string what;
};

[[noreturn]] void Bad(const std::string& where, const std::string& what) {
  throw BadDocument{where + ": " + what};
}

// The deepest nesting of arrays and objects in `text`, counted outside of
// strings, so that nothing deeper than a document can be is ever parsed.
int NestingDepth(const std::string& text) {
  int depth = 0;
  int deepest = 0;
  bool in_string = false;
  bool escaped = false;
  for (const char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

void ExpectObject(const json& value, const std::string& where,
                  std::initializer_list<const char*> keys) {
  if (!value.is_object()) Bad(where, "is not an object");
  for (const auto& item : value.items()) {
    bool known = false;
    for (const char* key : keys) known = known || item.key() == key;
    if (!known) Bad(where, "unknown key \"" + item.key() + "\"");
  }
}

const json* Field(const json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

int64_t Integer(const json& value, const std::string& where, int64_t low, int64_t high) {
  if (!value.is_number_integer()) Bad(where, "is not a whole number");
  const int64_t n = value.is_number_unsigned()
                        ? static_cast<int64_t>(std::min<uint64_t>(value.get<uint64_t>(),
                                                                  uint64_t{1} << 62))
                        : value.get<int64_t>();
  if (n < low || n > high) {
    Bad(where, "is out of the range " + std::to_string(low) + " to " + std::to_string(high));
  }
  return n;
}

int64_t IntegerField(const json& object, const char* key, const std::string& where, int64_t low,
                     int64_t high, int64_t fallback) {
  const json* value = Field(object, key);
  return value ? Integer(*value, where + "." + key, low, high) : fallback;
}

bool BoolField(const json& object, const char* key, const std::string& where) {
  const json* value = Field(object, key);
  if (value == nullptr) return false;
  if (!value->is_boolean()) Bad(where + "." + key, "is not true or false");
  return value->get<bool>();
}

// A number of points (or a fraction) as a 16.16 value.
int32_t Fixed(const json& value, const std::string& where) {
  if (!value.is_number()) Bad(where, "is not a number");
  const double units = value.get<double>() * 65536.0;
  if (!std::isfinite(units) || std::fabs(units) > 2147483647.0) Bad(where, "is out of range");
  return static_cast<int32_t>(std::llround(units));
}

int32_t FixedField(const json& object, const char* key, const std::string& where,
                   int32_t fallback) {
  const json* value = Field(object, key);
  return value ? Fixed(*value, where + "." + key) : fallback;
}

std::u16string Text(const json& value, const std::string& where) {
  std::u16string units;
  if (value.is_string()) {
    if (!Utf8ToUtf16(value.get<std::string>(), &units)) Bad(where, "is not UTF-8");
  } else if (value.is_array()) {
    for (std::size_t i = 0; i < value.size(); ++i) {
      units.push_back(static_cast<char16_t>(
          Integer(value[i], where + "[" + std::to_string(i) + "]", 0, 0xFFFF)));
    }
  } else {
    Bad(where, "is not a text");
  }
  return units;
}

std::u16string TextField(const json& object, const char* key, const std::string& where) {
  const json* value = Field(object, key);
  return value ? Text(*value, where + "." + key) : std::u16string();
}

// A four-character code, first character in the high byte.
uint32_t CodeField(const json& object, const char* key, const std::string& where,
                   uint32_t fallback) {
  const json* value = Field(object, key);
  if (value == nullptr) return fallback;
  if (!value->is_string() || value->get<std::string>().size() != 4) {
    Bad(where + "." + key, "is not four characters");
  }
  uint32_t code = 0;
  for (const char c : value->get<std::string>()) {
    if (c < 0x20 || c > 0x7E) Bad(where + "." + key, "is not four characters");
    code = code << 8 | static_cast<unsigned char>(c);
  }
  return code;
}

const json& ArrayField(const json& object, const char* key, const std::string& where) {
  static const json empty = json::array();
  const json* value = Field(object, key);
  if (value == nullptr) return empty;
  if (!value->is_array()) Bad(where + "." + key, "is not an array");
  return *value;
}

std::string At(const std::string& where, std::size_t i) {
  return where + "[" + std::to_string(i) + "]";
}

// A pair [a, b] of whole numbers.
std::pair<int64_t, int64_t> Pair(const json& value, const std::string& where, int64_t low_a,
                                 int64_t high_a, int64_t low_b, int64_t high_b) {
  if (!value.is_array() || value.size() != 2) Bad(where, "is not a pair");
  return {Integer(value[0], where + "[0]", low_a, high_a),
          Integer(value[1], where + "[1]", low_b, high_b)};
}

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();

// Item data as {"KEY": "BYTES"}: the key as eight hex digits, the bytes as
// hex digits, two per byte.
constexpr std::size_t kMaxItemDataEntries = 4096;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

ItemData ReadItemData(const json& object, const std::string& where) {
  ItemData data;
  const json* value = Field(object, "data");
  if (value == nullptr) return data;
  const std::string w = where + ".data";
  if (!value->is_object()) Bad(w, "is not an object");
  if (value->size() > kMaxItemDataEntries) Bad(w, "has too many entries");
  for (const auto& item : value->items()) {
    const std::string& key = item.key();
    const std::string kw = w + "." + key;
    if (key.size() != 8) Bad(kw, "is not a key of eight hex digits");
    uint32_t code = 0;
    for (const char c : key) {
      if (HexDigit(c) < 0) Bad(kw, "is not a key of eight hex digits");
      code = code << 4 | static_cast<uint32_t>(HexDigit(c));
    }
    if (!item.value().is_string()) Bad(kw, "is not a string of hex digits");
    const std::string& hex = item.value().get_ref<const std::string&>();
    if (hex.size() % 2 != 0) Bad(kw, "is not a string of hex digits");
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      const int high = HexDigit(hex[i]);
      const int low = HexDigit(hex[i + 1]);
      if (high < 0 || low < 0) Bad(kw, "is not a string of hex digits");
      bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    data[code] = std::move(bytes);
  }
  return data;
}

Page ReadPage(const json& v, const std::string& w, std::initializer_list<const char*> keys) {
  ExpectObject(v, w, keys);
  Page page;
  page.width = FixedField(v, "width", w, kDefaultPageWidth);
  page.height = FixedField(v, "height", w, kDefaultPageHeight);
  if (page.width <= 0 || page.height <= 0) Bad(w, "has no size");
  page.master = static_cast<int32_t>(IntegerField(v, "master", w, 1, 0xFFFF, 1));
  page.data = ReadItemData(v, w);
  return page;
}

constexpr const char* kItemKinds[] = {"text", "picture", "empty", "line", "group"};

ItemKind KindField(const json& object, const std::string& where, ItemKind fallback) {
  const json* value = Field(object, "kind");
  if (value == nullptr) return fallback;
  if (value->is_string()) {
    for (int i = 0; i < 5; ++i) {
      if (value->get_ref<const std::string&>() == kItemKinds[i]) return static_cast<ItemKind>(i);
    }
  }
  Bad(where + ".kind", "is not one of text, picture, empty, line, group");
}

XTParaFormatRecord ReadFormat(const json& v, const std::string& w) {
  ExpectObject(v, w,
               {"style", "alignment", "leftIndent", "rightIndent", "firstIndent", "leading",
                "spaceBefore", "spaceAfter", "hj", "flags", "tabs"});
  XTParaFormatRecord f{};
  f.style = static_cast<uint16_t>(IntegerField(v, "style", w, 0, 0xFFFF, 0));
  f.alignment = static_cast<uint16_t>(IntegerField(v, "alignment", w, 0, 4, 0));
  f.left_indent = FixedField(v, "leftIndent", w, 0);
  f.right_indent = FixedField(v, "rightIndent", w, 0);
  f.first_indent = FixedField(v, "firstIndent", w, 0);
  f.leading = FixedField(v, "leading", w, 0);
  f.space_before = FixedField(v, "spaceBefore", w, 0);
  f.space_after = FixedField(v, "spaceAfter", w, 0);
  f.hj = static_cast<uint16_t>(IntegerField(v, "hj", w, 0, 0xFFFF, 0));
  f.flags = static_cast<uint16_t>(IntegerField(v, "flags", w, 0, 0xFFFF, 0));
  const json& tabs = ArrayField(v, "tabs", w);
  if (tabs.size() > static_cast<std::size_t>(kXTMaxTabs)) Bad(w + ".tabs", "has more than 16");
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    const std::string tw = At(w + ".tabs", i);
    if (!tabs[i].is_array() || tabs[i].size() != 3) Bad(tw, "is not [position, align, fill]");
    f.tabs[i].position = Fixed(tabs[i][0], tw + "[0]");
    f.tabs[i].align = static_cast<uint16_t>(Integer(tabs[i][1], tw + "[1]", 0, 3));
    f.tabs[i].fill = static_cast<uint16_t>(Integer(tabs[i][2], tw + "[2]", 0, 0xFFFF));
  }
  f.tab_count = static_cast<uint16_t>(tabs.size());
  return f;
}

XTCharAttrRecord ReadAttributes(const json& v, const std::string& w) {
  ExpectObject(v, w,
               {"font", "faces", "size", "shift", "color", "style", "kerning", "tracking", "flags",
                "script", "region", "opcode", "object", "mark"});
  XTCharAttrRecord a = DefaultAttributes();
  a.font = static_cast<uint16_t>(IntegerField(v, "font", w, 0, 0xFFFF, 0));
  a.faces = static_cast<uint16_t>(IntegerField(v, "faces", w, 0, 0xFFFF, 0));
  a.size = FixedField(v, "size", w, a.size);
  a.shift = FixedField(v, "shift", w, 0);
  a.color = static_cast<uint16_t>(IntegerField(v, "color", w, 0, 0xFFFF, 0));
  a.style = static_cast<uint16_t>(IntegerField(v, "style", w, 0, 0xFFFF, 0));
  a.kerning = static_cast<int32_t>(IntegerField(v, "kerning", w, kInt32Min, kInt32Max, 0));
  a.tracking = static_cast<int32_t>(IntegerField(v, "tracking", w, kInt32Min, kInt32Max, 0));
  a.flags = static_cast<uint16_t>(IntegerField(v, "flags", w, 0, 0xFFFF, 0));
  a.script = static_cast<uint8_t>(IntegerField(v, "script", w, 0, 0xFF, 0));
  a.region = static_cast<uint8_t>(IntegerField(v, "region", w, 0, 0xFF, 0));
  a.opcode = static_cast<uint32_t>(IntegerField(v, "opcode", w, 0, 0xFFFFFFFF, 0));
  a.object = static_cast<int32_t>(IntegerField(v, "object", w, kInt32Min, kInt32Max, 0));
  a.mark = static_cast<int32_t>(IntegerField(v, "mark", w, kInt32Min, kInt32Max, 0));
  return a;
}

Story ReadStory(const json& v, const std::string& w) {
  ExpectObject(v, w, {"id", "options", "text", "paragraphs", "runs"});
  Story story(static_cast<int32_t>(IntegerField(v, "id", w, 1, kInt32Max, 0)));
  if (Field(v, "id") == nullptr) Bad(w, "has no id");
  story.options = static_cast<uint32_t>(IntegerField(v, "options", w, 0, 0xFFFFFFFF, 0));
  story.text = TextField(v, "text", w);
  if (story.text.size() > static_cast<std::size_t>(kInt32Max)) Bad(w + ".text", "is too long");
  if (const json* paragraphs = Field(v, "paragraphs")) {
    if (!paragraphs->is_array()) Bad(w + ".paragraphs", "is not an array");
    story.paragraphs.clear();
    for (std::size_t i = 0; i < paragraphs->size(); ++i) {
      const auto [format, length] =
          Pair((*paragraphs)[i], At(w + ".paragraphs", i), 0, kInt32Max, 0, kInt32Max);
      story.paragraphs.push_back({static_cast<int32_t>(format), static_cast<int32_t>(length)});
    }
  }
  if (const json* runs = Field(v, "runs")) {
    if (!runs->is_array()) Bad(w + ".runs", "is not an array");
    story.runs.clear();
    for (std::size_t i = 0; i < runs->size(); ++i) {
      const auto [attributes, length] =
          Pair((*runs)[i], At(w + ".runs", i), 0, kInt32Max, 0, kInt32Max);
      story.runs.push_back({static_cast<int32_t>(attributes), static_cast<int32_t>(length)});
    }
  }
  story.Touch();
  return story;
}

void ReadContent(const json& doc, DocumentContent* c) {
  const std::string w = "document";
  ExpectObject(doc, w,
               {"format", "version", "untitled", "mac", "flags", "layouts", "currentLayout",
                "fonts", "colors", "styleSheets", "paragraphFormats", "characterAttributes",
                "boxes", "stories", "currentBox", "textOpen", "selection", "layers", "data",
                "nextItem", "unit", "decimalComma"});
  const json* format = Field(doc, "format");
  if (format == nullptr || !format->is_string() || format->get<std::string>() != kFormatName) {
    Bad(w, "is not an xthost document");
  }
  const json* version = Field(doc, "version");
  if (version == nullptr) Bad(w, "has no version");
  if (Integer(*version, w + ".version", 0, kInt32Max) != kFormatVersion) {
    Bad(w + ".version", "is not 1");
  }
  c->untitled = BoolField(doc, "untitled", w);
  c->mac = BoolField(doc, "mac", w);
  if (const json* unit = Field(doc, "unit")) {
    const std::string text = unit->is_string() ? unit->get<std::string>() : "";
    if (text != "pt" && text != "in" && text != "mm" && text != "cm" && text != "pica") {
      Bad(w + ".unit", "is not one of pt, in, mm, cm, pica");
    }
    c->unit = text;
  }
  c->decimal_comma = BoolField(doc, "decimalComma", w);
  c->flags = static_cast<uint32_t>(IntegerField(doc, "flags", w, 0, 0xFFFFFFFF, 0));

  const json& layouts = ArrayField(doc, "layouts", w);
  for (std::size_t i = 0; i < layouts.size(); ++i) {
    const std::string lw = At(w + ".layouts", i);
    ExpectObject(layouts[i], lw, {"name", "type", "modified", "spreads", "masters", "view"});
    Layout layout;
    layout.name = TextField(layouts[i], "name", lw);
    layout.type = CodeField(layouts[i], "type", lw, kPrintLayout);
    layout.modified = BoolField(layouts[i], "modified", lw);
    const json& spreads = ArrayField(layouts[i], "spreads", lw);
    for (std::size_t k = 0; k < spreads.size(); ++k) {
      const std::string sw = At(lw + ".spreads", k);
      ExpectObject(spreads[k], sw, {"pages"});
      const json& pages = ArrayField(spreads[k], "pages", sw);
      if (pages.empty()) Bad(sw, "has no pages");
      Spread spread;
      for (std::size_t p = 0; p < pages.size(); ++p) {
        spread.pages.push_back(
            ReadPage(pages[p], At(sw + ".pages", p), {"width", "height", "master", "data"}));
      }
      layout.spreads.push_back(std::move(spread));
    }
    // A layout without spreads has one spread of one page.
    if (layout.spreads.empty()) layout.spreads.push_back(Spread{{Page{}}});
    const json& masters = ArrayField(layouts[i], "masters", lw);
    for (std::size_t k = 0; k < masters.size(); ++k) {
      const std::string mw = At(lw + ".masters", k);
      MasterSpread master;
      master.page = ReadPage(masters[k], mw, {"name", "width", "height", "data"});
      master.page.master = 1;
      master.name = TextField(masters[k], "name", mw);
      layout.masters.push_back(std::move(master));
    }
    layout.view = static_cast<int32_t>(IntegerField(layouts[i], "view", lw, 0, 0xFFFF, 0));
    c->layouts.push_back(std::move(layout));
  }
  c->current_layout = static_cast<int32_t>(IntegerField(doc, "currentLayout", w, 0, 0xFFFF, 0));

  const json& fonts = ArrayField(doc, "fonts", w);
  for (std::size_t i = 0; i < fonts.size(); ++i) {
    const std::string fw = At(w + ".fonts", i);
    ExpectObject(fonts[i], fw, {"id", "name", "script"});
    Font font;
    font.id = static_cast<uint16_t>(IntegerField(fonts[i], "id", fw, 0, 0xFFFF, 0));
    font.name = TextField(fonts[i], "name", fw);
    font.script = static_cast<uint16_t>(IntegerField(fonts[i], "script", fw, 0, 0xFFFF, kAnyScript));
    c->fonts.push_back(font);
  }

  const json& colors = ArrayField(doc, "colors", w);
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const std::string cw = At(w + ".colors", i);
    ExpectObject(colors[i], cw, {"id", "name", "model", "value"});
    Color color;
    color.id = static_cast<uint16_t>(IntegerField(colors[i], "id", cw, 0, 0xFFFF, 0));
    color.name = TextField(colors[i], "name", cw);
    const uint32_t model = CodeField(colors[i], "model", cw, 0x51524742);  // QRGB
    color.model.clear();
    for (int shift = 24; shift >= 0; shift -= 8) color.model += static_cast<char>(model >> shift);
    color.value = static_cast<uint32_t>(IntegerField(colors[i], "value", cw, 0, 0xFFFFFFFF, 0));
    c->colors.push_back(color);
  }

  const json& sheets = ArrayField(doc, "styleSheets", w);
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const std::string sw = At(w + ".styleSheets", i);
    ExpectObject(sheets[i], sw, {"id", "kind", "name", "record"});
    StyleSheet sheet;
    sheet.id = static_cast<uint16_t>(IntegerField(sheets[i], "id", sw, 1, 0xFFFF, 0));
    const json* kind = Field(sheets[i], "kind");
    const std::string kind_text = kind && kind->is_string() ? kind->get<std::string>() : "";
    if (kind != nullptr && kind_text != "paragraph" && kind_text != "character") {
      Bad(sw + ".kind", "is not \"paragraph\" or \"character\"");
    }
    sheet.kind = kind_text == "character" ? kCharacterStyle : kParagraphStyle;
    sheet.name = TextField(sheets[i], "name", sw);
    sheet.record = static_cast<int32_t>(IntegerField(sheets[i], "record", sw, 0, kInt32Max, 0));
    c->style_sheets.push_back(sheet);
  }

  if (const json* formats = Field(doc, "paragraphFormats")) {
    if (!formats->is_array()) Bad(w + ".paragraphFormats", "is not an array");
    c->formats.clear();
    for (std::size_t i = 0; i < formats->size(); ++i) {
      c->formats.push_back(ReadFormat((*formats)[i], At(w + ".paragraphFormats", i)));
    }
  }
  if (const json* attributes = Field(doc, "characterAttributes")) {
    if (!attributes->is_array()) Bad(w + ".characterAttributes", "is not an array");
    c->attributes.clear();
    for (std::size_t i = 0; i < attributes->size(); ++i) {
      c->attributes.push_back(ReadAttributes((*attributes)[i], At(w + ".characterAttributes", i)));
    }
  }

  const json& boxes = ArrayField(doc, "boxes", w);
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const std::string bw = At(w + ".boxes", i);
    const json& b = boxes[i];
    ExpectObject(b, bw,
                 {"id", "layout", "story", "bounds", "kind", "spread", "master", "group", "parent", "rotation", "shape", "content", "recordWord", "layer",
                  "locked", "inset", "masterItem", "follows", "polygon", "data", "keepSize"});
    Box box;
    box.id = static_cast<int32_t>(IntegerField(b, "id", bw, 1, kMaxItemId, 0));
    box.layout = static_cast<int32_t>(IntegerField(b, "layout", bw, 0, 0xFFFF, 0));
    box.story = static_cast<int32_t>(IntegerField(b, "story", bw, 0, kInt32Max, 0));
    box.kind = KindField(b, bw, box.story != 0 ? kTextItem : kEmptyItem);
    box.spread = static_cast<int32_t>(IntegerField(b, "spread", bw, 1, 0xFFFF, 1));
    box.master = BoolField(b, "master", bw);
    box.group = static_cast<int32_t>(IntegerField(b, "group", bw, 0, kMaxItemId, 0));
    box.parent = static_cast<int32_t>(IntegerField(b, "parent", bw, 0, kMaxItemId, 0));
    box.rotation = FixedField(b, "rotation", bw, 0);
    box.shape = static_cast<uint8_t>(IntegerField(b, "shape", bw, 5, kShapeUser, kShapeRectangle));
    box.content = static_cast<int32_t>(
        IntegerField(b, "content", bw, 0, 0xFFFF, DefaultContent(box.kind)));
    box.record_word = static_cast<uint32_t>(IntegerField(b, "recordWord", bw, 0, 0xFFFFFFFF, 0));
    box.layer = static_cast<int32_t>(IntegerField(b, "layer", bw, 0, kInt32Max, 0));
    box.locked = BoolField(b, "locked", bw);
    box.keep_size = BoolField(b, "keepSize", bw);
    box.inset = FixedField(b, "inset", bw, kDefaultInset);
    if (box.inset < 0) Bad(bw + ".inset", "is negative");
    box.master_item = static_cast<int32_t>(IntegerField(b, "masterItem", bw, 0, kMaxItemId, 0));
    box.follows = BoolField(b, "follows", bw);
    const json& polygon = ArrayField(b, "polygon", bw);
    for (std::size_t k = 0; k < polygon.size(); ++k) {
      const std::string pw = At(bw + ".polygon", k);
      if (!polygon[k].is_array() || polygon[k].size() != 2) Bad(pw, "is not a point");
      box.polygon.push_back({Fixed(polygon[k][0], pw + "[0]"), Fixed(polygon[k][1], pw + "[1]")});
    }
    box.data = ReadItemData(b, bw);
    const json& bounds = ArrayField(boxes[i], "bounds", bw);
    if (!bounds.empty() && bounds.size() != 4) Bad(bw + ".bounds", "is not four numbers");
    for (std::size_t k = 0; k < bounds.size(); ++k) {
      box.bounds[k] = Fixed(bounds[k], At(bw + ".bounds", k));
    }
    c->boxes.push_back(box);
  }

  const json& stories = ArrayField(doc, "stories", w);
  for (std::size_t i = 0; i < stories.size(); ++i) {
    c->stories.push_back(ReadStory(stories[i], At(w + ".stories", i)));
  }

  // An item is anchored where a one-unit run of opcode 1 names it.
  for (const Story& story : c->stories) {
    for (const CharacterRun& run : story.runs) {
      if (run.attributes < 0 || static_cast<std::size_t>(run.attributes) >= c->attributes.size()) {
        continue;  // Check() reports it
      }
      const XTCharAttrRecord& a = c->attributes[static_cast<std::size_t>(run.attributes)];
      if ((a.opcode & 0x1F) != kXTOpAnchoredBox || run.length == 0) continue;
      Box* item = c->FindBox(a.object);
      if (item == nullptr) Bad(w, "story " + std::to_string(story.id) + " anchors no item " +
                                      std::to_string(a.object));
      item->anchor = story.id;
    }
  }

  const json& layers = ArrayField(doc, "layers", w);
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const std::string lw = At(w + ".layers", i);
    ExpectObject(layers[i], lw, {"id", "name", "visible", "locked"});
    Layer layer;
    layer.id = static_cast<int32_t>(IntegerField(layers[i], "id", lw, 0, kInt32Max, 0));
    layer.name = TextField(layers[i], "name", lw);
    const json* visible = Field(layers[i], "visible");
    layer.visible = visible == nullptr || BoolField(layers[i], "visible", lw);
    layer.locked = BoolField(layers[i], "locked", lw);
    c->layers.push_back(std::move(layer));
  }
  c->data = ReadItemData(doc, w);
  c->next_item = static_cast<int32_t>(IntegerField(doc, "nextItem", w, 1, kMaxItemId + 1, 1));

  c->current_box = static_cast<int32_t>(IntegerField(doc, "currentBox", w, 0, kMaxItemId, 0));
  c->text_open = BoolField(doc, "textOpen", w);
  if (const json* selection = Field(doc, "selection")) {
    const auto [start, end] = Pair(*selection, w + ".selection", 0, kInt32Max, 0, kInt32Max);
    c->selection_start = static_cast<int32_t>(start);
    c->selection_end = static_cast<int32_t>(end);
  }
  std::string problem;
  if (!c->Check(&problem)) Bad(w, problem);
}

// --- writing ---

void PutFixedValue(JsonWriter& w, int32_t value) {
  if (value % 65536 == 0) {
    w.Int(value / 65536);
  } else {
    w.Double(value / 65536.0);
  }
}

void PutTextValue(JsonWriter& w, const std::u16string& text) {
  std::string bytes;
  if (Utf16ToUtf8(text, &bytes)) {
    w.String(bytes);
    return;
  }
  w.BeginArray();
  for (const char16_t unit : text) w.Int(unit);
  w.EndArray();
}

std::string CodeText(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>(code >> shift);
  return text;
}

void PutValue(JsonWriter& w, bool value) { w.Bool(value); }
void PutValue(JsonWriter& w, int32_t value) { w.Int(value); }
void PutValue(JsonWriter& w, uint32_t value) { w.Int(value); }
void PutValue(JsonWriter& w, const std::string& value) { w.String(value); }

template <class T>
void Put(JsonWriter& w, const char* key, T value, T fallback) {
  if (value == fallback) return;
  w.Key(key);
  PutValue(w, value);
}

void PutFixed(JsonWriter& w, const char* key, int32_t value, int32_t fallback) {
  if (value == fallback) return;
  w.Key(key);
  PutFixedValue(w, value);
}

void PutText(JsonWriter& w, const char* key, const std::u16string& text) {
  if (text.empty()) return;
  w.Key(key);
  PutTextValue(w, text);
}

void PutData(JsonWriter& w, const ItemData& data) {
  if (data.empty()) return;
  w.Key("data");
  w.BeginObject();
  std::string hex;
  for (const auto& [key, bytes] : data) {
    char name[9];
    std::snprintf(name, sizeof name, "%08x", key);
    hex.clear();
    for (const uint8_t byte : bytes) {
      static const char kDigits[] = "0123456789abcdef";
      hex += kDigits[byte >> 4];
      hex += kDigits[byte & 15];
    }
    w.Key(name);
    w.String(hex);
  }
  w.EndObject();
}

// The members of a page, written into the object open in `w`.
void PutPage(JsonWriter& w, const Page& page, bool with_master) {
  PutFixed(w, "width", page.width, kDefaultPageWidth);
  PutFixed(w, "height", page.height, kDefaultPageHeight);
  if (with_master) Put<int32_t>(w, "master", page.master, 1);
  PutData(w, page.data);
}

// Whether a layout's spreads are those a file without spreads gets.
bool DefaultSpreads(const Layout& layout) {
  if (layout.spreads.size() != 1 || layout.spreads[0].pages.size() != 1) return false;
  const Page& page = layout.spreads[0].pages[0];
  return page.width == kDefaultPageWidth && page.height == kDefaultPageHeight &&
         page.master == 1 && page.data.empty();
}

void PutLayout(JsonWriter& w, const Layout& layout) {
  w.BeginObject();
  PutText(w, "name", layout.name);
  Put(w, "type", CodeText(layout.type), CodeText(kPrintLayout));
  Put(w, "modified", layout.modified, false);
  if (!DefaultSpreads(layout)) {
    w.Key("spreads");
    w.BeginArray();
    for (const Spread& spread : layout.spreads) {
      w.BeginObject();
      w.Key("pages");
      w.BeginArray();
      for (const Page& page : spread.pages) {
        w.BeginObject();
        PutPage(w, page, true);
        w.EndObject();
      }
      w.EndArray();
      w.EndObject();
    }
    w.EndArray();
  }
  if (!layout.masters.empty()) {
    w.Key("masters");
    w.BeginArray();
    for (const MasterSpread& master : layout.masters) {
      w.BeginObject();
      PutText(w, "name", master.name);
      PutPage(w, master.page, false);
      w.EndObject();
    }
    w.EndArray();
  }
  Put<int32_t>(w, "view", layout.view, 0);
  w.EndObject();
}

void PutBox(JsonWriter& w, const Box& box) {
  const ItemKind kind = box.story != 0 ? kTextItem : kEmptyItem;
  w.BeginObject();
  w.Key("id");
  w.Int(box.id);
  Put<int32_t>(w, "layout", box.layout, 0);
  Put<int32_t>(w, "story", box.story, 0);
  if (box.bounds != std::array<int32_t, 4>{}) {
    w.Key("bounds");
    w.BeginArray();
    for (const int32_t b : box.bounds) PutFixedValue(w, b);
    w.EndArray();
  }
  if (box.kind != kind) {
    w.Key("kind");
    w.String(kItemKinds[box.kind]);
  }
  Put<int32_t>(w, "spread", box.spread, 1);
  Put(w, "master", box.master, false);
  Put<int32_t>(w, "group", box.group, 0);
  Put<int32_t>(w, "parent", box.parent, 0);
  PutFixed(w, "rotation", box.rotation, 0);
  Put<uint32_t>(w, "shape", box.shape, kShapeRectangle);
  Put<int32_t>(w, "content", box.content, DefaultContent(box.kind));
  Put<uint32_t>(w, "recordWord", box.record_word, 0);
  Put<int32_t>(w, "layer", box.layer, 0);
  Put(w, "locked", box.locked, false);
  Put(w, "keepSize", box.keep_size, false);
  PutFixed(w, "inset", box.inset, kDefaultInset);
  Put<int32_t>(w, "masterItem", box.master_item, 0);
  Put(w, "follows", box.follows, false);
  if (!box.polygon.empty()) {
    w.Key("polygon");
    w.BeginArray();
    for (const auto& point : box.polygon) {
      w.BeginArray();
      PutFixedValue(w, point[0]);
      PutFixedValue(w, point[1]);
      w.EndArray();
    }
    w.EndArray();
  }
  PutData(w, box.data);
  w.EndObject();
}

void PutFormat(JsonWriter& w, const XTParaFormatRecord& f) {
  w.BeginObject();
  Put<uint32_t>(w, "style", f.style, 0);
  Put<uint32_t>(w, "alignment", f.alignment, 0);
  PutFixed(w, "leftIndent", f.left_indent, 0);
  PutFixed(w, "rightIndent", f.right_indent, 0);
  PutFixed(w, "firstIndent", f.first_indent, 0);
  PutFixed(w, "leading", f.leading, 0);
  PutFixed(w, "spaceBefore", f.space_before, 0);
  PutFixed(w, "spaceAfter", f.space_after, 0);
  Put<uint32_t>(w, "hj", f.hj, 0);
  Put<uint32_t>(w, "flags", f.flags, 0);
  if (f.tab_count > 0) {
    w.Key("tabs");
    w.BeginArray();
    for (int i = 0; i < f.tab_count && i < kXTMaxTabs; ++i) {
      w.BeginArray();
      PutFixedValue(w, f.tabs[i].position);
      w.Int(f.tabs[i].align);
      w.Int(f.tabs[i].fill);
      w.EndArray();
    }
    w.EndArray();
  }
  w.EndObject();
}

void PutAttributes(JsonWriter& w, const XTCharAttrRecord& a) {
  const XTCharAttrRecord d = DefaultAttributes();
  w.BeginObject();
  Put<uint32_t>(w, "font", a.font, d.font);
  Put<uint32_t>(w, "faces", a.faces, d.faces);
  PutFixed(w, "size", a.size, d.size);
  PutFixed(w, "shift", a.shift, d.shift);
  Put<uint32_t>(w, "color", a.color, d.color);
  Put<uint32_t>(w, "style", a.style, d.style);
  Put<int32_t>(w, "kerning", a.kerning, d.kerning);
  Put<int32_t>(w, "tracking", a.tracking, d.tracking);
  Put<uint32_t>(w, "flags", a.flags, d.flags);
  Put<uint32_t>(w, "script", a.script, d.script);
  Put<uint32_t>(w, "region", a.region, d.region);
  Put<uint32_t>(w, "opcode", a.opcode, d.opcode);
  Put<int32_t>(w, "object", a.object, d.object);
  Put<int32_t>(w, "mark", a.mark, d.mark);
  w.EndObject();
}

// A story's paragraph or character runs: [[record, length], ...].
template <class Run, class Field>
void PutRuns(JsonWriter& w, const char* key, const std::vector<Run>& runs, Field record) {
  w.Key(key);
  w.BeginArray();
  for (const Run& run : runs) {
    w.BeginArray();
    w.Int(run.*record);
    w.Int(run.length);
    w.EndArray();
  }
  w.EndArray();
}

void PutStory(JsonWriter& w, const Story& story) {
  const Story empty(story.id);
  w.BeginObject();
  w.Key("id");
  w.Int(story.id);
  Put<uint32_t>(w, "options", story.options, 0);
  PutText(w, "text", story.text);
  if (story.paragraphs != empty.paragraphs) PutRuns(w, "paragraphs", story.paragraphs, &ParagraphRun::format);
  if (story.runs != empty.runs) PutRuns(w, "runs", story.runs.whole(), &CharacterRun::attributes);
  w.EndObject();
}

std::size_t gMaxDocumentFile = kMaxDocumentFile;

// "64 MiB", or the bytes of a limit that is no whole number of MiB.
std::string LimitText() {
  const std::size_t limit = gMaxDocumentFile;
  return limit % (1u << 20) == 0 ? std::to_string(limit >> 20) + " MiB" : std::to_string(limit) + " bytes";
}

const char kTooLarge[] = "the document is larger than the host opens (";

// The save of `text`, refused when the host could not open it again.
bool Fits(const std::string& text, std::string* error) {
  if (text.size() <= gMaxDocumentFile) return true;
  *error = kTooLarge + LimitText() + ")";
  return false;
}

}  // namespace

std::size_t MaxDocumentFile() { return gMaxDocumentFile; }
void SetMaxDocumentFile(std::size_t bytes) { gMaxDocumentFile = bytes; }
bool TooLargeToOpen(const std::string& error) { return error.rfind(kTooLarge, 0) == 0; }

bool ParseDocument(const std::string& bytes, DocumentContent* content, std::string* error) {
  if (bytes.size() > MaxDocumentFile()) {
    *error = "the file is larger than " + LimitText();
    return false;
  }
  if (NestingDepth(bytes) > kMaxDepth) {
    *error = "the file nests deeper than a document does";
    return false;
  }
  const json doc = json::parse(bytes, nullptr, false);
  if (doc.is_discarded()) {
    *error = "the file is not JSON";
    return false;
  }
  DocumentContent fresh;
  try {
    ReadContent(doc, &fresh);
  } catch (const BadDocument& bad) {
    *error = bad.what;
    return false;
  } catch (const nlohmann::json::exception& e) {
    *error = e.what();
    return false;
  }
  *content = std::move(fresh);
  return true;
}

std::string FormatDocument(const DocumentContent& c, bool indented) {
  const DocumentContent defaults;
  JsonWriter w(indented);
  // Room for the text the document was formatted to last, and an eighth
  // more: grown by doubling, the text would hold up to twice its size and
  // its old copy while it is made.
  w.Reserve(c.formatted_size + c.formatted_size / 8);
  w.BeginObject();
  w.Key("format");
  w.String(kFormatName);
  w.Key("version");
  w.Int(kFormatVersion);
  Put(w, "untitled", c.untitled, false);
  Put(w, "mac", c.mac, false);
  Put<std::string>(w, "unit", c.unit, "pt");
  Put(w, "decimalComma", c.decimal_comma, false);
  Put<uint32_t>(w, "flags", c.flags, 0);
  // Each list below is left out when empty.
  const auto list = [&w](const char* key, const auto& items, const auto& put) {
    if (items.empty()) return;
    w.Key(key);
    w.BeginArray();
    for (const auto& item : items) put(item);
    w.EndArray();
  };
  list("layouts", c.layouts, [&w](const Layout& layout) { PutLayout(w, layout); });
  Put<int32_t>(w, "currentLayout", c.current_layout, 0);
  list("fonts", c.fonts, [&w](const Font& font) {
    w.BeginObject();
    Put<uint32_t>(w, "id", font.id, 0);
    PutText(w, "name", font.name);
    Put<uint32_t>(w, "script", font.script, kAnyScript);
    w.EndObject();
  });
  list("colors", c.colors, [&w](const Color& color) {
    w.BeginObject();
    Put<uint32_t>(w, "id", color.id, 0);
    PutText(w, "name", color.name);
    Put<std::string>(w, "model", color.model, "QRGB");
    Put<uint32_t>(w, "value", color.value, 0);
    w.EndObject();
  });
  list("styleSheets", c.style_sheets, [&w](const StyleSheet& sheet) {
    w.BeginObject();
    w.Key("id");
    w.Int(sheet.id);
    if (sheet.kind == kCharacterStyle) {
      w.Key("kind");
      w.String("character");
    }
    PutText(w, "name", sheet.name);
    Put<int32_t>(w, "record", sheet.record, 0);
    w.EndObject();
  });
  const bool default_formats =
      c.formats.size() == 1 && SameFormat(c.formats[0], defaults.formats[0]);
  if (!default_formats) {
    list("paragraphFormats", c.formats, [&w](const XTParaFormatRecord& f) { PutFormat(w, f); });
  }
  const bool default_attributes =
      c.attributes.size() == 1 && SameAttributes(c.attributes[0], defaults.attributes[0]);
  if (!default_attributes) {
    list("characterAttributes", c.attributes, [&w](const XTCharAttrRecord& a) { PutAttributes(w, a); });
  }
  list("boxes", c.boxes, [&w](const Box& box) { PutBox(w, box); });
  list("stories", c.stories, [&w](const Story& story) { PutStory(w, story); });
  list("layers", c.layers, [&w](const Layer& layer) {
    w.BeginObject();
    w.Key("id");
    w.Int(layer.id);
    PutText(w, "name", layer.name);
    Put(w, "visible", layer.visible, true);
    Put(w, "locked", layer.locked, false);
    w.EndObject();
  });
  PutData(w, c.data);
  Put<int32_t>(w, "nextItem", c.next_item, 1);
  Put<int32_t>(w, "currentBox", c.current_box, 0);
  Put(w, "textOpen", c.text_open, false);
  if (c.selection_start != 0 || c.selection_end != 0) {
    w.Key("selection");
    w.BeginArray();
    w.Int(c.selection_start);
    w.Int(c.selection_end);
    w.EndArray();
  }
  w.EndObject();
  std::string text = w.Take();
  text += '\n';
  if (indented) c.formatted_size = text.size();
  return text;
}

int32_t LoadDocumentFile(const std::string& path, DocumentContent* content, std::string* error,
                         FileStamp* stamp) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    *error = std::strerror(errno);
    return errno == ENOENT || errno == ENOTDIR ? kXTErrNotFound : kXTErrIo;
  }
  // Taken before the bytes are read: a file replaced meanwhile reads as
  // replaced when the document is saved.
  const FileStamp read = StampOf(path);
  if (!S_ISREG(st.st_mode)) {
    *error = "not a file";
    return kXTErrNotDocument;
  }
  if (static_cast<uint64_t>(st.st_size) > MaxDocumentFile()) {
    *error = "the file is larger than " + LimitText();
    return kXTErrNotDocument;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in && !in.eof()) {
    *error = "cannot read the file";
    return kXTErrIo;
  }
  std::string text = bytes.str();
  if (!ParseDocument(text, content, error)) return kXTErrNotDocument;
  content->NoteOpenedRecords();
  if (stamp != nullptr) {
    *stamp = read;
    stamp->digested = true;
    stamp->digest = ContentDigest(text);
  }
  return kXTOk;
}

int32_t SaveDocumentFile(const std::string& path, const DocumentContent& content,
                         std::string* error, const FileStamp* opened, FileStamp* written) {
  const std::string text = FormatDocument(content);
  if (!Fits(text, error)) return kXTErrIo;
  return WriteDocumentText(path, text, error, opened, written);
}

int32_t SaveDocumentCopyFile(const std::string& path, const DocumentContent& content, std::string* error) {
  // Read back by the host at once, never by a person: on one line.
  const std::string text = FormatDocument(content, false);
  if (!Fits(text, error)) return kXTErrIo;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return SaveFailure(errno, error);
  int reason = win::WriteAll(fd, text.data(), text.size());
  if (::close(fd) != 0 && reason == 0) reason = errno;
  return reason == 0 ? kXTOk : SaveFailure(reason, error);
}

}  // namespace xthost
