// Variant's conversions between numbers and text.  Numbers are parsed and
// printed without the process locale (only ever in the C locale), so the
// results are those of the C locale whatever the process locale is.

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cstring>
#include <string>

#include "framework/variant.h"
#include "platform/win/code_pages.h"

namespace {

// A wide string converted for parsing may take at most 32 bytes with its NUL.
constexpr std::size_t kWideParseLimit = 31;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The characters of a char array up to its first NUL, within its length.
std::string NarrowText(const Variant& value) {
  const char* data = static_cast<const char*>(value);
  std::size_t n = value.ArraySize();
  if (!data) return std::string();
  const void* nul = std::memchr(data, '\0', n);
  return std::string(data, nul ? static_cast<const char*>(nul) - data : n);
}

// The units of a wide-char array up to its first NUL, within its length.
std::u16string WideText(const Variant& value) {
  const auto* data = reinterpret_cast<const uint8_t*>(static_cast<const char*>(value));
  std::u16string text;
  for (uint32_t i = 0; data && i + 1 < value.ArraySize(); i += 2) {
    auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

// The text a string holds, ready for parsing; false for other kinds and for
// a wide string that does not convert to at most kWideParseLimit bytes.
bool ParsableText(const Variant& value, std::string& text) {
  if (value.Type() == kVariantCharArray) {
    text = NarrowText(value);
    return true;
  }
  if (value.Type() == kVariantWideCharArray) {
    std::u16string wide = WideText(value);
    std::string narrow;
    if (!win::WideToMultiByte(win::kCodePageSystem, wide.data(), wide.size(), narrow) ||
        narrow.size() > kWideParseLimit)
      return false;
    text = narrow;
    return true;
  }
  return false;
}

// Like "%ld" on a 32-bit long: blanks, an optional sign, at least one digit;
// what follows is ignored.  A number outside 32 bits fails.
bool ParseLong(const std::string& text, int32_t& result) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t magnitude = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) return false;
  }
  if (digits == 0) return false;
  result = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

// Like "%lf": blanks, an optional sign, a decimal number with optional
// exponent (or inf / nan); what follows is ignored.  A number beyond the
// range of a double reads as "%lf" reads it: infinity when too large, zero
// or a denormal when too small.
bool ParseDouble(const std::string& text, double& result) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return false;
  double value;
  const char* first = text.data() + i;
  auto parsed = std::from_chars(first, text.data() + text.size(), value, std::chars_format::general);
  if (parsed.ptr == first) return false;
  if (parsed.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone; the C library rounds it as scanf
    // does.  The matched digits hold no decimal point of any locale but
    // the C locale's, so they are read in that locale.
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (c_locale == static_cast<locale_t>(0)) return false;
    value = strtod_l(std::string(first, parsed.ptr).c_str(), nullptr, c_locale);
  } else if (parsed.ec != std::errc()) {
    return false;
  }
  result = negative ? -value : value;
  return true;
}

// "%ld" / "%lu" of the 32-bit value, "%lf" of a real.
std::string NumberText(const Variant& value) {
  char buffer[400];
  std::to_chars_result printed;
  char* end = buffer + sizeof buffer;
  switch (value.Type()) {
    case kVariantShort:
    case kVariantLong:
      printed = std::to_chars(buffer, end, value.ExpandedInteger());
      break;
    case kVariantUShort:
    case kVariantULong:
      printed = std::to_chars(buffer, end, static_cast<uint32_t>(value.ExpandedInteger()));
      break;
    default:
      printed = std::to_chars(buffer, end, value.ExpandedReal(), std::chars_format::fixed, 6);
      break;
  }
  return std::string(buffer, printed.ptr);
}

bool IsScalarOf(const Variant& value, VariantDomain domain) {
  return !value.IsArray() && value.Domain() == domain;
}

}  // namespace

bool Variant::ToInteger(Variant& out) const {
  if (IsScalarOf(*this, kDomainIntegers)) {
    out = *this;
    return true;
  }
  std::string text;
  int32_t number;
  if (!ParsableText(*this, text) || !ParseLong(text, number)) return false;
  out = number;
  return true;
}

bool Variant::ToReal(Variant& out) const {
  if (IsScalarOf(*this, kDomainReals)) {
    out = *this;
    return true;
  }
  std::string text;
  double number;
  if (!ParsableText(*this, text) || !ParseDouble(text, number)) return false;
  out = number;
  return true;
}

bool Variant::ToString(Variant& out, bool narrow) const {
  std::string text;  // the narrow text of the result
  if (IsScalarOf(*this, kDomainIntegers) || IsScalarOf(*this, kDomainReals)) {
    text = NumberText(*this);
  } else if (type_ == kVariantCharArray) {
    if (narrow) {
      out = *this;
      return true;
    }
    text = NarrowText(*this);
  } else if (type_ == kVariantWideCharArray && !narrow) {
    out = *this;
    return true;
  } else {
    return false;
  }
  if (narrow) {
    out = text.c_str();
    return true;
  }
  std::u16string wide;
  if (!win::MultiByteToWide(win::kCodePageSystem, text.data(), text.size(), wide)) return false;
  out = wide.c_str();
  return true;
}
