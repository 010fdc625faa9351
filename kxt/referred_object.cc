#include "kxt/referred_object.h"

void ReferredObject::Delete() { delete this; }
