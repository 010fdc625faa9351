// Constants of the compound-file binary format and little-endian field
// access.  Every multi-byte field on disk is little-endian and is read and
// written one field at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ole {
namespace format {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

constexpr uint32_t kHeaderSize = 512;  // bytes of header fields (version 4 pads its first sector)
constexpr uint16_t kByteOrderMark = 0xFFFE;
constexpr uint16_t kMinorVersion = 0x003E;
constexpr uint16_t kMajorVersion3 = 3;
constexpr uint16_t kMajorVersion4 = 4;
constexpr uint16_t kSectorShift3 = 9;   // 512-byte sectors
constexpr uint16_t kSectorShift4 = 12;  // 4096-byte sectors
constexpr uint16_t kMiniSectorShift = 6;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;  // streams shorter than this live in the mini stream
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kDirEntrySize = 128;
constexpr uint32_t kNameBytes = 64;  // 32 UTF-16 units including the NUL

// Sector numbers with a meaning of their own.
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;  // directory: no sibling / child

// Directory entry object types and colours.
constexpr uint8_t kTypeUnused = 0;
constexpr uint8_t kTypeStorage = 1;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;
constexpr uint8_t kRed = 0;
constexpr uint8_t kBlack = 1;

// Header field offsets.
constexpr size_t kHdrMinorVersion = 24;
constexpr size_t kHdrMajorVersion = 26;
constexpr size_t kHdrByteOrder = 28;
constexpr size_t kHdrSectorShift = 30;
constexpr size_t kHdrMiniSectorShift = 32;
constexpr size_t kHdrDirSectorCount = 40;
constexpr size_t kHdrFatSectorCount = 44;
constexpr size_t kHdrFirstDirSector = 48;
constexpr size_t kHdrMiniCutoff = 56;
constexpr size_t kHdrFirstMiniFatSector = 60;
constexpr size_t kHdrMiniFatSectorCount = 64;
constexpr size_t kHdrFirstDifatSector = 68;
constexpr size_t kHdrDifatSectorCount = 72;
constexpr size_t kHdrDifat = 76;

// Directory entry field offsets.
constexpr size_t kDirName = 0;
constexpr size_t kDirNameLength = 64;
constexpr size_t kDirType = 66;
constexpr size_t kDirColor = 67;
constexpr size_t kDirLeft = 68;
constexpr size_t kDirRight = 72;
constexpr size_t kDirChild = 76;
constexpr size_t kDirClsid = 80;
constexpr size_t kDirStateBits = 96;
constexpr size_t kDirCreated = 100;
constexpr size_t kDirModified = 108;
constexpr size_t kDirStart = 116;
constexpr size_t kDirSize = 120;

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace format
}  // namespace ole
