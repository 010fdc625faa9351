#include "platform/ole/element_enum.h"

#include <algorithm>

#include "platform/ole/open_element.h"

namespace ole {

Result ElementEnumObject::Next(uint32_t n, StatStg* stats, uint32_t* fetched) {
  if (fetched != nullptr) *fetched = 0;
  if (stats == nullptr && n > 0) return STG_E_INVALIDPOINTER;
  return Guarded([&] {
    size_t count = std::min<size_t>(n, list_->size() - next_);
    for (size_t i = 0; i < count; ++i) stats[i] = (*list_)[next_ + i];
    next_ += count;
    if (fetched != nullptr) *fetched = static_cast<uint32_t>(count);
    return count == n ? S_OK : S_FALSE;
  });
}

Result ElementEnumObject::Skip(uint32_t n) {
  size_t count = std::min<size_t>(n, list_->size() - next_);
  next_ += count;
  return count == n ? S_OK : S_FALSE;
}

Result ElementEnumObject::Reset() {
  next_ = 0;
  return S_OK;
}

Result ElementEnumObject::Clone(ElementEnum** clone) {
  if (clone == nullptr) return STG_E_INVALIDPOINTER;
  *clone = nullptr;
  return Guarded([&] {
    *clone = new ElementEnumObject(list_, next_);
    return S_OK;
  });
}

}  // namespace ole
