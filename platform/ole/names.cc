#include "platform/ole/names.h"

namespace ole {
namespace {

// Pairs laid out as upper at an even code and lower at the next odd one
// (or the other way round when `lower_even` is set).
char16_t PairUpcase(char16_t c, bool lower_even) {
  bool odd = (c & 1) != 0;
  return (odd != lower_even) ? static_cast<char16_t>(c - 1) : c;
}

}  // namespace

char16_t UpcaseUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x39C;
    if (c == 0xFF) return 0x178;
    if (c >= 0xE0 && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
  }
  if (c < 0x180) {
    if (c == 0x131) return u'I';
    if (c == 0x17F) return u'S';
    if (c <= 0x137 || (c >= 0x14A && c <= 0x177)) return PairUpcase(c, false);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return PairUpcase(c, true);
    return c;
  }
  if (c >= 0x370 && c < 0x400) {  // Greek
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3CB) return static_cast<char16_t>(c - 0x20);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
    return c;
  }
  if (c >= 0x400 && c < 0x530) {  // Cyrillic
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
      return PairUpcase(c, false);
    }
    if (c >= 0x4C1 && c <= 0x4CE) return PairUpcase(c, true);
    if (c == 0x4CF) return 0x4C0;
    return c;
  }
  if (c >= 0x561 && c <= 0x586) return static_cast<char16_t>(c - 0x30);  // Armenian
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return PairUpcase(c, false);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);  // fullwidth
  return c;
}

int CompareNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = UpcaseUnit(a[i]);
    char16_t y = UpcaseUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

Result TakeName(const char16_t* name, std::u16string* out) {
  if (name == nullptr) return STG_E_INVALIDPOINTER;
  size_t n = 0;
  while (name[n] != 0) {
    if (n == kMaxNameLength) return STG_E_INVALIDNAME;
    char16_t c = name[n];
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!') return STG_E_INVALIDNAME;
    ++n;
  }
  if (n == 0) return STG_E_INVALIDNAME;
  out->assign(name, n);
  return S_OK;
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    uint32_t c = p[i];
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t code = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    bool ok = extra >= 0 && i + extra < n;
    for (int k = 1; ok && k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ok = false;
      else code = (code << 6) | (p[i + k] & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && (code < kMin[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += extra + 1;
  }
  return out;
}

}  // namespace ole
