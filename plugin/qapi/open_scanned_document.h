// The document-open probe of the folder scans.  Host thread only.
#pragma once

#include <string>

namespace CnvTools {

// Whether the host opens the file at `path` as a document.  A document the
// probe opened is closed again unsaved; one that was open already stays.
bool OpenScannedDocument(const std::string& path);

}  // namespace CnvTools
