#include "platform/ole/ole.h"

#include <cstring>

namespace ole {

bool Clsid::operator==(const Clsid& o) const { return std::memcmp(bytes, o.bytes, sizeof bytes) == 0; }

}  // namespace ole
