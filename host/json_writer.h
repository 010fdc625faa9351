// Writing JSON text straight into a string, laid out byte for byte as
// nlohmann::json's dump(2) lays out the same values (members in the order
// written), or as dump() does when not indented, without building a tree
// first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xthost {

class JsonWriter {
 public:
  explicit JsonWriter(bool indented = true) : indented_(indented) {}
  // Containers nest; a member's key goes before its value, an array's items
  // need none.  An empty container is written "{}" or "[]".
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(const char* key);  // a key of printable ASCII without quotes or backslashes

  void Int(int64_t value);
  void Bool(bool value);
  void Double(double value);
  // Text in UTF-8; text that is not throws as dump() does.
  void String(const std::string& value);

  // Room for `size` bytes of text.
  void Reserve(std::size_t size) { text_.reserve(size); }
  // The text so far; the writer is done with it.
  std::string Take() { return std::move(text_); }

 private:
  void BeforeValue();
  // A line break and the indentation of `depth` open containers.
  void NewLine(std::size_t depth);
  // A comma, a line break and the indentation of `depth` open containers
  // (a comma alone when not indented).
  std::string_view Indent(std::size_t depth);
  void Open(char bracket);
  void Close(char bracket);

  std::string text_;
  std::vector<int32_t> counts_;  // members or items written, per open container
  bool keyed_ = false;           // a key was written and awaits its value
  std::string indent_;           // Indent's text
  bool indented_;
};

}  // namespace xthost
