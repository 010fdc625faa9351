#include "kxt/referred_object.h"

uint32_t ReferredObject::AddRef() { return ++count_; }

uint32_t ReferredObject::Release() {
  if (--count_ != 0) return count_;
  Delete();
  return 0;
}

void ReferredObject::Delete() { delete this; }
