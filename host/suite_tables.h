// The suite and bound-table objects the stand-in host hands out.
#pragma once

#include "platform/xt/xt_export_suites.h"
#include "platform/xt/xt_suites.h"

namespace xthost {

extern const XTStringSuite kStringSuite;
extern const XTPathSuite kPathSuite;
extern const XTConverterSuite kConverterSuite;
extern const XTErrorSuite kErrorSuite;
extern const XTAlertTextSuite kAlertTextSuite;
extern const XTFileSuite kFileSuite;
extern const XTFolderSpecSuite kFolderSpecSuite;
extern const XTDocumentSuite kDocumentSuite;
extern const XTProjectSuite kProjectSuite;
extern const XTModuleSuite kModuleSuite;
extern const XTNoteSuite kNoteSuite;
// The export's tables (suites_export.cc).
extern const XTFileDataSuite kFileDataSuite;
extern const XTColorQuerySuite kColorQuerySuite;
extern const XTTextExportSuite kTextExportSuite;

}  // namespace xthost
