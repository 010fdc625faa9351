#include "framework/ole_string.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/win/code_pages.h"

OLEString::OLEString(const char* text, CD_CodePage codePage) : code_page_(codePage) {
  if (text) ToWide(text);
}

OLEString::OLEString(const char16_t* text, CD_CodePage codePage) : code_page_(codePage) {
  if (text) ToNarrow(text);
}

OLEString::~OLEString() {
  narrow_allocator_.Free(narrow_);
  wide_allocator_.Free(wide_);
}

// Both conversions include the terminating NUL, so the results end in one.
void OLEString::ToWide(const char* text) const {
  std::u16string wide;
  if (!win::MultiByteToWide(code_page_, text, std::strlen(text) + 1, wide)) return;
  wide_ = wide_allocator_.Alloc(wide.size());
  std::copy(wide.begin(), wide.end(), wide_);
}

void OLEString::ToNarrow(const char16_t* text) const {
  size_t length = 0;
  while (text[length]) ++length;
  std::string narrow;
  if (!win::WideToMultiByte(code_page_, text, length + 1, narrow)) return;
  narrow_ = narrow_allocator_.Alloc(narrow.size());
  std::copy(narrow.begin(), narrow.end(), narrow_);
}

OLEString::operator const char16_t*() const {
  if (!wide_ && narrow_) ToWide(narrow_);
  return wide_;
}

OLEString::operator const char*() const {
  if (!narrow_ && wide_) ToNarrow(wide_);
  return narrow_;
}
