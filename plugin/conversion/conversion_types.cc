#include "plugin/conversion/conversion_types.h"

#include <iostream>

#include "plugin/qapi/file_spec.h"

namespace {

struct HostCodes {
  uint32_t sourceType, sourceCode, targetType, targetCode;
};

// Rows by conversion type; types 2 and 6 have none.
const HostCodes* FindHostCodes(uint32_t type) {
  static const HostCodes kCodes[6] = {
      {kHostTypeDocument, kHostCodeQxp, kHostTypeDocument, kHostCodeKxq},
      {kHostTypeDocument, kHostCodeQxp, kHostTypePdf, kHostCodePdf},
      {0, 0, 0, 0},
      {kHostTypeDocument, kHostCodeQxp, kHostTypeDocument, kHostCodeCoordinates},
      {kHostTypeDocument, kHostCodeQxp, kHostTypeDocument, kHostCodeXTags},
      {kHostTypeDocument, kHostCodeKxqSource, kHostTypeDocument, kHostCodeDocument},
  };
  if (type > kConvertImport || type == kConvertToKxqAndPdf) {
    std::cout << "ERROR: Invalid conversion type!" << std::endl;
    return nullptr;
  }
  return &kCodes[type];
}

}  // namespace

ConversionType ConversionTypeFromKinds(FileKind source, FileKind target, FileKind extra) {
  if (source == kFileKindQxp) {
    switch (target) {
      case kFileKindKxq: return extra == kFileKindPdf ? kConvertToKxqAndPdf : kConvertToKxq;
      case kFileKindPdf: return kConvertToPdf;
      case kFileKindCoo: return kConvertToCoordinates;
      case kFileKindKrm: return kConvertToXTags;
      default: return kConvertNone;
    }
  }
  if (source == kFileKindKxq && target == kFileKindQxp) return kConvertImport;
  return kConvertNone;
}

void KindsFromConversionType(uint32_t type, FileKind* source, FileKind* target, FileKind* extra) {
  static const FileKind kTargets[6] = {kFileKindKxq, kFileKindPdf, kFileKindKxq,
                                       kFileKindCoo, kFileKindKrm, kFileKindQxp};
  if (type > kConvertImport) return;
  if (source != nullptr) *source = type == kConvertImport ? kFileKindKxq : kFileKindQxp;
  if (target != nullptr) *target = kTargets[type];
  if (extra != nullptr && type == kConvertToKxqAndPdf) *extra = kFileKindPdf;
}

uint32_t ConversionHostType(uint32_t type, bool forSource) {
  const HostCodes* codes = FindHostCodes(type);
  if (codes == nullptr) return kHostTypeDocument;
  return forSource ? codes->sourceType : codes->targetType;
}

int32_t ConversionHostCode(uint32_t type, bool forSource) {
  const HostCodes* codes = FindHostCodes(type);
  if (codes == nullptr) return -1;
  return static_cast<int32_t>(forSource ? codes->sourceCode : codes->targetCode);
}

// FileSpecPair's members over the conversion types live here, with the
// tables they read.

bool FileSpecPair::CheckKinds(bool requireHostSource) const {
  static const uint32_t kExportTargets[5] = {kFileKindKxq, kFileKindPdf, kFileKindNone,
                                             kFileKindCoo, kFileKindKrm};
  switch (conversionType) {
    case kConvertToKxq:
    case kConvertToPdf:
    case kConvertToCoordinates:
    case kConvertToXTags:
      if (requireHostSource && source.kind != kFileKindQxp && source.kind != kFileKindQxd) return false;
      return target.kind == kExportTargets[conversionType];
    case kConvertImport:
      return source.kind == kFileKindKxq && (target.kind == kFileKindQxp || target.kind == kFileKindQxd);
    default:
      return false;
  }
}

void FileSpecPair::SetHostTypes() {
  source.hostType = ConversionHostType(conversionType, true);
  source.value = ConversionHostCode(conversionType, true);
  target.hostType = ConversionHostType(conversionType, false);
  target.value = ConversionHostCode(conversionType, false);
}
