#include "platform/ole/ole.h"

#include <cstdlib>
#include <cstring>


namespace ole {

bool Clsid::operator==(const Clsid& o) const { return std::memcmp(bytes, o.bytes, sizeof bytes) == 0; }

namespace {

// The one task allocator: plain heap memory; never deleted.
class HeapAllocator final : public Allocator {
 public:
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override { return refs_ > 1 ? --refs_ : 1; }
  void* Alloc(size_t bytes) override { return std::malloc(bytes == 0 ? 1 : bytes); }
  void Free(void* p) override { std::free(p); }

 private:
  uint32_t refs_ = 1;
};

uint32_t g_initialized = 0;
// What the next Initialize answers instead, S_OK for nothing.
Result g_next_initialize = S_OK;

}  // namespace

Result GetAllocator(Allocator** allocator) {
  if (allocator == nullptr) return E_INVALIDARG;
  static HeapAllocator heap;
  heap.AddRef();
  *allocator = &heap;
  return S_OK;
}

Result Initialize() {
  if (g_next_initialize != S_OK) {
    const Result failure = g_next_initialize;
    g_next_initialize = S_OK;
    return failure;
  }
  return g_initialized++ == 0 ? S_OK : S_FALSE;
}

void FailNextInitialize(Result failure) { g_next_initialize = failure; }

void Uninitialize() {
  if (g_initialized > 0) --g_initialized;
}

}  // namespace ole
