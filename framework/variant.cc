#include "framework/variant.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "framework/failures.h"

// Array data is kept as the stored little-endian bytes and handed out as the
// elements themselves, which holds on little-endian hosts only.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "Variant arrays assume a little-endian host");

namespace {

// Reads until n bytes have arrived or the stream ends; returns the count.
uint32_t ReadFully(InStream& in, uint8_t* buffer, uint32_t n) {
  uint32_t done = 0;
  while (done < n) {
    uint32_t got = in.GetData(buffer + done, n - done);
    if (got == 0 || got > n - done) break;
    done += got;
  }
  return done;
}

// Reads up to `length` bytes into `data`, growing it with the bytes that
// arrive so that a claimed length costs nothing until its bytes are there.
uint32_t ReadGrowing(InStream& in, std::vector<uint8_t>& data, uint32_t length) {
  constexpr uint32_t kFirstChunk = 64 * 1024;
  data.clear();
  while (data.size() < length) {
    uint32_t have = static_cast<uint32_t>(data.size());
    uint32_t chunk = std::min(length - have, std::max(kFirstChunk, have));
    data.resize(have + chunk);
    uint32_t got = ReadFully(in, data.data() + have, chunk);
    data.resize(have + got);
    if (got < chunk) break;
  }
  return static_cast<uint32_t>(data.size());
}

// Element size of each type code of the table; -1 for codes that are none.
int ElementSize(unsigned code) {
  switch (code) {
    case kVariantEmpty:
      return 0;
    case kVariantBool: case kVariantBoolArray:
    case kVariantChar: case kVariantCharArray:
      return 1;
    case kVariantWideChar: case kVariantWideCharArray:
    case kVariantShort: case kVariantShortArray:
    case kVariantUShort: case kVariantUShortArray:
      return 2;
    case kVariantLong: case kVariantLongArray:
    case kVariantULong: case kVariantULongArray:
    case kVariantFloat: case kVariantFloatArray:
      return 4;
    case kVariantDouble: case kVariantDoubleArray:
      return 8;
    default:
      return -1;
  }
}

uint64_t DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

int32_t CheckedLong(long long value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    throw std::out_of_range("Variant: " + std::to_string(value) + " does not fit in a 32-bit long");
  return static_cast<int32_t>(value);
}

}  // namespace

// ---- Handlers ---------------------------------------------------------------

namespace Variant_private {

void Case::Write(OutStream&, const Variant&, uint32_t) const {}

uint32_t Case::Read(InStream&, Variant&, uint32_t) const { return 0; }

template <class T>
void VariantCaseImpl<T>::Write(OutStream& out, const Variant& value, uint32_t n) const {
  if (!value.IsArray()) {
    out.PutData(value.value_, sizeof(T));
  } else {
    n = std::min(n, value.ArraySize());
    if (n > 0) out.PutData(value.data_.data(), n);
  }
}

template <class T>
uint32_t VariantCaseImpl<T>::Read(InStream& in, Variant& value, uint32_t length) const {
  uint8_t* bytes;
  uint32_t got;
  if (!value.IsArray()) {
    bytes = value.value_;
    got = ReadFully(in, bytes, sizeof(T));
  } else {
    got = ReadGrowing(in, value.data_, length);
    bytes = value.data_.data();
  }
  // Any nonzero byte is true; keep only 0 and 1 so no bool load is undefined.
  if (std::is_same<T, bool>::value)
    for (uint32_t i = 0; i < got; ++i) bytes[i] = bytes[i] != 0;
  return got;
}

namespace {

struct CaseTable {
  const Case* entries[kCaseTableSize] = {};
};

// Builds the table of handlers by type code.
CaseTable InitCaseTable() {
  static const Case empty;
  static const VariantCaseImpl<bool> bools;
  static const VariantCaseImpl<char> chars;
  static const VariantCaseImpl<char16_t> wide_chars;
  static const VariantCaseImpl<int16_t> shorts;
  static const VariantCaseImpl<int32_t> longs;
  static const VariantCaseImpl<uint16_t> ushorts;
  static const VariantCaseImpl<uint32_t> ulongs;
  static const VariantCaseImpl<float> floats;
  static const VariantCaseImpl<double> doubles;
  const struct {
    unsigned code;
    const Case* handler;
  } kinds[] = {
      {kVariantBool, &bools},   {kVariantChar, &chars},     {kVariantWideChar, &wide_chars},
      {kVariantShort, &shorts}, {kVariantLong, &longs},     {kVariantUShort, &ushorts},
      {kVariantULong, &ulongs}, {kVariantFloat, &floats},   {kVariantDouble, &doubles},
  };
  CaseTable table;
  table.entries[kVariantEmpty] = &empty;
  for (const auto& kind : kinds) {
    table.entries[kind.code] = kind.handler;
    table.entries[kind.code | kVariantArrayFlag] = kind.handler;
  }
  return table;
}

}  // namespace

const Case* FindCase(unsigned code) {
  static const CaseTable table = InitCaseTable();
  return code < kCaseTableSize ? table.entries[code] : nullptr;
}

}  // namespace Variant_private

// ---- Values -----------------------------------------------------------------

void Variant::ClearValue() {
  std::vector<uint8_t>().swap(data_);
  std::memset(value_, 0, sizeof value_);
}

void Variant::SetTypeAndSize(uint16_t header) {
  type_ = header & 0x3FF;
  size_ = header >> 10;
}

void Variant::SetScalar(VariantType type, unsigned size, uint64_t bits) {
  ClearValue();
  type_ = type;
  size_ = static_cast<uint16_t>(size);
  for (unsigned i = 0; i < size; ++i) value_[i] = static_cast<uint8_t>(bits >> (8 * i));
}

uint64_t Variant::ScalarBits() const {
  uint64_t bits = 0;
  for (unsigned i = 0; i < sizeof value_; ++i) bits |= uint64_t{value_[i]} << (8 * i);
  return bits;
}

void Variant::InitArray(VariantType type, unsigned size, const void* data, uint64_t bytes) {
  if (bytes > std::numeric_limits<uint32_t>::max()) Error(kFailOutOfMemory);
  std::vector<uint8_t> array;
  try {
    array.resize(static_cast<std::size_t>(bytes));
  } catch (const std::bad_alloc&) {
    Error(kFailOutOfMemory);
  }
  if (data && bytes > 0) std::memcpy(array.data(), data, static_cast<std::size_t>(bytes));
  ClearValue();
  type_ = type;
  size_ = static_cast<uint16_t>(size);
  data_.swap(array);
}

Variant& Variant::operator=(bool value) {
  SetScalar(kVariantBool, 1, value ? 1 : 0);
  return *this;
}
Variant& Variant::operator=(char value) {
  SetScalar(kVariantChar, 1, static_cast<uint8_t>(value));
  return *this;
}
Variant& Variant::operator=(char16_t value) {
  SetScalar(kVariantWideChar, 2, value);
  return *this;
}
Variant& Variant::operator=(int16_t value) {
  SetScalar(kVariantShort, 2, static_cast<uint16_t>(value));
  return *this;
}
Variant& Variant::operator=(int32_t value) {
  SetScalar(kVariantLong, 4, static_cast<uint32_t>(value));
  return *this;
}
Variant& Variant::operator=(uint16_t value) {
  SetScalar(kVariantUShort, 2, value);
  return *this;
}
Variant& Variant::operator=(uint32_t value) {
  SetScalar(kVariantULong, 4, value);
  return *this;
}
Variant& Variant::operator=(long value) { return *this = CheckedLong(value); }
Variant& Variant::operator=(unsigned long value) {
  if (value > std::numeric_limits<uint32_t>::max())
    throw std::out_of_range("Variant: " + std::to_string(value) + " does not fit in a 32-bit unsigned long");
  return *this = static_cast<uint32_t>(value);
}
Variant& Variant::operator=(float value) {
  SetScalar(kVariantFloat, 4, FloatBits(value));
  return *this;
}
Variant& Variant::operator=(double value) {
  SetScalar(kVariantDouble, 8, DoubleBits(value));
  return *this;
}

void Variant::assign(const bool* data, unsigned count) { InitArray(kVariantBoolArray, 1, data, count * 1ull); }
void Variant::assign(const char* data, unsigned count) { InitArray(kVariantCharArray, 1, data, count * 1ull); }
void Variant::assign(const char16_t* data, unsigned count) {
  InitArray(kVariantWideCharArray, 2, data, count * 2ull);
}
void Variant::assign(const int16_t* data, unsigned count) { InitArray(kVariantShortArray, 2, data, count * 2ull); }
void Variant::assign(const int32_t* data, unsigned count) { InitArray(kVariantLongArray, 4, data, count * 4ull); }
void Variant::assign(const uint16_t* data, unsigned count) {
  InitArray(kVariantUShortArray, 2, data, count * 2ull);
}
void Variant::assign(const uint32_t* data, unsigned count) {
  InitArray(kVariantULongArray, 4, data, count * 4ull);
}
void Variant::assign(const float* data, unsigned count) { InitArray(kVariantFloatArray, 4, data, count * 4ull); }
void Variant::assign(const double* data, unsigned count) {
  InitArray(kVariantDoubleArray, 8, data, count * 8ull);
}

void Variant::assign(const char* text) {
  if (!text) text = "";
  InitArray(kVariantCharArray, 1, text, std::strlen(text) + 1ull);
}

void Variant::assign(const char16_t* text) {
  if (!text) text = u"";
  InitArray(kVariantWideCharArray, 2, text, 2 * (std::char_traits<char16_t>::length(text) + 1ull));
}

int32_t Variant::ExpandedInteger() const {
  uint64_t bits = ScalarBits();
  switch (type_) {
    case kVariantShort:
      return static_cast<int16_t>(static_cast<uint16_t>(bits));
    case kVariantUShort:
      return static_cast<uint16_t>(bits);
    case kVariantLong:
    case kVariantULong:
      return static_cast<int32_t>(static_cast<uint32_t>(bits));
    default:
      return 0;
  }
}

double Variant::ExpandedReal() const {
  uint64_t bits = ScalarBits();
  if (type_ == kVariantFloat) {
    auto low = static_cast<uint32_t>(bits);
    float value;
    std::memcpy(&value, &low, sizeof value);
    return value;
  }
  if (type_ == kVariantDouble) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  return 0.0;
}

Variant::operator char() const { return ValueLength() > 0 ? static_cast<char>(ValueBytes()[0]) : '\0'; }

Variant::operator char16_t() const {
  const uint8_t* bytes = ValueBytes();
  uint32_t n = ValueLength();
  return static_cast<char16_t>((n > 0 ? bytes[0] : 0) | (n > 1 ? bytes[1] : 0) << 8);
}

Variant::operator char&() {
  return reinterpret_cast<char&>(IsArray() && !data_.empty() ? data_[0] : value_[0]);
}

// ---- Comparisons --------------------------------------------------------------

bool Variant::operator==(bool value) const { return type_ == kVariantBool && (value_[0] != 0) == value; }

bool Variant::operator==(char value) const {
  return type_ == kVariantChar && value_[0] == static_cast<uint8_t>(value);
}

bool Variant::operator==(char16_t value) const {
  return type_ == kVariantWideChar && static_cast<char16_t>(*this) == value;
}

bool Variant::operator==(const Variant& other) const {
  if (!IsArray() && !other.IsArray()) {
    if (Domain() != other.Domain()) return false;
    switch (Domain()) {
      case kDomainIntegers:
        return ExpandedInteger() == other.ExpandedInteger();
      case kDomainReals:
        return ExpandedReal() == other.ExpandedReal();
      case kDomainCharacters:
        if (type_ != other.type_) return false;
        if (type_ == kVariantBool) return (value_[0] != 0) == (other.value_[0] != 0);
        return std::memcmp(value_, other.value_, size_) == 0;
      default:
        return true;  // both empty
    }
  }
  return type_ == other.type_ && data_ == other.data_;
}

bool Variant::operator<(const Variant& other) const {
  if (!IsArray() && !other.IsArray()) {
    if (Domain() != other.Domain()) return Domain() < other.Domain();
    switch (Domain()) {
      case kDomainIntegers:
        return ExpandedInteger() < other.ExpandedInteger();
      case kDomainReals:
        return ExpandedReal() < other.ExpandedReal();
      case kDomainCharacters:
        if (type_ != other.type_) return type_ < other.type_;
        if (type_ == kVariantBool) return value_[0] == 0 && other.value_[0] != 0;
        // The stored bytes from the first: a wide char's low byte decides first.
        return std::memcmp(value_, other.value_, size_) < 0;
      default:
        return false;  // both empty
    }
  }
  // A scalar goes before every array.  (Ordering such pairs by code, as
  // arrays order among themselves, would make cycles with the domain order
  // of scalars: wide char < short < char array < wide char.)
  if (IsArray() != other.IsArray()) return other.IsArray();
  if (type_ != other.type_) return type_ < other.type_;
  return std::lexicographical_compare(data_.begin(), data_.end(), other.data_.begin(), other.data_.end());
}

// ---- Serialised form ------------------------------------------------------------

void Variant::PutValue(OutStream& out, uint32_t n) const { Variant_private::FindCase(type_)->Write(out, *this, n); }

bool Variant::operator>>(OutStream& out) const {
  uint16_t header = CompressTypeAndSize();
  const uint8_t head[2] = {static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8)};
  out.PutData(head, sizeof head);
  if (IsArray()) {
    uint32_t length = ArraySize();
    const uint8_t bytes[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                              static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
    out.PutData(bytes, sizeof bytes);
  }
  PutValue(out, ArraySize());
  return true;
}

bool Variant::operator<<(InStream& in) {
  type_ = kVariantEmpty;
  size_ = 0;
  ClearValue();

  uint8_t head[2];
  if (ReadFully(in, head, sizeof head) != sizeof head) return false;
  Variant value;
  value.SetTypeAndSize(static_cast<uint16_t>(head[0] | head[1] << 8));
  const Variant_private::Case* handler = Variant_private::FindCase(value.type_);
  if (!handler || ElementSize(value.type_) != value.size_) return false;

  uint32_t want = value.size_;
  if (value.IsArray()) {
    uint8_t bytes[4];
    if (ReadFully(in, bytes, sizeof bytes) != sizeof bytes) return false;
    want = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
    if (want % value.size_ != 0) return false;
  }
  if (handler->Read(in, value, want) != want) return false;
  *this = std::move(value);
  return true;
}
