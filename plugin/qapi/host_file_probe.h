// Removing a file through the host, with the host's own word on it.
#pragma once

#include <cstdint>
#include <string>

namespace CnvTools {

// Removes the file at `path` through the host: makes its spec, allocates a
// file object, points it at the spec and deletes the file.  The first
// status that is not 0: -43 when there was no file (the spec of a missing
// file is still made, so the deletion is tried and answers -43 as well),
// another failure of a step, or 0 when the file was removed.  The file
// object is disposed of on every way out.
int32_t ProbeHostFile(const std::string& path);

}  // namespace CnvTools
