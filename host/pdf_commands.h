// The host's PDF export and output styles as a whole, shared by the PDF
// suite (XPDa) and the xthost commands, so both write the same transcript
// lines:
//   pdf export document ID to "NAME" style "STYLE" pages N
//   pdf export document ID failed: REASON
//   output style ID "NAME" medium MEDIUM [default]
//   output styles imported N from "NAME"
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace xthost {

// Runs the PDF export of project `project`'s current layout.  The output
// file starts as `chosen` (what a user picked; empty from the suite); the
// plug-ins' kind-681 routines are called with state 3 and may hand another
// file and select a style.  Without an output file at the end the export
// fails (-43).  The PDF lands at the output path, with ".pdf" added when
// XTHOST_PDF_ADD_EXTENSION is "1", and the log "<output path>_pdf.log"
// beside it.  0, or the failure with the reason in *error.
int32_t ExportPdf(Host& host, int32_t project, const std::string& chosen, std::string* error);

// Reads the output-style document at `path` and adds its styles to the
// list (those whose name is taken stay out); *added counts the new ones.
int32_t ImportOutputStyles(Host& host, const std::string& path, int32_t* added, std::string* error);

// Makes a new untitled document `name` with one print layout `layout` of
// one page of width by height (16.16 points), current; its id in *id.
// Margins (top, left, bottom, right) must be non-negative and leave room.
int32_t NewProjectDocument(Host& host, const std::string& name, const std::string& layout, int32_t width,
                           int32_t height, const int32_t* margins, int32_t* id, std::string* error);

// The xthost commands "output-styles" (one line per style of the list),
// "import-output-styles" (`value` PATH) and "pdf" (`value` PATH: the export
// of the current document, as a user starts it).  False when the command
// failed, with "NAME failed: REASON" in the transcript and on standard error.
bool RunPdfCommand(Host& host, const std::string& name, const std::string& value);

}  // namespace xthost
