#include "host/json_writer.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace xthost {

void JsonWriter::BeforeValue() {
  if (keyed_ || counts_.empty()) {
    keyed_ = false;
    return;
  }
  text_ += counts_.back()++ == 0 ? "\n" : ",\n";
  text_.append(2 * counts_.size(), ' ');
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  counts_.push_back(0);
}

void JsonWriter::Close(char bracket) {
  const bool empty = counts_.back() == 0;
  counts_.pop_back();
  if (!empty) {
    text_ += '\n';
    text_.append(2 * counts_.size(), ' ');
  }
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
  text_ += "\": ";
  keyed_ = true;
}

void JsonWriter::Int(int64_t value) {
  BeforeValue();
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  text_.append(buffer, end);
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
  for (const char c : value) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
      // Escapes and UTF-8 checks as the library makes them.
      text_ += nlohmann::ordered_json(value).dump();
      return;
    }
  }
  text_ += '"';
  text_ += value;
  text_ += '"';
}

}  // namespace xthost
