// Little-endian fixed-width values as bytes, the way stored formats hold them.
#pragma once

#include <cstdint>
#include <string>

namespace testutil {

// The two, four or eight bytes of `v`, lowest first.
inline std::string LE16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
inline std::string LE32(uint32_t v) { return LE16(static_cast<uint16_t>(v)) + LE16(static_cast<uint16_t>(v >> 16)); }
inline std::string LE64(uint64_t v) { return LE32(static_cast<uint32_t>(v)) + LE32(static_cast<uint32_t>(v >> 32)); }

}  // namespace testutil
