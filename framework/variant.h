// Variant: the framework's tagged value.
//
// A Variant holds nothing, one scalar of nine kinds, or an array of one of
// those kinds.  Attribute values, property-set values and code-file
// properties are Variants.  It converts between kinds, compares values across
// the kinds of one domain, and has a compact serialised form:
//
//   u16 header = element size * 1024 + type code
//   u32 data length in bytes            (arrays only)
//   the value bytes                     (element size, or the data length)
//
// all little-endian.  The value widths are fixed whatever the platform: long
// and unsigned long are 32 bits, a wide char is one UTF-16 unit.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/streams.h"

// Type codes.  Bits 0, 1 and 3 give the domain, bit 2 flags an array, the
// high bits tell the kinds of one domain apart.
enum VariantType : uint16_t {
  kVariantEmpty = 0x00,
  kVariantBool = 0x11,
  kVariantChar = 0x21,
  kVariantWideChar = 0x31,
  kVariantShort = 0x12,
  kVariantLong = 0x22,
  kVariantUShort = 0x32,
  kVariantULong = 0x42,
  kVariantFloat = 0x13,
  kVariantDouble = 0x23,

  kVariantArrayFlag = 0x04,
  kVariantBoolArray = 0x15,
  kVariantCharArray = 0x25,  // a narrow string when it ends in its NUL
  kVariantWideCharArray = 0x35,  // a wide string when it ends in its NUL
  kVariantShortArray = 0x16,
  kVariantLongArray = 0x26,
  kVariantUShortArray = 0x36,
  kVariantULongArray = 0x46,
  kVariantFloatArray = 0x17,
  kVariantDoubleArray = 0x27,
};

// Type code AND 0x0B.
enum VariantDomain : uint16_t {
  kDomainNone = 0,
  kDomainCharacters = 1,  // bool, char, wide char
  kDomainIntegers = 2,
  kDomainReals = 3,
};

class Variant;

// Type-specific writing and reading of value bytes, one handler per kind,
// found by type code.
namespace Variant_private {

// The handler of the empty value: writes nothing, reads nothing.
class Case {
 public:
  virtual ~Case() = default;
  // A scalar writes exactly its element size of bytes and ignores n; an array
  // writes its first n data bytes (at most its length).
  virtual void Write(OutStream& out, const Variant& value, uint32_t n) const;
  // A scalar reads its element size of bytes; an array reads up to `length`
  // bytes, allocating only as the bytes arrive.  Returns the bytes read.
  virtual uint32_t Read(InStream& in, Variant& value, uint32_t length) const;
};

// The handler of the kind whose elements are T (bool, char, char16_t,
// int16_t, int32_t, uint16_t, uint32_t, float, double); one serves both the
// scalar and the array code of the kind.
template <class T>
class VariantCaseImpl : public Case {
 public:
  void Write(OutStream& out, const Variant& value, uint32_t n) const override;
  uint32_t Read(InStream& in, Variant& value, uint32_t length) const override;
};

constexpr unsigned kCaseTableSize = 71;

// The handler of a type code: entry 0 is the empty value's Case, the 18
// codes of the kinds have their VariantCaseImpl, every other code (and every
// code past the table) has none (null).
const Case* FindCase(unsigned code);

}  // namespace Variant_private

class Variant {
 public:
  // Empty.
  Variant() = default;

  // Scalars.  long and unsigned long (64 bits on this platform) are accepted
  // for the 32-bit kinds so that Variant(5L) means what it says; a value that
  // does not fit in 32 bits throws std::out_of_range.
  Variant(bool value) { *this = value; }
  Variant(char value) { *this = value; }
  Variant(char16_t value) { *this = value; }
  Variant(int16_t value) { *this = value; }
  Variant(int32_t value) { *this = value; }
  Variant(uint16_t value) { *this = value; }
  Variant(uint32_t value) { *this = value; }
  Variant(long value) { *this = value; }
  Variant(unsigned long value) { *this = value; }
  Variant(float value) { *this = value; }
  Variant(double value) { *this = value; }

  // Arrays of count elements, copied from data; zero-filled when data is
  // null.  A byte size above 4 GiB - 1 raises failure 32773.
  Variant(const bool* data, unsigned count) { assign(data, count); }
  Variant(const char* data, unsigned count) { assign(data, count); }
  Variant(const char16_t* data, unsigned count) { assign(data, count); }
  Variant(const int16_t* data, unsigned count) { assign(data, count); }
  Variant(const int32_t* data, unsigned count) { assign(data, count); }
  Variant(const uint16_t* data, unsigned count) { assign(data, count); }
  Variant(const uint32_t* data, unsigned count) { assign(data, count); }
  Variant(const float* data, unsigned count) { assign(data, count); }
  Variant(const double* data, unsigned count) { assign(data, count); }

  // Strings: the characters and the terminating NUL.  A null pointer gives
  // the empty string (just the NUL).
  Variant(const char* text) { assign(text); }
  Variant(const char16_t* text) { assign(text); }

  // Any other pointer would silently become a bool.
  Variant(const void*) = delete;

  Variant(const Variant&) = default;
  Variant(Variant&&) noexcept = default;
  Variant& operator=(const Variant&) = default;
  Variant& operator=(Variant&&) noexcept = default;
  virtual ~Variant() = default;

  void assign(const bool* data, unsigned count);
  void assign(const char* data, unsigned count);
  void assign(const char16_t* data, unsigned count);
  void assign(const int16_t* data, unsigned count);
  void assign(const int32_t* data, unsigned count);
  void assign(const uint16_t* data, unsigned count);
  void assign(const uint32_t* data, unsigned count);
  void assign(const float* data, unsigned count);
  void assign(const double* data, unsigned count);
  void assign(const char* text);
  void assign(const char16_t* text);

  Variant& operator=(bool value);
  Variant& operator=(char value);
  Variant& operator=(char16_t value);
  Variant& operator=(int16_t value);
  Variant& operator=(int32_t value);
  Variant& operator=(uint16_t value);
  Variant& operator=(uint32_t value);
  Variant& operator=(long value);
  Variant& operator=(unsigned long value);
  Variant& operator=(float value);
  Variant& operator=(double value);
  Variant& operator=(const char* text) {
    assign(text);
    return *this;
  }
  Variant& operator=(const char16_t* text) {
    assign(text);
    return *this;
  }
  Variant& operator=(const void*) = delete;

  VariantType Type() const { return static_cast<VariantType>(type_); }
  VariantDomain Domain() const { return static_cast<VariantDomain>(type_ & 0x0B); }
  unsigned TypeSize() const { return size_; }
  bool IsArray() const { return (type_ & kVariantArrayFlag) != 0; }
  // The array's length in bytes; 0 for a scalar.
  uint32_t ArraySize() const { return static_cast<uint32_t>(data_.size()); }

  // short sign-extended, unsigned short zero-extended, long and unsigned long
  // as their 32 bits (so unsigned 0xFFFFFFFF is -1); 0 for every other kind.
  int32_t ExpandedInteger() const;
  // float widened, double unchanged; 0.0 for every other kind.
  double ExpandedReal() const;

  // The value's bytes are a scalar's stored bytes or an array's data.  char
  // and char16_t give the first byte or UTF-16 unit of them (0 when there is
  // none), short gives ExpandedInteger, float and double ExpandedReal.
  explicit operator char() const;
  explicit operator char16_t() const;
  explicit operator int16_t() const { return static_cast<int16_t>(ExpandedInteger()); }
  explicit operator float() const { return static_cast<float>(ExpandedReal()); }
  explicit operator double() const { return ExpandedReal(); }
  // The array's data (little-endian elements); null for a scalar or empty.
  explicit operator char*() { return IsArray() ? reinterpret_cast<char*>(data_.data()) : nullptr; }
  explicit operator const char*() const {
    return IsArray() ? reinterpret_cast<const char*>(data_.data()) : nullptr;
  }
  // The value's first byte, writable in place (for an empty value or an
  // empty array, a zero byte held in place).
  explicit operator char&();

  // bool, char and char16_t need exactly that scalar code and an equal value;
  // the integers need the integer domain and compare ExpandedInteger; float
  // and double need the real domain and compare ExpandedReal.
  bool operator==(bool value) const;
  bool operator==(char value) const;
  bool operator==(char16_t value) const;
  bool operator==(int16_t value) const { return Domain() == kDomainIntegers && ExpandedInteger() == value; }
  bool operator==(int32_t value) const { return Domain() == kDomainIntegers && ExpandedInteger() == value; }
  bool operator==(uint16_t value) const { return Domain() == kDomainIntegers && ExpandedInteger() == value; }
  bool operator==(float value) const { return Domain() == kDomainReals && ExpandedReal() == value; }
  bool operator==(double value) const { return Domain() == kDomainReals && ExpandedReal() == value; }
  // Compare strings as Variants; a pointer would silently become a bool.
  bool operator==(const void*) const = delete;

  // Scalars compare within their domain (short 5 == long 5 == unsigned long
  // 5); anything with an array compares code, length and bytes.
  bool operator==(const Variant& other) const;
  bool operator!=(const Variant& other) const { return !(*this == other); }
  // Scalars: by domain, then value (integers signed, bools false first,
  // characters by code then by their bytes unsigned from the first).  Arrays:
  // by code, then bytes unsigned, a proper prefix first.  Every scalar (the
  // empty value included) goes before every array.
  bool operator<(const Variant& other) const;

  // Conversions; false leaves `out` unchanged.
  // Integer: a narrow string parsed as a decimal long (leading blanks, sign,
  // digits; trailing text ignored; false when there are no digits or the
  // number does not fit in 32 bits), a wide string of at most 31 UTF-8 bytes
  // parsed the same way, an integer copied.  Result: long.
  bool ToInteger(Variant& out) const;
  // Real: strings parsed as a decimal floating-point number, a real copied.
  // Result: double.
  bool ToReal(Variant& out) const;
  // Text: integers printed as decimals, reals with six decimals (1.500000),
  // all in the C locale whatever the process locale.  narrow: a narrow string
  // is copied, a wide string gives false.  Wide: numbers and narrow strings
  // are converted from UTF-8, a wide string is copied.
  bool ToString(Variant& out, bool narrow) const;

  // Writes the value bytes through the handler (for an array, the first n
  // bytes of its data).
  void PutValue(OutStream& out, uint32_t n) const;
  // Writes the serialised form; failures of the stream are raised by it.
  bool operator>>(OutStream& out) const;
  // Reads the serialised form.  Only the known type codes with their own
  // element sizes are accepted, an array's length must be a whole number of
  // elements, and every byte must arrive; otherwise false, leaving the value
  // empty.  Memory grows only with the bytes that arrive.  A stored bool byte
  // other than 0 or 1 reads as true.
  bool operator<<(InStream& in);

 private:
  template <class T>
  friend class Variant_private::VariantCaseImpl;

  uint16_t CompressTypeAndSize() const { return static_cast<uint16_t>(size_ << 10 | type_); }
  void SetTypeAndSize(uint16_t header);
  void SetScalar(VariantType type, unsigned size, uint64_t bits);
  // Makes an array of `bytes` bytes copied from data (zeros when null).
  void InitArray(VariantType type, unsigned size, const void* data, uint64_t bytes);
  void ClearValue();
  uint64_t ScalarBits() const;
  // The value's bytes: a scalar's stored bytes or an array's data.
  const uint8_t* ValueBytes() const { return IsArray() ? data_.data() : value_; }
  uint32_t ValueLength() const { return IsArray() ? ArraySize() : size_; }

  uint32_t type_ = kVariantEmpty;  // low 10 bits
  uint16_t size_ = 0;              // low 6 bits
  uint8_t value_[8] = {};          // a scalar, little-endian
  std::vector<uint8_t> data_;      // an array's elements, little-endian
};
