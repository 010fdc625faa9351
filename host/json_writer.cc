#include "host/json_writer.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace xthost {
namespace {

// A byte that stands for itself inside a string.
bool IsPlain(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
}

}  // namespace

void JsonWriter::BeforeValue() {
  if (keyed_ || counts_.empty()) {
    keyed_ = false;
    return;
  }
  const bool comma = counts_.back()++ != 0;
  const std::string_view lead = Indent(counts_.size());
  text_.append(comma ? lead : lead.substr(1));
}

std::string_view JsonWriter::Indent(std::size_t depth) {
  if (!indented_) return ",";
  // ",\n" and spaces, kept for the deepest level so far: one append serves.
  const std::size_t spaces = 2 * depth;
  if (indent_.size() < spaces + 2) indent_ = ",\n" + std::string(spaces + 32, ' ');
  return std::string_view(indent_).substr(0, spaces + 2);
}

void JsonWriter::NewLine(std::size_t depth) { text_.append(Indent(depth).substr(1)); }

void JsonWriter::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  counts_.push_back(0);
}

void JsonWriter::Close(char bracket) {
  const bool empty = counts_.back() == 0;
  counts_.pop_back();
  if (!empty) NewLine(counts_.size());
  text_ += bracket;
}

void JsonWriter::BeginObject() { Open('{'); }
void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::BeginArray() { Open('['); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(const char* key) {
  BeforeValue();
  text_ += '"';
  text_ += key;
  text_ += indented_ ? "\": " : "\":";
  keyed_ = true;
}

void JsonWriter::Int(int64_t value) {
  BeforeValue();
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  text_.append(buffer, static_cast<std::size_t>(end - buffer));
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
}

void JsonWriter::Double(double value) {
  BeforeValue();
  // Rare in a document: the library's own number format keeps the bytes.
  text_ += nlohmann::ordered_json(value).dump();
}

void JsonWriter::String(const std::string& value) {
  BeforeValue();
  const std::size_t start = text_.size();
  text_ += '"';
  for (std::size_t at = 0; at < value.size(); ++at) {
    // Printable ASCII goes over in spans.
    std::size_t plain = at;
    while (plain < value.size() && IsPlain(value[plain])) ++plain;
    if (plain != at) {
      text_.append(value, at, plain - at);
      at = plain;
      if (at == value.size()) break;
    }
    const char c = value[at];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      // UTF-8 is checked and written as the library does it.
      text_.resize(start);
      text_ += nlohmann::ordered_json(value).dump();
      return;
    }
    text_ += '\\';
    switch (c) {
      case '"': text_ += '"'; break;
      case '\\': text_ += '\\'; break;
      case '\b': text_ += 'b'; break;
      case '\f': text_ += 'f'; break;
      case '\n': text_ += 'n'; break;
      case '\r': text_ += 'r'; break;
      case '\t': text_ += 't'; break;
      default: {
        static const char kDigits[] = "0123456789abcdef";
        text_ += "u00";
        text_ += kDigits[byte >> 4];
        text_ += kDigits[byte & 15];
      }
    }
  }
  text_ += '"';
}

}  // namespace xthost
