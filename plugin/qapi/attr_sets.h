// What the size and shift conversions need of an attribute set: the export
// side sets named text values, the import side reads them.  The container
// facades implement these.
#pragma once

#include <cstdint>
#include <string>

class AttrWriter {
 public:
  // Stores name = value; false when the set refuses it.
  virtual bool SetAttr(const char16_t* name, const char16_t* value) = 0;

 protected:
  ~AttrWriter() = default;
};

class AttrReader {
 public:
  // The value of `name`; empty when the set has none.
  virtual std::u16string GetAttr(const char16_t* name) = 0;

 protected:
  ~AttrReader() = default;
};

// Stores `value` as decimal text ("%ld"), or with `hex` as lower-case
// hexadecimal without prefix ("%lx" of the 32-bit value); the result of
// SetAttr.
bool SetNumericAttr(AttrWriter& set, const char16_t* name, int32_t value, bool hex);
