// The host ABI: the PDF XTension's suite (XPDa): the application's list of
// output styles and the PDF export.
//
// The list is one per application; styles in it are named, carry the
// output medium they serve and are looked up by exact name.  The export
// writes the current layout of a project as a PDF file: during the export
// the host calls the plug-ins' kind-681 routines (XTPdfRec, state 3), which
// hand it the output file and select the style; an export that was handed
// no output file fails.
#pragma once

#include <cstdint>

#include "platform/xt/xt_types.h"

using XTStyleList = int32_t;  // the application's output-style list
using XTStyleSet = int32_t;   // styles read from a file, not yet in the list
using XTStyle = int32_t;      // a style of the list

// The output medium of PDF styles, its first character in the low byte
// ('XPDF').
constexpr uint32_t kXTMediumPdf = 0x46445058;
// The export kind of XTPdfSuite::export_project ('XPDF', the same bytes).
constexpr uint32_t kXTExportPdf = kXTMediumPdf;

// XPDa: output styles and the PDF export.
struct XTPdfSuite {
  uint32_t code;
  // The output-style list serving `project` (the application's one list).
  int32_t (*style_list)(XTProject project, XTStyleList* list);
  // The style named exactly `name`: -43 when there is none.
  int32_t (*find_style)(XTStyleList list, XTString name, XTStyle* style);
  // The list's default style of `medium`: -43 when there is none.
  int32_t (*default_style)(XTStyleList list, uint32_t medium, XTStyle* style);
  // Reads the output-style document at the file object's location into a
  // new set, *count its styles; -43 without a file, -50 for a document that
  // is no output-style document.  The caller disposes of the set.
  int32_t (*read_styles)(XTFile file, XTStyleSet* set, int32_t* count);
  // Adds the styles of a set to the list; a style whose name is taken
  // stays out.
  int32_t (*add_styles)(XTStyleList list, XTStyleSet set);
  int32_t (*dispose_styles)(XTStyleSet set);
  // The style the running export uses.
  int32_t (*select_style)(XTStyleList list, XTStyle style);
  // The export's switch, set before the output file is handed over.
  int32_t (*set_export_switch)(int32_t value);
  // The running export's output file (a file object; one pointed nowhere
  // hands over no file).  The host copies the location.
  int32_t (*set_output_file)(XTFile file);
  // Exports the current layout of `project` with export kind `kind`
  // (kXTExportPdf) and `value` (0xFFFF: every page): synchronous.
  int32_t (*export_project)(XTProject project, uint32_t kind, int32_t value);
};
