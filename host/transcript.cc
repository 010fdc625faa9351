#include "host/transcript.h"

#include <cstdio>

namespace xthost {

void Transcript::Line(const std::string& text) {
  *out_ << text << '\n';
  out_->flush();
}

std::string Transcript::Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08x", value);
  return buffer;
}

std::string Transcript::SuiteName(uint32_t code) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned char c = static_cast<unsigned char>(code >> shift);
    if (c >= 0x21 && c < 0x7F) {
      name += static_cast<char>(c);
    } else if (shift == 0 && c < 10) {
      name += static_cast<char>('0' + c);
    } else {
      return Hex(code);
    }
  }
  return name;
}

std::string Transcript::XTensionName(uint32_t id) {
  std::string name;
  for (int shift = 0; shift < 32; shift += 8) {
    const unsigned char c = static_cast<unsigned char>(id >> shift);
    if (c == 0) break;
    if (c < 0x21 || c >= 0x7F) return Hex(id);
    name += static_cast<char>(c);
  }
  return name.empty() ? Hex(id) : name;
}

std::string Transcript::Quote(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
      out += buffer;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

}  // namespace xthost
