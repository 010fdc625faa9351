// Conversion types: what one conversion request does, derived from the kinds
// of its source and target files, and the host codes each type gives the two
// file records of a request.
//
// FileKind (support/paths.h) names a file by its extension; ConversionType
// names the work.  Type 2 (document to container and PDF) exists only in the
// two mappings: nothing converts by it.  Host thread only.
#pragma once

#include <cstdint>

#include "support/paths.h"

enum ConversionType : uint32_t {
  kConvertToKxq = 0,
  kConvertToPdf = 1,
  kConvertToKxqAndPdf = 2,
  kConvertToCoordinates = 3,
  kConvertToXTags = 4,
  kConvertImport = 5,
  kConvertNone = 6,
};

// Four-character host codes, first character in the high byte.
constexpr uint32_t kHostTypeDocument = 0x58505233;  // "XPR3"
constexpr uint32_t kHostTypePdf = 0x4341524F;       // "CARO"
constexpr uint32_t kHostCodeQxp = 0x51585000;       // "QXP" + NUL
constexpr uint32_t kHostCodeKxq = 0x4B585158;       // "KXQX"
constexpr uint32_t kHostCodePdf = 0x50444600;       // "PDF" + NUL
constexpr uint32_t kHostCodeCoordinates = 0x434F4F54;  // "COOT"
constexpr uint32_t kHostCodeXTags = 0x4B524D54;     // "KRMT"
constexpr uint32_t kHostCodeKxqSource = 0x4B585154;  // "KXQT"
constexpr uint32_t kHostCodeDocument = 0x58505254;  // "XPRT"

// The conversion from `source` to `target` files: only a "qxp" source
// exports and only a "qxp" target imports; `extra` PDF beside a container
// target gives type 2.  kConvertNone when nothing converts.
ConversionType ConversionTypeFromKinds(FileKind source, FileKind target, FileKind extra);

// The inverse: the kinds of `type` into the places given (null places are
// skipped); `extra` only for type 2.  Nothing is written for type 6 or an
// unknown type.
void KindsFromConversionType(uint32_t type, FileKind* source, FileKind* target, FileKind* extra);

// The host file type and the second host code a request of `type` gives its
// source (`forSource`) or target record.  Type 2, 6 or unknown: the line
// "ERROR: Invalid conversion type!" on standard output, and "XPR3" or -1.
uint32_t ConversionHostType(uint32_t type, bool forSource);
int32_t ConversionHostCode(uint32_t type, bool forSource);
