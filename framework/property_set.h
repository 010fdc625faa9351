// Property sets: numbered Variant values kept in one stream of a storage in
// the property-set stream format (one section).
//
// Stream layout (little-endian, offsets from the stream's beginning):
//   0  u16 0xFFFE, u16 0, u32 0x00020004, 16-byte class id (zero), u32 1
//   28 16-byte section format id, u32 section offset 48
//   48 u32 section size (to the end of the last value), u32 count n
//   56 n pairs {u32 property id, u32 value offset from the section start}
//   .. values: u32 type word, the value bytes, zeros up to a multiple of 4
//
// Value encodings (these are what stored files hold; some differ from what
// other readers expect): bool VT_BOOL (11) as ONE byte 0/1; short VT_I2 (2);
// float VT_R4 (4); char VT_I1 (16) one byte; long VT_I4 (3); double VT_R8
// (5); char array VT_LPSTR (30) as u32 byte count (NUL included) and bytes;
// unsigned short VT_UI2 (18); wide-char array VT_LPWSTR (31) as a u32 count
// of BYTES (not characters) and the UTF-16 bytes; unsigned long VT_UI4 (19);
// anything else VT_EMPTY (0) with no bytes.  Property id 0 holds an unsigned
// long written in place of the type word, with nothing after it.
//
// Values of types a Variant cannot hold survive a Get and a later Put in the
// hidden property (id -32767, an unsigned-long array): u32 entry count, then
// per entry u32 id, u32 type and the serialised Variant of the raw value
// (VT_FILETIME 64: 8 bytes; VT_CF 71: its bytes; any other type: type 0 and
// an empty value, the value being lost), then 1 to 4 zero bytes up to a
// multiple of 4.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/variant.h"

class OLEStorage;

class Property {
 public:
  explicit Property(int32_t id) : id_(id) {}
  Property(int32_t id, const Variant& value) : id_(id), value_(value) {}
  Property(const Property&) = default;
  Property& operator=(const Property&) = default;
  virtual ~Property() = default;

  // Replaces the value.
  Property& operator=(const Variant& value) {
    value_ = value;
    return *this;
  }
  int32_t ID() const { return id_; }
  const Variant& Value() const { return value_; }

  // Properties compare by id alone (signed).
  bool operator<(const Property& other) const { return id_ < other.id_; }
  bool operator==(const Property& other) const { return id_ == other.id_; }

 private:
  int32_t id_;
  Variant value_;
};

// The section's format id.
class PS_Stat {
 public:
  virtual ~PS_Stat() = default;
  // 16 bytes.
  virtual const uint8_t* FormatID() const = 0;
};

class PS_StatImpl : public PS_Stat {
 public:
  const uint8_t* FormatID() const override { return id_; }
  void SetFormatID(const uint8_t* id);

 private:
  uint8_t id_[16] = {};
};

class PropertySet {
 public:
  static constexpr int32_t kHiddenPropertyID = -32767;

  // An empty set with a zero format id, kept in the stream `streamName`.
  explicit PropertySet(const char16_t* streamName);
  PropertySet(const PropertySet&) = default;
  // Replaces the properties by copies of the other set's; the stream name
  // and the format id stay.
  PropertySet& operator=(const PropertySet& other);
  virtual ~PropertySet() = default;

  const char16_t* StreamName() const { return stream_name_.c_str(); }
  const PS_Stat& Stat() const { return stat_; }
  int Size() const { return static_cast<int>(properties_.size()); }
  // The i-th property in id order.
  const Property& operator[](int i) const { return properties_.at(static_cast<size_t>(i)); }
  // The property with that id, or null.
  const Property* Find(int32_t id) const;

  // Adds, replacing a property of the same id.
  PropertySet& operator+=(const Property& property);
  PropertySet& operator+=(const PropertySet& other);
  // Removes the property (or every id of the other set) if present.
  PropertySet& operator-=(const Property& property);
  PropertySet& operator-=(const PropertySet& other);

  // Creates (replacing) the stream in the storage and writes the set: the
  // hidden property's entries first, in their stored order, then the other
  // properties in id order.
  void Put(OLEStorage storage) const;
  // Replaces the set's contents by what the stream holds.  A missing stream
  // raises 33006; a stream shorter than its header, pairs or values claim
  // raises 33010 naming the stream, leaving the properties read so far.
  void Get(OLEStorage storage);

 private:
  std::vector<Property>::iterator LowerBound(int32_t id);

  std::u16string stream_name_;
  std::vector<Property> properties_;  // ordered by id, one per id
  PS_StatImpl stat_;
};
