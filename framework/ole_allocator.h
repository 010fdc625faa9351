// OLEStdAllocator<T>: memory for elements of T from the storage layer's task
// allocator, which it holds for its lifetime.
#pragma once

#include <cstddef>

#include "framework/ole_object.h"
#include "platform/ole/ole.h"

template <class T>
class OLEStdAllocator : public OLEObject {
 public:
  // Takes the task allocator; a failure raises through OLEObject::Abort
  // (a missing allocator as E_OUTOFMEMORY).
  OLEStdAllocator() {
    ole::Result result = ole::GetAllocator(&allocator_);
    if (!ole::Succeeded(result)) Abort(result, static_cast<const char16_t*>(nullptr));
    if (!allocator_) Abort(ole::E_OUTOFMEMORY, static_cast<const char16_t*>(nullptr));
  }
  OLEStdAllocator(const OLEStdAllocator&) = delete;
  OLEStdAllocator& operator=(const OLEStdAllocator&) = delete;
  ~OLEStdAllocator() override { allocator_->Release(); }

  // Memory for `count` elements; raises E_OUTOFMEMORY through Abort when
  // there is none.
  T* Alloc(size_t count) {
    void* p = count <= static_cast<size_t>(-1) / sizeof(T) ? allocator_->Alloc(count * sizeof(T)) : nullptr;
    if (!p) Abort(ole::E_OUTOFMEMORY, static_cast<const char16_t*>(nullptr));
    return static_cast<T*>(p);
  }
  // Frees `p` (null is allowed) and sets it to null.
  void Free(T*& p) {
    if (p) allocator_->Free(p);
    p = nullptr;
  }

 private:
  ole::Allocator* allocator_ = nullptr;
};
