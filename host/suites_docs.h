// The document-access suites the stand-in host hands out
// (platform/xt/xt_doc_suites.h).
#pragma once

#include "platform/xt/xt_doc_suites.h"
#include "platform/xt/xt_layout_suites.h"
#include "platform/xt/xt_suites.h"

namespace xthost {

extern const XTMemorySuite kMemorySuite;
extern const XTStoryTextSuite kStoryTextSuite;
extern const XTTextAttributeSuite kTextAttributeSuite;
extern const XTSelectionSuite kSelectionSuite;
extern const XTDocumentStateSuite kDocumentStateSuite;
extern const XTFontSuite kFontSuite;
extern const XTLayoutSuite kLayoutSuite;
extern const XTItemDataSuite kItemDataSuite;

}  // namespace xthost
