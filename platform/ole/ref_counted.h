// The reference counting shared by the storage layer's objects: created with
// one reference, deleted with the release of the last.
#pragma once

#include <cstdint>

namespace ole {

template <class Interface>
class RefCounted : public Interface {
 public:
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  RefCounted() = default;
  ~RefCounted() override = default;

 private:
  uint32_t refs_ = 1;
};

}  // namespace ole
