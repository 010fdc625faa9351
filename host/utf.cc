#include "host/utf.h"

namespace xthost {

bool Utf16ToUtf8(const std::u16string& in, std::string* out) {
  out->clear();
  out->reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    // ASCII goes over in spans.
    std::size_t ascii = i;
    while (ascii < in.size() && in[ascii] < 0x80) ++ascii;
    if (ascii != i) {
      const std::size_t at = out->size();
      out->resize(at + (ascii - i));
      for (std::size_t k = i; k < ascii; ++k) (*out)[at + (k - i)] = static_cast<char>(in[k]);
      i = ascii;
      if (i == in.size()) break;
    }
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | (c >> 6));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | (c >> 12));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (c >> 18));
      *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

bool Utf8ToUtf16(const std::string& in, std::u16string* out) {
  out->clear();
  for (std::size_t i = 0; i < in.size();) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    int extra;
    char32_t c;
    if (b < 0x80) {
      extra = 0;
      c = b;
    } else if (b >= 0xC2 && b < 0xE0) {
      extra = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b < 0xF0) {
      extra = 2;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b < 0xF5) {
      extra = 3;
      c = b & 0x07;
    } else {
      return false;
    }
    if (i + extra >= in.size()) return false;  // a sequence cut short
    for (int k = 1; k <= extra; ++k) {
      const unsigned char n = static_cast<unsigned char>(in[i + k]);
      if ((n & 0xC0) != 0x80) return false;
      c = (c << 6) | (n & 0x3F);
    }
    if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return false;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      *out += static_cast<char16_t>(0xD800 + (c >> 10));
      *out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      *out += static_cast<char16_t>(c);
    }
    i += 1 + extra;
  }
  return true;
}

}  // namespace xthost
