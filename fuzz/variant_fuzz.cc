// Feeds arbitrary bytes to Variant's reader.  Every value it accepts must
// write back as the bytes it came from (bools as 0 or 1), read again to the
// same value, and survive the conversions and comparisons.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/variant.h"

namespace {

class BytesIn : public InStream {
 public:
  BytesIn(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t GetData(void* buffer, uint32_t n) override {
    size_t k = std::min<size_t>(n, size_ - pos_);
    if (k) std::memcpy(buffer, data_ + pos_, k);
    pos_ += k;
    return static_cast<uint32_t>(k);
  }
  size_t pos() const { return pos_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class BytesOut : public OutStream {
 public:
  void PutData(const void* data, uint32_t n) override { bytes.append(static_cast<const char*>(data), n); }
  std::string bytes;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Serialise(const Variant& v) {
  BytesOut out;
  Check(v >> out);
  return out.bytes;
}

bool IsBoolKind(const Variant& v) { return v.Type() == kVariantBool || v.Type() == kVariantBoolArray; }

bool IsNan(const Variant& v) { return !v.IsArray() && std::isnan(v.ExpandedReal()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytesIn in(data, size);
  std::vector<Variant> values;
  while (values.size() < 32) {
    size_t start = in.pos();
    Variant v(7);
    if (!(v << in)) {
      Check(v.Type() == kVariantEmpty && v.ArraySize() == 0);
      break;
    }
    std::string consumed(reinterpret_cast<const char*>(data) + start, in.pos() - start);
    std::string written = Serialise(v);
    Check(written.size() == consumed.size());
    if (!IsBoolKind(v)) Check(written == consumed);

    BytesIn again(reinterpret_cast<const uint8_t*>(written.data()), written.size());
    Variant w;
    Check(w << again);
    Check(again.pos() == written.size());
    Check(w.Type() == v.Type() && w.TypeSize() == v.TypeSize() && w.ArraySize() == v.ArraySize());
    Check(Serialise(w) == written);
    Check(IsNan(v) || (w == v && !(w < v) && !(v < w)));

    Variant out;
    v.ToInteger(out);
    v.ToReal(out);
    v.ToString(out, true);
    v.ToString(out, false);
    (void)static_cast<char>(v);
    (void)static_cast<char16_t>(v);
    values.push_back(v);
  }
  for (const Variant& a : values)
    for (const Variant& b : values) {
      Check(!(a < b && b < a));
      Check((a == b) == (b == a));
    }
  return 0;
}
