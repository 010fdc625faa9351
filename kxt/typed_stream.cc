#include "kxt/typed_stream.h"

#include <array>
#include <climits>
#include <cstring>
#include <utility>

#include "framework/failures.h"
#include "kxt/kxt_completion.h"
#include "kxt/typed_stream_impl.h"

namespace {

// The value types in tag order; the table below and KXT_TagOf must agree.
template <class... T>
struct TypeList {};
using ValueTypes = TypeList<void, bool, char, unsigned char, short, unsigned short, long, unsigned long, float,
                            double, std::string, std::u16string, Variant>;

template <class... T>
constexpr bool InTagOrder(TypeList<T...>) {
  KXT_TypeTag tag = 0;
  bool ok = true;
  ((ok = ok && KXT_TagOf<T>::value == tag++), ...);
  return ok && tag == kKXTLastTag + 1;
}
static_assert(InTagOrder(ValueTypes()), "KXT_TagOf must number the value types 0 to 12 in order");

template <class... T>
constexpr std::array<const std::type_info*, sizeof...(T)> TypesOf(TypeList<T...>) {
  return {&typeid(T)...};
}
// The types of tags 0 to 12.
const auto kTagTypes = TypesOf(ValueTypes());

constexpr uint32_t kBufferSize = 1024;
// String values are read in chunks of at most this many units.
constexpr uint32_t kStringChunk = 256;
constexpr size_t kMaxStringUnits = 0xFFFF;

void PutLE(uint8_t* p, uint64_t v, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t GetLE(const uint8_t* p, uint32_t n) {
  uint64_t v = 0;
  for (uint32_t i = 0; i < n; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}

// Collects encoded bytes and hands them to the stream a buffer at a time.
class Encoder {
 public:
  explicit Encoder(OutStream& out) : out_(out) {}
  void Put(uint64_t v, uint32_t n) {
    if (fill_ + n > kBufferSize) Flush();
    PutLE(buffer_ + fill_, v, n);
    fill_ += n;
  }
  void Flush() {
    if (fill_ > 0) out_.PutData(buffer_, fill_);
    fill_ = 0;
  }

 private:
  OutStream& out_;
  uint8_t buffer_[kBufferSize];
  uint32_t fill_ = 0;
};

// Fixed-width values: their width, whether the format holds them, and their
// bytes.
template <class T>
struct Fixed {
  static constexpr uint32_t kSize = sizeof(T);
  static bool Fits(T) { return true; }
  static uint64_t Encode(T v) { return static_cast<uint64_t>(v); }
  static T Decode(uint64_t u) { return static_cast<T>(u); }
};
template <>
struct Fixed<bool> {
  static constexpr uint32_t kSize = 1;
  static bool Fits(bool) { return true; }
  static uint64_t Encode(bool v) { return v ? 1 : 0; }
  static bool Decode(uint64_t u) { return u != 0; }
};
template <>
struct Fixed<short> {
  static constexpr uint32_t kSize = 2;
  static bool Fits(short) { return true; }
  static uint64_t Encode(short v) { return static_cast<uint16_t>(v); }
  static short Decode(uint64_t u) { return static_cast<short>(static_cast<uint16_t>(u)); }
};
template <>
struct Fixed<long> {
  static constexpr uint32_t kSize = 4;
  static bool Fits(long v) { return v >= INT32_MIN && v <= INT32_MAX; }
  static uint64_t Encode(long v) { return static_cast<uint32_t>(static_cast<int32_t>(v)); }
  static long Decode(uint64_t u) { return static_cast<int32_t>(static_cast<uint32_t>(u)); }
};
template <>
struct Fixed<unsigned long> {
  static constexpr uint32_t kSize = 4;
  static bool Fits(unsigned long v) { return v <= UINT32_MAX; }
  static uint64_t Encode(unsigned long v) { return v; }
  static unsigned long Decode(uint64_t u) { return static_cast<uint32_t>(u); }
};
template <>
struct Fixed<float> {
  static constexpr uint32_t kSize = 4;
  static bool Fits(float) { return true; }
  static uint64_t Encode(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
  }
  static float Decode(uint64_t u) {
    const uint32_t bits = static_cast<uint32_t>(u);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
};
template <>
struct Fixed<double> {
  static constexpr uint32_t kSize = 8;
  static bool Fits(double) { return true; }
  static uint64_t Encode(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
  }
  static double Decode(uint64_t u) {
    double v;
    std::memcpy(&v, &u, sizeof v);
    return v;
  }
};

// Whether the values' bytes in memory are already their bytes on disk: a
// little-endian machine and a type whose width is the stored width (bool is
// left out: any non-zero byte reads as true but only 0 and 1 are written).
template <class T>
constexpr bool kSameBytes = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && sizeof(T) == Fixed<T>::kSize &&
                            !std::is_same<T, bool>::value;

template <class T>
void PutValues(OutStream& out, const T* values, uint32_t count) {
  using F = Fixed<T>;
  for (uint32_t i = 0; i < count; ++i) {
    if (!F::Fits(values[i])) Error(kKXTFailBadValue);
  }
  if constexpr (kSameBytes<T>) {
    // The same pieces the encoder hands over, taken from the values as they are.
    constexpr uint32_t kPerPut = kBufferSize / F::kSize;
    for (uint32_t done = 0; done < count;) {
      const uint32_t n = count - done < kPerPut ? count - done : kPerPut;
      out.PutData(values + done, n * F::kSize);
      done += n;
    }
  } else {
    Encoder encoder(out);
    for (uint32_t i = 0; i < count; ++i) encoder.Put(F::Encode(values[i]), F::kSize);
    encoder.Flush();
  }
}

template <class T>
uint32_t GetValues(InStream& in, T* values, uint32_t count) {
  using F = Fixed<T>;
  constexpr uint32_t kPerRead = kBufferSize / F::kSize;
  uint8_t buffer[kBufferSize];
  uint32_t done = 0;
  while (done < count) {
    const uint32_t want = count - done < kPerRead ? count - done : kPerRead;
    const uint32_t got = in.GetData(buffer, want * F::kSize);
    const uint32_t whole = got / F::kSize;
    if constexpr (kSameBytes<T>) {
      std::memcpy(values + done, buffer, whole * F::kSize);
    } else {
      for (uint32_t i = 0; i < whole; ++i) values[done + i] = F::Decode(GetLE(buffer + i * F::kSize, F::kSize));
    }
    done += whole;
    if (whole < want) break;
  }
  return done;
}

// Strings: u16 length, then the units.
template <class S>
void PutStrings(OutStream& out, const S* values, uint32_t count) {
  using Unit = typename S::value_type;
  for (uint32_t i = 0; i < count; ++i) {
    if (values[i].size() > kMaxStringUnits) Error(kKXTFailBadValue);
  }
  Encoder encoder(out);
  for (uint32_t i = 0; i < count; ++i) {
    encoder.Put(values[i].size(), 2);
    for (Unit unit : values[i]) encoder.Put(static_cast<typename std::make_unsigned<Unit>::type>(unit), sizeof(Unit));
  }
  encoder.Flush();
}

template <class S>
bool GetString(InStream& in, S& value) {
  using Unit = typename S::value_type;
  value.clear();
  uint8_t buffer[kStringChunk * sizeof(Unit)];
  if (in.GetData(buffer, 2) != 2) return false;
  uint32_t left = static_cast<uint32_t>(GetLE(buffer, 2));
  while (left > 0) {
    const uint32_t n = left < kStringChunk ? left : kStringChunk;
    if (in.GetData(buffer, n * sizeof(Unit)) != n * sizeof(Unit)) return false;
    for (uint32_t i = 0; i < n; ++i) value.push_back(static_cast<Unit>(GetLE(buffer + i * sizeof(Unit), sizeof(Unit))));
    left -= n;
  }
  return true;
}

template <>
void PutValues<std::string>(OutStream& out, const std::string* values, uint32_t count) {
  PutStrings(out, values, count);
}
template <>
void PutValues<std::u16string>(OutStream& out, const std::u16string* values, uint32_t count) {
  PutStrings(out, values, count);
}
template <>
uint32_t GetValues<std::string>(InStream& in, std::string* values, uint32_t count) {
  uint32_t done = 0;
  while (done < count && GetString(in, values[done])) ++done;
  return done;
}
template <>
uint32_t GetValues<std::u16string>(InStream& in, std::u16string* values, uint32_t count) {
  uint32_t done = 0;
  while (done < count && GetString(in, values[done])) ++done;
  return done;
}

// Variants: the serialised form, read by the Variant reader, which refuses
// unknown codes, wrong element sizes and cut data.
template <>
void PutValues<Variant>(OutStream& out, const Variant* values, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) values[i] >> out;
}
template <>
uint32_t GetValues<Variant>(InStream& in, Variant* values, uint32_t count) {
  uint32_t done = 0;
  for (; done < count; ++done) {
    Variant value;
    if (!(value << in)) break;
    values[done] = std::move(value);
  }
  return done;
}

// Tag 0: raw bytes.
template <>
void PutValues<void>(OutStream& out, const void* values, uint32_t count) {
  if (count > 0) out.PutData(values, count);
}
template <>
uint32_t GetValues<void>(InStream& in, void* values, uint32_t count) {
  return count > 0 ? in.GetData(values, count) : 0;
}

template <template <class> class Impl, class Base, class Container, class Stream>
KXT_Handle<Base> NewStream(KXT_TypeTag tag, const KXT_Handle<Container>& container, Stream* stream) {
  KXT_Owned<Stream> owned(stream);
  Base* made = nullptr;
  switch (tag) {
    case KXT_TagOf<bool>::value: made = new Impl<bool>(container, stream); break;
    case KXT_TagOf<char>::value: made = new Impl<char>(container, stream); break;
    case KXT_TagOf<unsigned char>::value: made = new Impl<unsigned char>(container, stream); break;
    case KXT_TagOf<short>::value: made = new Impl<short>(container, stream); break;
    case KXT_TagOf<unsigned short>::value: made = new Impl<unsigned short>(container, stream); break;
    case KXT_TagOf<long>::value: made = new Impl<long>(container, stream); break;
    case KXT_TagOf<unsigned long>::value: made = new Impl<unsigned long>(container, stream); break;
    case KXT_TagOf<float>::value: made = new Impl<float>(container, stream); break;
    case KXT_TagOf<double>::value: made = new Impl<double>(container, stream); break;
    case KXT_TagOf<std::string>::value: made = new Impl<std::string>(container, stream); break;
    case KXT_TagOf<std::u16string>::value: made = new Impl<std::u16string>(container, stream); break;
    case KXT_TagOf<Variant>::value: made = new Impl<Variant>(container, stream); break;
    default: made = new Impl<void>(container, stream); break;
  }
  owned.release();
  return KXT_Handle<Base>(made);
}

}  // namespace

KXT_TypeTag KXT_TagOfType(const std::type_info& type) {
  // The same type_info object first (the usual case, and no name compares),
  // then equal types.
  for (KXT_TypeTag tag = 1; tag <= kKXTLastTag; ++tag) {
    if (kTagTypes[tag] == &type) return tag;
  }
  for (KXT_TypeTag tag = 1; tag <= kKXTLastTag; ++tag) {
    if (*kTagTypes[tag] == type) return tag;
  }
  return 0;
}

const std::type_info* KXT_TypeOfTag(KXT_TypeTag tag) { return tag <= kKXTLastTag ? kTagTypes[tag] : nullptr; }

template <class T>
void KXT_Out_Impl<T>::PutData(const T* values, uint32_t count) {
  PutValues<T>(*stream_, values, count);
}

template <class T>
KXT_Out_Impl<T>::~KXT_Out_Impl() noexcept(false) {
  KXT_Completion done;
  done.RunDelete(stream_);  // completes it in the code file
  done.Run([this] { container_.reset(); });
  done.Finish();
}

template <class T>
uint32_t KXT_In_Impl<T>::GetData(T* values, uint32_t count) {
  return GetValues<T>(*stream_, values, count);
}

template <class T>
KXT_In_Impl<T>::~KXT_In_Impl() noexcept(false) {
  KXT_Completion done;
  done.RunDelete(stream_);
  done.Run([this] { container_.reset(); });
  done.Finish();
}

KXT_Handle<KXT_OutStream2> KXT_CreateTypedStream(CF_OutStorage& storage, const KXT_Handle<KXT_OutContainer>& container,
                                                 const std::type_info& type, const char* name, int32_t id) {
  KXT_Owned<CF_OutStream> stream(storage.CreateStream(name, id, CF_DecideAtFirstFlush));
  const KXT_TypeTag tag = KXT_TagOfType(type);
  const uint8_t bytes[2] = {static_cast<uint8_t>(tag), static_cast<uint8_t>(tag >> 8)};
  stream->PutData(bytes, sizeof bytes);
  return NewStream<KXT_Out_Impl, KXT_OutStream2>(tag, container, stream.release());
}

KXT_Handle<KXT_InStream2> KXT_OpenTypedStream(CF_InStorage& storage, const KXT_Handle<KXT_InContainer>& container,
                                              const std::type_info& type, const char* name, int32_t id) {
  KXT_Owned<CF_InStream> stream(storage.OpenStream(name, id));
  if (stream.get() == nullptr) return nullptr;
  uint8_t bytes[2];
  if (stream->GetData(bytes, sizeof bytes) != sizeof bytes) return nullptr;
  const KXT_TypeTag tag = static_cast<KXT_TypeTag>(bytes[0] | bytes[1] << 8);
  const std::type_info* stored = KXT_TypeOfTag(tag);
  if (stored == nullptr || *stored != type) return nullptr;
  return NewStream<KXT_In_Impl, KXT_InStream2>(tag, container, stream.release());
}

template class KXT_Out_Impl<void>;
template class KXT_Out_Impl<bool>;
template class KXT_Out_Impl<char>;
template class KXT_Out_Impl<unsigned char>;
template class KXT_Out_Impl<short>;
template class KXT_Out_Impl<unsigned short>;
template class KXT_Out_Impl<long>;
template class KXT_Out_Impl<unsigned long>;
template class KXT_Out_Impl<float>;
template class KXT_Out_Impl<double>;
template class KXT_Out_Impl<std::string>;
template class KXT_Out_Impl<std::u16string>;
template class KXT_Out_Impl<Variant>;
template class KXT_In_Impl<void>;
template class KXT_In_Impl<bool>;
template class KXT_In_Impl<char>;
template class KXT_In_Impl<unsigned char>;
template class KXT_In_Impl<short>;
template class KXT_In_Impl<unsigned short>;
template class KXT_In_Impl<long>;
template class KXT_In_Impl<unsigned long>;
template class KXT_In_Impl<float>;
template class KXT_In_Impl<double>;
template class KXT_In_Impl<std::string>;
template class KXT_In_Impl<std::u16string>;
template class KXT_In_Impl<Variant>;
