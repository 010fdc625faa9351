// Suites by code.
#include "host/host.h"
#include "host/suite_tables.h"

namespace xthost {
namespace {

// Suites whose entries no plug-in calls yet.
const XTPlainSuite kPlainSuites[] = {
    {kXTSuiteLTB1}, {kXTSuiteLTC1}, {kXTSuiteLTD1}, {kXTSuiteLGA2}, {kXTSuiteLGB2},
    {kXTSuiteLGC2}, {kXTSuiteLGD2}, {kXTSuiteLGE2}, {kXTSuiteLGF2}, {kXTSuiteLGG2},
    {kXTSuiteLGH2}, {kXTSuiteLGI2}, {kXTSuiteLGJ2}, {kXTSuiteLGK2}, {kXTSuiteLGL2},
    {kXTSuiteQSA1}, {kXTSuiteLOA1}, {kXTSuiteXPTA}, {kXTSuiteQLYI}, {kXTSuiteXPDF},
};

}  // namespace

const void* FindSuite(uint32_t code) {
  const void* const kSuites[] = {
      &kStringSuite,    &kPathSuite,   &kConverterSuite,  &kErrorSuite,
      &kAlertTextSuite, &kFileSuite,   &kFolderSpecSuite, &kDocumentSuite,
      &kProjectSuite,   &kModuleSuite, &kNoteSuite,
  };
  // Every suite begins with its code.
  for (const void* suite : kSuites) {
    if (*static_cast<const uint32_t*>(suite) == code) return suite;
  }
  for (const XTPlainSuite& suite : kPlainSuites) {
    if (suite.code == code) return &suite;
  }
  return nullptr;
}

}  // namespace xthost
