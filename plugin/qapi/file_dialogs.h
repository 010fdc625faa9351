// The host's open and save dialogs through which an interactive user picks
// the source and target of a request, and their file-type filters.
//
// Every dialog object and host string lives for one dialog only.  A
// cancelled or failed dialog answers false and leaves the caller's path or
// record as it was.  Host thread only.
#pragma once

#include <string>

#include "platform/xt/xt_records.h"
#include "platform/xt/xt_ui_suites.h"

// The filters: "Solvane Files" (kxq), "Coordinate Files" (coo), "KRM
// Files" (krm), "Quark Files" (QXP).
extern const XTFileFilter kSolvaneFilter;
extern const XTFileFilter kCoordinatesFilter;
extern const XTFileFilter kKrmFilter;
extern const XTFileFilter kQuarkFilter;

// The KRM filter when `krm`, else the coordinates filter when
// `coordinates`, else the Solvane filter when `solvane`, else the Quark
// filter.
const XTFileFilter& FileTypeFilter(bool solvane, bool coordinates, bool krm);

// The open dialog for the document to export ("Quark Files"), prompting
// "Choose Quark document to export:", or in MultiDoc mode "Choose Quark
// book to export:".  True, with the chosen file's path in `path`, when the
// user chose a file.
bool ChooseDocumentToExport(std::string& path);
// The open dialog for the file to import ("Solvane Files"), prompting
// "Choose Solvane file to import:", or in MultiDoc mode "Import Solvane
// Files".
bool ChooseFileToImport(std::string& path);

// The save dialogs.  `spec` proposes the file (its extension is replaced by
// the kind's: kxq, coo, krm, qxp) and receives the chosen one; true when
// the user confirmed.
bool AskKxtOutputName(XTFileSpec& spec);          // "Solvane output file name:"
bool AskCoordinatesOutputName(XTFileSpec& spec);  // "Coordinates output file name:"
bool AskKrmOutputName(XTFileSpec& spec);          // "KRM output file name:"
bool AskImportOutputName(XTFileSpec& spec);       // "Output document name:"
