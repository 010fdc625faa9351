#include "support/ref_object.h"

void RefObject::Release() {
  if (--count_ == 0) delete this;
}
