#include "platform/win/code_pages.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace win {

namespace {

// Windows-1252 bytes 0x80 to 0x9F.  The other bytes are their own code
// points (ASCII and Latin-1).  Windows gives the five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) the C1 control of the same
// number; glibc rejects them, hence our own table.
constexpr char16_t kWestern80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr std::array<char16_t, 256> MakeWesternTable() {
  std::array<char16_t, 256> table{};
  for (int b = 0; b < 256; ++b)
    table[b] = (b >= 0x80 && b < 0xA0) ? kWestern80[b - 0x80] : static_cast<char16_t>(b);
  return table;
}
constexpr std::array<char16_t, 256> kWestern = MakeWesternTable();

bool IsUtf8(uint32_t codePage) { return codePage == kCodePageSystem || codePage == kCodePageUtf8; }

bool WesternToWide(const unsigned char* text, std::size_t len, std::u16string& out) {
  out.resize(len);
  for (std::size_t i = 0; i < len; ++i) out[i] = kWestern[text[i]];
  return true;
}

bool WideToWestern(const char16_t* text, std::size_t len, std::string& out) {
  out.resize(len);
  for (std::size_t i = 0; i < len; ++i) {
    char16_t c = text[i];
    int byte = -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      byte = c;
    } else {
      for (int k = 0; k < 32; ++k)
        if (kWestern80[k] == c) byte = 0x80 + k;
    }
    if (byte < 0) return false;
    out[i] = static_cast<char>(byte);
  }
  return true;
}

// Strict UTF-8: no overlong forms, no encoded surrogates, nothing above
// U+10FFFF, no sequence cut short.
bool Utf8ToWide(const unsigned char* text, std::size_t len, std::u16string& out) {
  out.clear();
  out.reserve(len);
  std::size_t i = 0;
  while (i < len) {
    unsigned b = text[i];
    if (b < 0x80) {
      out.push_back(static_cast<char16_t>(b));
      ++i;
      continue;
    }
    int extra;
    char32_t c;
    unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (len - i <= static_cast<std::size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned t = text[i + k];
      if (k == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) return false;
      c = (c << 6) | (t & 0x3F);
    }
    i += extra + 1;
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
  }
  return true;
}

bool WideToUtf8(const char16_t* text, std::size_t len, std::string& out) {
  out.clear();
  out.reserve(len);
  for (std::size_t i = 0; i < len; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c > 0xDBFF || i + 1 >= len || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

// One iconv conversion descriptor, closed when it goes.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in` and ends the output in the initial shift state.
  // Fails on invalid or incomplete input and on unconvertible characters.
  bool Convert(const char* in, std::size_t len, std::string& out) {
    out.assign(len * 2 + 16, '\0');
    std::size_t done = 0;
    char* inp = const_cast<char*>(in);  // iconv's prototype; it never writes
    std::size_t inleft = len;
    bool flushing = false;
    for (;;) {
      char* outp = &out[done];
      std::size_t outleft = out.size() - done;
      std::size_t r = flushing ? iconv(cd_, nullptr, nullptr, &outp, &outleft)
                               : iconv(cd_, &inp, &inleft, &outp, &outleft);
      int error = errno;
      done = out.size() - outleft;
      if (r == static_cast<std::size_t>(-1)) {
        if (error != E2BIG) return false;
        out.resize(out.size() * 2);
        continue;
      }
      if (flushing) break;
      flushing = true;
    }
    out.resize(done);
    return true;
  }

 private:
  iconv_t cd_;
};

std::string IconvName(uint32_t codePage) { return "CP" + std::to_string(codePage); }

}  // namespace

bool MultiByteToWide(uint32_t codePage, const char* text, std::size_t len, std::u16string& out) {
  if (!text && len > 0) return false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::u16string result;
  if (IsUtf8(codePage)) {
    if (!Utf8ToWide(bytes, len, result)) return false;
  } else if (codePage == kCodePageWestern) {
    WesternToWide(bytes, len, result);
  } else {
    Iconv cd("UTF-16LE", IconvName(codePage).c_str());
    std::string units;
    if (!cd.ok() || !cd.Convert(text, len, units) || units.size() % 2 != 0) return false;
    result.resize(units.size() / 2);
    for (std::size_t i = 0; i < result.size(); ++i)
      result[i] = static_cast<char16_t>(static_cast<unsigned char>(units[2 * i]) |
                                        static_cast<unsigned char>(units[2 * i + 1]) << 8);
  }
  out.swap(result);
  return true;
}

bool WideToMultiByte(uint32_t codePage, const char16_t* text, std::size_t len, std::string& out) {
  if (!text && len > 0) return false;
  std::string result;
  if (IsUtf8(codePage)) {
    if (!WideToUtf8(text, len, result)) return false;
  } else if (codePage == kCodePageWestern) {
    if (!WideToWestern(text, len, result)) return false;
  } else {
    Iconv cd(IconvName(codePage).c_str(), "UTF-16LE");
    if (!cd.ok()) return false;
    std::string units(2 * len, '\0');
    for (std::size_t i = 0; i < len; ++i) {
      units[2 * i] = static_cast<char>(text[i] & 0xFF);
      units[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    if (!cd.Convert(units.data(), units.size(), result)) return false;
  }
  out.swap(result);
  return true;
}

}  // namespace win
