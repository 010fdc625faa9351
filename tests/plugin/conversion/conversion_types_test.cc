// Conversion types from file kinds and back, the kinds check of a request,
// and the host codes a request gives its two file records, compared as text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/conversion/conversion_types.h"
#include "plugin/qapi/file_spec.h"

namespace {

// A four-character code as its characters, first one from the high byte.
std::string Chars(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((code >> shift) & 0xFF);
  return text;
}

const FileKind kNone = kFileKindNone;

TEST(ConversionTypes, FromKindsFirstMatchingRuleWins) {
  struct Case {
    FileKind source, target, extra;
    ConversionType type;
  };
  const std::vector<Case> cases = {
      {kFileKindQxp, kFileKindKxq, kNone, kConvertToKxq},
      {kFileKindQxp, kFileKindKxq, kFileKindPdf, kConvertToKxqAndPdf},
      {kFileKindQxp, kFileKindKxq, kFileKindLog, kConvertToKxq},
      {kFileKindQxp, kFileKindPdf, kFileKindPdf, kConvertToPdf},
      {kFileKindQxp, kFileKindCoo, kNone, kConvertToCoordinates},
      {kFileKindQxp, kFileKindKrm, kNone, kConvertToXTags},
      {kFileKindKxq, kFileKindQxp, kFileKindPdf, kConvertImport},  // extra only counts for (qxp, kxq)
      {kFileKindQxd, kFileKindKxq, kNone, kConvertNone},  // only "qxp" exports
      {kFileKindKxq, kFileKindQxd, kNone, kConvertNone},  // only "qxp" closes an import
      {kFileKindKxq, kFileKindPdf, kNone, kConvertNone},
      {kFileKindQxp, kFileKindQxp, kNone, kConvertNone},
      {kFileKindQxp, kFileKindLog, kNone, kConvertNone},
      {kNone, kNone, kNone, kConvertNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConversionTypeFromKinds(c.source, c.target, c.extra), c.type)
        << c.source << " " << c.target << " " << c.extra;
  }
}

TEST(ConversionTypes, KindsOfEachTypeMapBackToIt) {
  for (uint32_t type = 0; type <= kConvertImport; ++type) {
    FileKind source = kNone, target = kNone, extra = kNone;
    KindsFromConversionType(type, &source, &target, &extra);
    EXPECT_EQ(ConversionTypeFromKinds(source, target, extra), type);
    EXPECT_EQ(extra, type == kConvertToKxqAndPdf ? kFileKindPdf : kNone) << type;
  }
  // Null places are skipped.
  FileKind source = kFileKindLog, target = kFileKindLog;
  KindsFromConversionType(kConvertToKxqAndPdf, &source, &target, nullptr);
  EXPECT_EQ(source, kFileKindQxp);
  EXPECT_EQ(target, kFileKindKxq);
  FileKind only = kFileKindLog;
  KindsFromConversionType(kConvertToXTags, nullptr, &only, nullptr);
  EXPECT_EQ(only, kFileKindKrm);
  // Nothing is written for "none" or an unknown type.
  for (uint32_t type : {6u, 7u, 0xFFFFFFFFu}) {
    FileKind s = kFileKindLog, t = kFileKindLog, e = kFileKindLog;
    KindsFromConversionType(type, &s, &t, &e);
    EXPECT_EQ(s, kFileKindLog);
    EXPECT_EQ(t, kFileKindLog);
    EXPECT_EQ(e, kFileKindLog);
  }
}

TEST(ConversionTypes, CheckKindsOfARequest) {
  struct Case {
    uint32_t type;
    FileKind source, target;
    bool requireHostSource, fits;
  };
  const std::vector<Case> cases = {
      {0, kFileKindQxp, kFileKindKxq, true, true},
      {0, kFileKindQxd, kFileKindKxq, true, true},
      {0, kFileKindKxq, kFileKindKxq, true, false},  // no host document source
      {0, kFileKindKxq, kFileKindKxq, false, true},  // the target alone
      {0, kFileKindQxp, kFileKindPdf, false, false},
      {1, kFileKindQxp, kFileKindPdf, true, true},
      {1, kFileKindQxp, kFileKindKxq, false, false},  // a PDF export to a container kind
      {3, kFileKindQxp, kFileKindCoo, true, true},
      {3, kFileKindQxp, kFileKindKrm, true, false},
      {4, kFileKindQxp, kFileKindKrm, true, true},
      {4, kNone, kFileKindKrm, true, false},
      {5, kFileKindKxq, kFileKindQxd, true, true},
      {5, kFileKindKxq, kFileKindQxp, false, true},
      {5, kFileKindQxp, kFileKindQxp, false, false},
      {5, kFileKindKxq, kFileKindPdf, true, false},
      {2, kFileKindQxp, kFileKindKxq, false, false},  // never run, even when the kinds fit
      {6, kFileKindQxp, kFileKindKxq, false, false},
      {9, kFileKindQxp, kFileKindKxq, false, false},
  };
  for (const Case& c : cases) {
    FileSpecPair pair;
    pair.conversionType = c.type;
    pair.source.kind = c.source;
    pair.target.kind = c.target;
    EXPECT_EQ(pair.CheckKinds(c.requireHostSource), c.fits) << c.type << " " << c.source << " " << c.target;
  }
}

TEST(ConversionTypes, SetHostTypesGivesEachRecordItsCodes) {
  struct Case {
    uint32_t type;
    std::string sourceType, sourceCode, targetType, targetCode;
  };
  const std::vector<Case> cases = {
      {0, "XPR3", std::string("QXP\0", 4), "XPR3", "KXQX"},
      {1, "XPR3", std::string("QXP\0", 4), "CARO", std::string("PDF\0", 4)},
      {3, "XPR3", std::string("QXP\0", 4), "XPR3", "COOT"},
      {4, "XPR3", std::string("QXP\0", 4), "XPR3", "KRMT"},
      {5, "XPR3", "KXQT", "XPR3", "XPRT"},
  };
  testing::internal::CaptureStdout();
  for (const Case& c : cases) {
    FileSpecPair pair;
    pair.conversionType = c.type;
    pair.source.fileName = "kept";
    pair.SetHostTypes();
    EXPECT_EQ(Chars(pair.source.hostType), c.sourceType) << c.type;
    EXPECT_EQ(Chars(static_cast<uint32_t>(pair.source.value)), c.sourceCode) << c.type;
    EXPECT_EQ(Chars(pair.target.hostType), c.targetType) << c.type;
    EXPECT_EQ(Chars(static_cast<uint32_t>(pair.target.value)), c.targetCode) << c.type;
    EXPECT_EQ(pair.source.fileName, "kept");
    EXPECT_EQ(pair.conversionType, c.type);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ConversionTypes, InvalidTypesReportOnStandardOutputAndFallBack) {
  for (uint32_t type : {2u, 6u, 42u}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Chars(ConversionHostType(type, true)), "XPR3");
    EXPECT_EQ(ConversionHostCode(type, false), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR: Invalid conversion type!\nERROR: Invalid conversion type!\n");
  }
  // The request keeps defaults a record can tell from real codes.
  testing::internal::CaptureStdout();
  FileSpecPair pair;
  pair.conversionType = kConvertToKxqAndPdf;
  pair.source.hostType = kHostTypePdf;
  pair.SetHostTypes();
  EXPECT_EQ(testing::internal::GetCapturedStdout().size(), 4 * std::string("ERROR: Invalid conversion type!\n").size());
  EXPECT_EQ(Chars(pair.source.hostType), "XPR3");
  EXPECT_EQ(pair.source.value, -1);
  EXPECT_EQ(pair.target.value, -1);
}

}  // namespace
