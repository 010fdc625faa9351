// A reader of the stand-in host's tag notation (host/README.md, "The tag
// notation") for tests, and the check that a story's tags say what the
// story holds: its text, paragraph style names and, for every unit, the
// character attributes and the object it belongs to.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "host/document.h"

namespace tagtest {

// What one stretch of text carries: the attributes of the run tag in force
// and the object tag around it ("" or "box id=N" / "obj op=N[ id=M]").
struct Stretch {
  std::map<std::string, std::u16string> attributes;  // values unquoted
  std::string object;
};

struct Tags {
  bool ok = true;
  std::string error;
  int version = 0;
  int encoding = 0;
  std::u16string text;                     // returns as U+000D
  std::vector<std::u16string> paragraphs;  // style name per <p>, "" for none
  std::vector<Stretch> units;              // one per unit of `text`
};

namespace detail {

inline void Fail(Tags& tags, const std::string& why) {
  if (tags.ok) tags.error = why;
  tags.ok = false;
}

inline void AppendCodePoint(std::u16string& out, uint32_t c) {
  if (c >= 0x10000) {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    out += static_cast<char16_t>(c);
  }
}

// A quoted name from `at` (on the '"'); `at` moves past the closing quote.
inline bool ReadQuoted(const std::u16string& s, size_t& at, std::u16string* out, Tags& tags) {
  ++at;
  while (at < s.size() && s[at] != '"') {
    if (s[at] == '\\') {
      if (at + 6 > s.size() || s[at + 1] != 'u') return Fail(tags, "bad escape in a name"), false;
      const std::string hex(s.begin() + static_cast<long>(at) + 2, s.begin() + static_cast<long>(at) + 6);
      *out += static_cast<char16_t>(std::strtoul(hex.c_str(), nullptr, 16));
      at += 6;
    } else {
      *out += s[at++];
    }
  }
  if (at >= s.size()) return Fail(tags, "unterminated name"), false;
  ++at;
  return true;
}

inline std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

}  // namespace detail

inline Tags Read(const std::u16string& s) {
  static const std::map<std::string, char16_t> kSpecials = {
      {"pagelast", 0x01}, {"pagecur", 0x02}, {"pagenext", 0x03}, {"colbreak", 0x0B}, {"boxbreak", 0x0C},
      {"condmark", 0x1C}, {"indent", 0x1E},  {"nbsp", 0xA0},     {"shy", 0xAD},      {"ensp", 0x2002},
      {"emsp", 0x2003},   {"nbhyphen", 0x2011}, {"line", 0x2028}};
  Tags tags;
  Stretch current;
  size_t at = 0;
  const auto put = [&](size_t from) {
    while (tags.units.size() < tags.text.size()) tags.units.push_back(current);
    (void)from;
  };
  while (at < s.size() && tags.ok) {
    const char16_t c = s[at];
    if (c == '>') {
      detail::Fail(tags, "a bare '>'");
      break;
    }
    if (c != '<') {
      tags.text += c == '\n' ? u'\r' : c;
      put(at++);
      continue;
    }
    // A tag: its name up to a blank or '>', then attributes.
    size_t end = at + 1;
    while (end < s.size() && s[end] != ' ' && s[end] != '>' && s[end] != '"') ++end;
    const std::string name = detail::Narrow(s.substr(at + 1, end - at - 1));
    std::map<std::string, std::u16string> attrs;
    std::vector<std::u16string> words;
    at = end;
    while (at < s.size() && s[at] != '>' && tags.ok) {
      if (s[at] == ' ') {
        ++at;
      } else if (s[at] == '"') {
        std::u16string word;
        if (detail::ReadQuoted(s, at, &word, tags)) words.push_back(word);
      } else {
        size_t stop = at;
        while (stop < s.size() && s[stop] != ' ' && s[stop] != '>' && s[stop] != '=') ++stop;
        const std::string key = detail::Narrow(s.substr(at, stop - at));
        at = stop;
        if (at < s.size() && s[at] == '=') {
          ++at;
          std::u16string value;
          if (at < s.size() && s[at] == '"') {
            detail::ReadQuoted(s, at, &value, tags);
          } else {
            while (at < s.size() && s[at] != ' ' && s[at] != '>') value += s[at++];
          }
          attrs[key] = value;
        } else {
          words.push_back(std::u16string(key.begin(), key.end()));
        }
      }
    }
    if (at >= s.size()) {
      detail::Fail(tags, "unterminated tag <" + name);
      break;
    }
    ++at;
    if (name == "xtags") {
      if (words.size() != 2 || !tags.text.empty()) detail::Fail(tags, "bad header");
      else {
        tags.version = std::atoi(detail::Narrow(words[0]).c_str());
        tags.encoding = std::atoi(detail::Narrow(words[1]).c_str());
      }
    } else if (name == "p") {
      tags.paragraphs.push_back(words.empty() ? std::u16string() : words[0]);
    } else if (name == "r") {
      current.attributes = attrs;
    } else if (name == "box" || name == "obj") {
      current.object = name;
      for (const char* key : {"op", "id"}) {
        if (attrs.count(key) != 0) current.object += std::string(" ") + key + "=" + detail::Narrow(attrs[key]);
      }
    } else if (name == "/box" || name == "/obj") {
      current.object.clear();
    } else if (!name.empty() && name[0] == '#') {
      detail::AppendCodePoint(tags.text, static_cast<uint32_t>(std::strtoul(name.c_str() + 1, nullptr, 16)));
      put(at);
    } else if (!name.empty() && name[0] == '\\' && kSpecials.count(name.substr(1)) != 0) {
      tags.text += kSpecials.at(name.substr(1));
      put(at);
    } else {
      detail::Fail(tags, "unknown tag <" + name + ">");
    }
  }
  return tags;
}

// Where the tags of `story` differ from it: "" when they say the same.
inline std::string Compare(const xthost::DocumentContent& doc, const xthost::Story& story, const Tags& tags) {
  if (!tags.ok) return "unreadable: " + tags.error;
  if (tags.text != story.text) return "text differs";
  if (story.text.empty()) return "";
  if (tags.paragraphs.size() != story.paragraphs.size()) return "paragraph count differs";
  for (size_t p = 0; p < story.paragraphs.size(); ++p) {
    const auto& format = doc.formats.at(static_cast<size_t>(story.paragraphs[p].format));
    std::u16string name;
    for (const auto& sheet : doc.style_sheets) {
      if (sheet.id == format.style && sheet.kind == xthost::kParagraphStyle) name = sheet.name;
    }
    if (tags.paragraphs[p] != name) return "style of paragraph " + std::to_string(p) + " differs";
  }
  // Each unit's record rebuilt from its stretch and compared field by field.
  size_t unit = 0;
  for (const xthost::CharacterRun& run : story.runs) {
    const XTCharAttrRecord& want = doc.attributes.at(static_cast<size_t>(run.attributes));
    for (int32_t k = 0; k < run.length; ++k, ++unit) {
      const Stretch& s = tags.units.at(unit);
      XTCharAttrRecord got = doc.attributes.at(0);
      auto value = [&s](const char* key) { return detail::Narrow(s.attributes.at(key)); };
      if (s.attributes.count("cstyle")) {
        for (const auto& sheet : doc.style_sheets) {
          if (sheet.kind == xthost::kCharacterStyle && sheet.name == s.attributes.at("cstyle")) {
            got = doc.attributes.at(static_cast<size_t>(sheet.record));
            got.style = sheet.id;
          }
        }
        if (got.style == 0) got.style = static_cast<uint16_t>(std::atoi(value("cstyle").c_str()));
      }
      if (s.attributes.count("font")) {
        got.font = static_cast<uint16_t>(std::atoi(value("font").c_str()));
        for (const auto& font : doc.fonts) {
          if (font.name == s.attributes.at("font")) got.font = font.id;
        }
      }
      if (s.attributes.count("color")) {
        got.color = static_cast<uint16_t>(std::atoi(value("color").c_str()));
        for (const auto& color : doc.colors) {
          if (!color.name.empty() && color.name == s.attributes.at("color")) got.color = color.id;
        }
      }
      const auto fixed = [&](const char* key) { return static_cast<int32_t>(std::lround(std::atof(value(key).c_str()) * 65536)); };
      if (s.attributes.count("size")) got.size = fixed("size");
      if (s.attributes.count("shift")) got.shift = fixed("shift");
      if (s.attributes.count("faces")) got.faces = static_cast<uint16_t>(std::strtoul(value("faces").c_str(), nullptr, 16));
      if (s.attributes.count("flags")) got.flags = static_cast<uint16_t>(std::strtoul(value("flags").c_str(), nullptr, 16));
      if (s.attributes.count("track")) got.tracking = std::atoi(value("track").c_str());
      if (s.attributes.count("kern")) got.kerning = std::atoi(value("kern").c_str());
      if (s.attributes.count("script")) got.script = static_cast<uint8_t>(std::atoi(value("script").c_str()));
      if (s.attributes.count("region")) got.region = static_cast<uint8_t>(std::atoi(value("region").c_str()));
      std::string object;
      if (want.opcode == 1) object = "box id=" + std::to_string(want.object);
      else if (want.opcode != 0) object = "obj op=" + std::to_string(want.opcode) + (want.object != 0 ? " id=" + std::to_string(want.object) : "");
      const bool same = got.font == want.font && got.faces == want.faces && got.size == want.size &&
                        got.shift == want.shift && got.color == want.color && got.style == want.style &&
                        got.kerning == want.kerning && got.tracking == want.tracking && got.flags == want.flags &&
                        got.script == want.script && got.region == want.region && s.object == object;
      if (!same) return "attributes of unit " + std::to_string(unit) + " differ (object \"" + s.object + "\")";
    }
  }
  return "";
}

}  // namespace tagtest
