// OLEString: a text in one of two forms, narrow (in a code page) or UTF-16,
// converting to the other form on demand.  Both forms live in memory of the
// storage layer's task allocator.
#pragma once

#include <cstdint>

#include "framework/ole_allocator.h"
#include "framework/ole_object.h"

// A Windows code page number; 0 is the system's narrow encoding (UTF-8 here).
using CD_CodePage = uint32_t;

class OLEString : public OLEObject {
 public:
  // Keeps the UTF-16 conversion of the narrow text (not the text itself).
  OLEString(const char* text, CD_CodePage codePage);
  // Keeps the narrow conversion of the UTF-16 text.
  OLEString(const char16_t* text, CD_CodePage codePage);
  OLEString(const OLEString&) = delete;
  OLEString& operator=(const OLEString&) = delete;
  ~OLEString() override;

  // The form asked for, NUL-terminated; converted from the other form on
  // first use and kept.  Null when the text was null or cannot be converted
  // (conversions are strict, nothing is replaced).
  operator const char16_t*() const;
  operator const char*() const;

  CD_CodePage CP() const { return code_page_; }

 private:
  void ToWide(const char* text) const;
  void ToNarrow(const char16_t* text) const;

  mutable char* narrow_ = nullptr;
  mutable char16_t* wide_ = nullptr;
  CD_CodePage code_page_;
  mutable OLEStdAllocator<char> narrow_allocator_;
  mutable OLEStdAllocator<char16_t> wide_allocator_;
};
