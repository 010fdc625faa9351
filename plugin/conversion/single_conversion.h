// Single-file conversion: one file, given as two paths and two file kinds,
// converted without asking anyone.  The entry of the conversion server and,
// per file, of the folder driver.
//
// It fills the current request (file_spec.h), opens the source document
// where the conversion needs it and fires the action the menu commands fire
// (actions.h) with a null record; the PDF step runs directly.  A converter
// clears the command-outcome cell before firing and answers true only when
// the action recorded "done" and the target is there.  An existing target
// (while its overwrite flag is 1) is never removed beforehand: the action
// replaces it only with its whole new file, so a conversion that fails
// leaves it as it was.  A source is never its own target.  A document that an
// export converter opened itself and the action left open is closed
// unsaved after the action; a document open before is never closed.  Host
// thread only; one conversion at a time.
#pragma once

#include <string>

#include "support/paths.h"

namespace FolderUtils {
// Converts `source` (of `sourceKind`) into `target` (of `targetKind`), with
// every overwrite flag set to 1; true when the conversion succeeded.  Kinds
// that do not convert answer false at once, without a status window.
bool ProcessConversion(const std::string& source, const std::string& target, FileKind sourceKind,
                       FileKind targetKind);
}  // namespace FolderUtils

// Runs the converter of the current request's conversion type when its
// kinds fit and the target is not the source itself (IsOwnTarget); false
// otherwise.  An exception inside the converter is alerted
// ("Conversion failed for file: ") and answers false.
bool ConversionDispatch();

// Whether `target` names the file `source` names: the same path, or
// another name of the same file (a link, a second hard link).
bool IsOwnTarget(const std::string& source, const std::string& target);

// The converters of the current request (types 0, 3, 4, 5).
bool ConvertToKxq();
bool ConvertToCoordinates();
bool ConvertToXTags();
bool ConvertToHostDocument();
