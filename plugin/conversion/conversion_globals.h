// Process-wide state of the conversions: the overwrite flags, the folders
// chosen for folder conversions and batch jobs, the PDF folder and pending
// mark, the import's target path, and the outcome of the last command.
//
// One home for all of them: the commands, the single-file converters, the
// folder driver and the batch jobs read and write these.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"

// One flag per kind of target: 1 when an existing target may be replaced, 0
// when an existing target stops the conversion.
struct ConversionOverwriteFlags {
  uint8_t importTarget = 0;       // host document of an import
  uint8_t kxqTarget = 0;          // KXQ container
  uint8_t pdfTarget = 0;          // PDF file
  uint8_t coordinatesTarget = 0;  // paragraph coordinates file
  uint8_t xtagsTarget = 0;        // XTags file

  void SetAll(uint8_t value) { importTarget = kxqTarget = pdfTarget = coordinatesTarget = xtagsTarget = value; }
};

extern ConversionOverwriteFlags OverwriteFlags;

// The KXQ folder: target of folder exports to KXQ, coordinates and XTags,
// source of imports (and the container of a single-file import).
extern XTFileSpec KxqFolderSpec;
// The folder receiving imported host documents.
extern XTFileSpec ImportTargetFolderSpec;
// The folder of host documents, source of folder exports: the menus'
// source-folder record (one record, not a copy).
XTFileSpec& HostDocFolderSpec();
// The folder receiving PDF files.
extern std::string PdfFolderPath;
// Set while a PDF export waits for the host's continuation call.
extern bool PdfPending;
// The target document path of an unattended import.
extern std::string ImportTargetPath;

// What the last export or import command did.  A converter clears the cell
// before it fires a command; the command records "done" or "failed" where
// it shows (or suppresses) its result.  An export converter whose source
// the host did not open records kNotOpened and fires nothing; kNone is
// left when nothing was fired for another reason (a target that may not be
// replaced).
enum class CommandOutcome : int32_t { kNone = 0, kDone = 1, kFailed = 2, kNotOpened = 3 };

void ClearCommandOutcome();
void RecordCommandOutcome(CommandOutcome outcome);
CommandOutcome LastCommandOutcome();
