#include "framework/property_set.h"

#include <algorithm>
#include <cstring>

#include "framework/mem_file.h"
#include "framework/ole_functions.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"

namespace {

// Property types of the stream.
enum : uint32_t {
  VT_EMPTY = 0,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BOOL = 11,
  VT_I1 = 16,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_FILETIME = 64,
  VT_CF = 71,
};

constexpr uint32_t kHeaderSize = 28;
constexpr uint32_t kSectionOffset = 48;  // header and the one section entry

// One value as it goes to the stream: its id and its bytes from the type
// word on, padded to a multiple of 4.
struct Entry {
  uint32_t id;
  std::vector<uint8_t> bytes;
};

class Bytes {
 public:
  std::vector<uint8_t> data;

  void U16(uint16_t v) {
    data.push_back(static_cast<uint8_t>(v));
    data.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Raw(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    data.insert(data.end(), b, b + n);
  }
  void Pad() { data.resize((data.size() + 3) / 4 * 4, 0); }
};

// The bytes of a Variant array (null when it has none).
const uint8_t* ArrayBytes(const Variant& value) {
  return reinterpret_cast<const uint8_t*>(static_cast<const char*>(value));
}

// The stream form of one mapped value (type word, bytes, padding).
std::vector<uint8_t> EncodeValue(int32_t id, const Variant& value) {
  Bytes out;
  if (id == 0) {
    out.U32(static_cast<uint32_t>(value.ExpandedInteger()));
    return out.data;
  }
  switch (value.Type()) {
    case kVariantBool:
      out.U32(VT_BOOL);
      out.data.push_back(static_cast<char>(value) != 0 ? 1 : 0);
      break;
    case kVariantShort:
      out.U32(VT_I2);
      out.U16(static_cast<uint16_t>(value.ExpandedInteger()));
      break;
    case kVariantFloat: {
      float f = static_cast<float>(value);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      out.U32(VT_R4);
      out.U32(bits);
      break;
    }
    case kVariantChar:
      out.U32(VT_I1);
      out.data.push_back(static_cast<uint8_t>(static_cast<char>(value)));
      break;
    case kVariantLong:
      out.U32(VT_I4);
      out.U32(static_cast<uint32_t>(value.ExpandedInteger()));
      break;
    case kVariantDouble: {
      double d = static_cast<double>(value);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      out.U32(VT_R8);
      out.U64(bits);
      break;
    }
    case kVariantCharArray:
    case kVariantWideCharArray:
      // Both count BYTES, the NUL included.
      out.U32(value.Type() == kVariantCharArray ? VT_LPSTR : VT_LPWSTR);
      out.U32(value.ArraySize());
      out.Raw(ArrayBytes(value), value.ArraySize());
      break;
    case kVariantUShort:
      out.U32(VT_UI2);
      out.U16(static_cast<uint16_t>(value.ExpandedInteger()));
      break;
    case kVariantULong:
      out.U32(VT_UI4);
      out.U32(static_cast<uint32_t>(value.ExpandedInteger()));
      break;
    default:
      out.U32(VT_EMPTY);
      break;
  }
  out.Pad();
  return out.data;
}

// The entries of the hidden property, in their stored order; stops at the
// first entry that cannot be read whole.
void ReplayHidden(const Variant& hidden, std::vector<Entry>& entries) {
  if (!hidden.IsArray() || hidden.ArraySize() == 0) return;
  MemFile in;
  in.PutData(ArrayBytes(hidden), hidden.ArraySize());
  in.Seek(0, SeekBegin);
  uint32_t count = 0;
  if (!GetU32LE(in, count)) return;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = 0;
    uint32_t type = 0;
    Variant raw;
    if (!GetU32LE(in, id) || !GetU32LE(in, type) || !(raw << in)) return;
    Bytes out;
    out.U32(type);
    if (type == VT_FILETIME) {
      if (raw.ArraySize() < 8) return;
      out.Raw(ArrayBytes(raw), 8);
    } else if (type == VT_CF) {
      out.U32(raw.ArraySize());
      out.Raw(ArrayBytes(raw), raw.ArraySize());
    }
    out.Pad();
    entries.push_back({id, std::move(out.data)});
  }
}

// Bounded reading of the stream's bytes: any read past them raises 33010
// naming the stream.  The counted values (strings, clipboard data) of a
// stream together cannot hold more bytes than the stream has, however many
// pairs point at them, so copies stay within the stream's size.
class Reader {
 public:
  Reader(const std::vector<uint8_t>& bytes, const char16_t* name) : bytes_(bytes), name_(name) {}

  const uint8_t* At(uint64_t offset, uint64_t n) const {
    if (offset > bytes_.size() || n > bytes_.size() - offset) OLEObject::Abort(ole::S_FALSE, name_);
    return bytes_.data() + offset;
  }
  // The n bytes of a counted value at `offset`.
  const uint8_t* Counted(uint64_t offset, uint64_t n) {
    const uint8_t* p = At(offset, n);
    if (n > bytes_.size() - counted_) OLEObject::Abort(ole::S_FALSE, name_);
    counted_ += n;
    return p;
  }
  uint32_t U32(uint64_t offset) const {
    const uint8_t* p = At(offset, 4);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  }
  uint16_t U16(uint64_t offset) const {
    const uint8_t* p = At(offset, 2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  uint64_t U64(uint64_t offset) const { return U32(offset) | static_cast<uint64_t>(U32(offset + 4)) << 32; }

 private:
  const std::vector<uint8_t>& bytes_;
  const char16_t* name_;
  uint64_t counted_ = 0;  // bytes of counted values taken so far
};

struct RawEntry {
  uint32_t id;
  uint32_t type;
  Variant value;
};

// Reads the value at `offset` (its type word) into `value`; false for a type
// a Variant cannot hold, which becomes a raw entry instead.
bool DecodeValue(Reader& in, uint64_t offset, uint32_t type, Variant& value, RawEntry& raw) {
  uint64_t at = offset + 4;
  switch (type) {
    case VT_EMPTY: value = Variant(); return true;
    case VT_BOOL: value = Variant(*in.At(at, 1) != 0); return true;
    case VT_I2: value = Variant(static_cast<int16_t>(in.U16(at))); return true;
    case VT_R4: {
      uint32_t bits = in.U32(at);
      float f;
      std::memcpy(&f, &bits, 4);
      value = Variant(f);
      return true;
    }
    case VT_I1: value = Variant(static_cast<char>(*in.At(at, 1))); return true;
    case VT_I4: value = Variant(static_cast<int32_t>(in.U32(at))); return true;
    case VT_R8: {
      uint64_t bits = in.U64(at);
      double d;
      std::memcpy(&d, &bits, 8);
      value = Variant(d);
      return true;
    }
    case VT_LPSTR: {
      uint32_t count = in.U32(at);
      value = Variant(reinterpret_cast<const char*>(in.Counted(at + 4, count)), count);
      return true;
    }
    case VT_UI2: value = Variant(in.U16(at)); return true;
    case VT_LPWSTR: {
      // A count of BYTES; an odd last byte is read but has no character.
      uint32_t count = in.U32(at);
      const uint8_t* p = in.Counted(at + 4, count);
      std::u16string units;
      for (uint32_t i = 0; i + 1 < count; i += 2) units.push_back(static_cast<char16_t>(p[i] | p[i + 1] << 8));
      value = Variant(units.data(), static_cast<unsigned>(units.size()));
      return true;
    }
    case VT_UI4: value = Variant(in.U32(at)); return true;
    case VT_FILETIME:
      raw.type = VT_FILETIME;
      raw.value = Variant(reinterpret_cast<const char*>(in.At(at, 8)), 8u);
      return false;
    case VT_CF: {
      uint32_t count = in.U32(at);
      raw.type = VT_CF;
      raw.value = Variant(reinterpret_cast<const char*>(in.Counted(at + 4, count)), count);
      return false;
    }
    default:
      raw.type = VT_EMPTY;
      raw.value = Variant();
      return false;
  }
}

Variant HiddenValue(const std::vector<RawEntry>& raws) {
  MemFile out;
  PutU32LE(out, static_cast<uint32_t>(raws.size()));
  for (const RawEntry& raw : raws) {
    PutU32LE(out, raw.id);
    PutU32LE(out, raw.type);
    raw.value >> out;
  }
  static const uint8_t kZeros[4] = {};
  out.PutData(kZeros, 4 - out.Size() % 4);  // always at least one
  Variant hidden(static_cast<const uint32_t*>(nullptr), out.Size() / 4);
  std::memcpy(static_cast<char*>(hidden), out.Data(), out.Size());
  return hidden;
}

}  // namespace

void PS_StatImpl::SetFormatID(const uint8_t* id) { std::memcpy(id_, id, sizeof id_); }

PropertySet::PropertySet(const char16_t* streamName) : stream_name_(streamName ? streamName : u"") {}

PropertySet& PropertySet::operator=(const PropertySet& other) {
  properties_ = other.properties_;
  return *this;
}

std::vector<Property>::iterator PropertySet::LowerBound(int32_t id) {
  return std::lower_bound(properties_.begin(), properties_.end(), Property(id));
}

const Property* PropertySet::Find(int32_t id) const {
  auto it = std::lower_bound(properties_.begin(), properties_.end(), Property(id));
  return it != properties_.end() && it->ID() == id ? &*it : nullptr;
}

PropertySet& PropertySet::operator+=(const Property& property) {
  auto it = LowerBound(property.ID());
  if (it != properties_.end() && it->ID() == property.ID()) {
    *it = property;
  } else {
    properties_.insert(it, property);
  }
  return *this;
}

PropertySet& PropertySet::operator+=(const PropertySet& other) {
  if (&other == this) return *this;
  for (const Property& property : other.properties_) *this += property;
  return *this;
}

PropertySet& PropertySet::operator-=(const Property& property) {
  auto it = LowerBound(property.ID());
  if (it != properties_.end() && it->ID() == property.ID()) properties_.erase(it);
  return *this;
}

PropertySet& PropertySet::operator-=(const PropertySet& other) {
  if (&other == this) {
    properties_.clear();
    return *this;
  }
  for (const Property& property : other.properties_) *this -= property;
  return *this;
}

void PropertySet::Put(OLEStorage storage) const {
  std::vector<Entry> entries;
  if (const Property* hidden = Find(kHiddenPropertyID)) ReplayHidden(hidden->Value(), entries);
  for (const Property& property : properties_) {
    if (property.ID() != kHiddenPropertyID) {
      entries.push_back({static_cast<uint32_t>(property.ID()), EncodeValue(property.ID(), property.Value())});
    }
  }

  Bytes out;
  out.U16(0xFFFE);
  out.U16(0);
  out.U32(0x00020004);
  out.data.resize(out.data.size() + 16, 0);  // class id
  out.U32(1);
  out.Raw(stat_.FormatID(), 16);
  out.U32(kSectionOffset);
  uint32_t section_size = 8 + 8 * static_cast<uint32_t>(entries.size());
  for (const Entry& entry : entries) section_size += static_cast<uint32_t>(entry.bytes.size());
  out.U32(section_size);
  out.U32(static_cast<uint32_t>(entries.size()));
  uint32_t offset = 8 + 8 * static_cast<uint32_t>(entries.size());
  for (const Entry& entry : entries) {
    out.U32(entry.id);
    out.U32(offset);
    offset += static_cast<uint32_t>(entry.bytes.size());
  }
  for (const Entry& entry : entries) out.Raw(entry.bytes.data(), entry.bytes.size());

  OLEStream stream(storage, stream_name_.c_str(), kOLECreate);
  stream.PutData(out.data.data(), static_cast<uint32_t>(out.data.size()));
}

void PropertySet::Get(OLEStorage storage) {
  OLEStream stream(storage, stream_name_.c_str(), kOLERead);
  properties_.clear();
  std::vector<uint8_t> bytes(stream.GetSize());
  bytes.resize(GetFull(stream, bytes.data(), static_cast<uint32_t>(bytes.size())));

  Reader in(bytes, stream.Name());
  in.At(0, kHeaderSize + 20);
  stat_.SetFormatID(in.At(kHeaderSize, 16));
  uint64_t section = in.U32(kHeaderSize + 16);
  uint32_t count = in.U32(section + 4);
  std::vector<RawEntry> raws;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t pair = section + 8 + 8 * static_cast<uint64_t>(i);
    int32_t id = static_cast<int32_t>(in.U32(pair));
    uint64_t offset = section + in.U32(pair + 4);
    uint32_t type = in.U32(offset);
    if (id == 0) {
      *this += Property(0, Variant(type));
      continue;
    }
    Variant value;
    RawEntry raw{static_cast<uint32_t>(id), VT_EMPTY, Variant()};
    if (DecodeValue(in, offset, type, value, raw)) {
      *this += Property(id, value);
    } else {
      raws.push_back(std::move(raw));
    }
  }
  if (!raws.empty()) *this += Property(kHiddenPropertyID, HiddenValue(raws));
}
