// Removing a file through the host, the way the conversions clear a target
// before writing it.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

namespace CnvTools {

// Removes the file at `path` through the host: 0 when it was removed, -43
// when there was none, else the host's error.
int32_t ProbeHostFile(const std::string& path);

}  // namespace CnvTools
