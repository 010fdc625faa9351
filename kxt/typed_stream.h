// Typed value streams: logical streams of a container that begin with a
// 2-byte little-endian type tag and then hold values of that one type back
// to back, with no count and no terminator.
//
//   tag  type             one value
//   0    void             raw bytes (PutData / GetData count bytes)
//   1    bool             1 byte (read: any non-zero byte is true)
//   2    char             1 byte
//   3    unsigned char    1 byte
//   4    short            2 bytes
//   5    unsigned short   2 bytes
//   6    long             4 bytes, signed
//   7    unsigned long    4 bytes
//   8    float            4 bytes, IEEE single
//   9    double           8 bytes, IEEE double
//   10   std::string      u16 length n, then n bytes
//   11   std::u16string   u16 length n, then n UTF-16 units (2n bytes)
//   12   Variant          its serialised form
//
// All values are little-endian.  long and unsigned long keep 4 bytes on disk
// whatever their width in memory; writing a value outside 32 bits, or a
// string longer than 65535 units, raises failure 33001 and writes nothing of
// that call.  Any other type (int, std::wstring, ...) has tag 0.
//
// Callers hold a KXT_Handle<KXT_OutStream2> (or KXT_InStream2) and reach the
// typed interface by dynamic_cast of its KXT_OutStream to KXT_Out<T> (or of
// KXT_InStream to KXT_In<T>); a wrong T makes the cast fail.  As<T>() gives
// the same answer without the cast's walk through the bases (it is on the
// path of every value of the element model).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <typeinfo>

#include "framework/streams.h"
#include "framework/variant.h"
#include "kxt/referred_object.h"

using KXT_TypeTag = uint16_t;

// The highest tag; a stream whose tag is above it opens as null.
constexpr KXT_TypeTag kKXTLastTag = 12;
// Failure of a value the format cannot hold.
constexpr int kKXTFailBadValue = 33001;

// The tag of T, at compile time.
template <class T> struct KXT_TagOf : std::integral_constant<KXT_TypeTag, 0> {};
template <> struct KXT_TagOf<bool> : std::integral_constant<KXT_TypeTag, 1> {};
template <> struct KXT_TagOf<char> : std::integral_constant<KXT_TypeTag, 2> {};
template <> struct KXT_TagOf<unsigned char> : std::integral_constant<KXT_TypeTag, 3> {};
template <> struct KXT_TagOf<short> : std::integral_constant<KXT_TypeTag, 4> {};
template <> struct KXT_TagOf<unsigned short> : std::integral_constant<KXT_TypeTag, 5> {};
template <> struct KXT_TagOf<long> : std::integral_constant<KXT_TypeTag, 6> {};
template <> struct KXT_TagOf<unsigned long> : std::integral_constant<KXT_TypeTag, 7> {};
template <> struct KXT_TagOf<float> : std::integral_constant<KXT_TypeTag, 8> {};
template <> struct KXT_TagOf<double> : std::integral_constant<KXT_TypeTag, 9> {};
template <> struct KXT_TagOf<std::string> : std::integral_constant<KXT_TypeTag, 10> {};
template <> struct KXT_TagOf<std::u16string> : std::integral_constant<KXT_TypeTag, 11> {};
template <> struct KXT_TagOf<Variant> : std::integral_constant<KXT_TypeTag, 12> {};

// The tag of a type named at run time: the first of the twelve value types
// (tags 1 to 12, in order) equal to it; 0 for any other type, void included.
KXT_TypeTag KXT_TagOfType(const std::type_info& type);
// The type of a tag from 0 to 12; null above.
const std::type_info* KXT_TypeOfTag(KXT_TypeTag tag);

// --- writing ---------------------------------------------------------------

template <class T>
class KXT_Out;
template <class T>
class KXT_In;

class KXT_OutStream {
 public:
  // The value type: that of T, void for tag 0.
  virtual const std::type_info& Type() const = 0;
  // This stream as KXT_Out<T>; std::bad_cast when it is not one (as
  // dynamic_cast to a reference).
  template <class T>
  KXT_Out<T>& As() {
    void* typed = Typed(typeid(T));
    if (typed == nullptr) throw std::bad_cast();
    return *static_cast<KXT_Out<T>*>(typed);
  }

 protected:
  virtual ~KXT_OutStream() noexcept(false) {}
  // The KXT_Out<T> of this stream when T is `type`, else null.
  virtual void* Typed(const std::type_info&) { return nullptr; }
};

template <class T>
class KXT_Out : public virtual KXT_OutStream, public outstream<T> {
 public:
  // Appends count values in order (tag 0: count bytes).  Values the format
  // cannot hold are refused (33001) before anything of the call is written.
  virtual void PutData(const T* values, uint32_t count) = 0;

 protected:
  ~KXT_Out() noexcept(false) override {}
  void* Typed(const std::type_info& type) override { return type == typeid(T) ? this : nullptr; }
};

// The counted form that folders hand out; releasing the last reference
// completes the stream in the code file.
class KXT_OutStream2 : public virtual KXT_OutStream, public ReferredObject {
 protected:
  ~KXT_OutStream2() noexcept(false) override {}
};

// --- reading ---------------------------------------------------------------

class KXT_InStream {
 public:
  virtual const std::type_info& Type() const = 0;
  // This stream as KXT_In<T>; std::bad_cast when it is not one.
  template <class T>
  KXT_In<T>& As() {
    void* typed = Typed(typeid(T));
    if (typed == nullptr) throw std::bad_cast();
    return *static_cast<KXT_In<T>*>(typed);
  }

 protected:
  virtual ~KXT_InStream() noexcept(false) {}
  virtual void* Typed(const std::type_info&) { return nullptr; }
};

template <class T>
class KXT_In : public virtual KXT_InStream, public instream<T> {
 public:
  // Reads up to count values in order and returns how many were read whole
  // (tag 0: bytes).  It stops at the first value that cannot be read whole:
  // the end of the data, a string cut short (the target string then holds
  // what arrived of it) or a Variant the Variant reader refuses (the target
  // Variant is left as it was).
  virtual uint32_t GetData(T* values, uint32_t count) = 0;

 protected:
  ~KXT_In() noexcept(false) override {}
  void* Typed(const std::type_info& type) override { return type == typeid(T) ? this : nullptr; }
};

class KXT_InStream2 : public virtual KXT_InStream, public ReferredObject {
 protected:
  ~KXT_InStream2() noexcept(false) override {}
};
