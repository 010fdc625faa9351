// Suites by code.
#include "host/host.h"
#include "host/suite_tables.h"
#include "host/suites_docs.h"

namespace xthost {
namespace {

// Suites whose entries no plug-in calls yet.
const XTPlainSuite kPlainSuites[] = {
    {kXTSuiteLTB1}, {kXTSuiteLTC1}, {kXTSuiteLTD1}, {kXTSuiteLGA2}, {kXTSuiteLGB2},
    {kXTSuiteLGC2}, {kXTSuiteLGD2}, {kXTSuiteQSA1},
    {kXTSuiteLOA1}, {kXTSuiteXPTA}, {kXTSuiteQLYI}, {kXTSuiteXPDF},
};

}  // namespace

const void* FindSuite(uint32_t code) {
  const void* const kSuites[] = {
      &kStringSuite,    &kPathSuite,   &kConverterSuite,  &kErrorSuite,
      &kAlertTextSuite, &kFileSuite,   &kFolderSpecSuite, &kDocumentSuite,
      &kProjectSuite,   &kModuleSuite, &kNoteSuite,
      // Document access (suites_docs.cc).
      &kMemorySuite, &kStoryTextSuite, &kTextAttributeSuite, &kSelectionSuite,
      &kDocumentStateSuite, &kFontSuite, &kLayoutSuite, &kItemDataSuite,
      // The export's tables (suites_export.cc).
      &kFileDataSuite, &kColorQuerySuite, &kTextExportSuite,
  };
  // Every suite begins with its code.
  for (const void* suite : kSuites) {
    if (*static_cast<const uint32_t*>(suite) == code) return suite;
  }
  if (const void* ui = FindUiSuite(code)) return ui;
  for (const XTPlainSuite& suite : kPlainSuites) {
    if (suite.code == code) return &suite;
  }
  return nullptr;
}

}  // namespace xthost
