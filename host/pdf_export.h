// The host's PDF export: the current layout of a document drawn into a PDF
// file by cairo, text by pango.
//
// One page per layout page, at the page's size.  Each text box that lies on
// a page (not on the pasteboard, not anchored, not on a master spread) draws
// the lines the host composed in it (host/compose.h) at their places, run
// by run in the run's font (DejaVu when fontconfig has nothing nearer),
// faces (bit 0 bold, bit 1 italic), size and RGB colour; rotated boxes turn
// about their centre.  Overset lines, hidden text and the characters of
// anchored items are not drawn.  The document information carries the
// style's title and author and the given date.
#pragma once

#include <string>

#include "host/clock.h"
#include "host/document.h"
#include "host/output_styles.h"

namespace xthost {

// Writes the PDF at `path`, through a temporary file beside it that takes
// its name only when every byte reached the disk; false with the reason in
// *error (the system's text for a file that could not be written, whose
// errno is then in *system_error when given), and then nothing was written
// under `path`.  The file is made no wider than one at `like` (when given;
// win::CreateFileBeside).
bool WriteLayoutPdf(const DocumentContent& content, const std::string& path, const OutputStyle& style,
                    const HostTime& date, std::string* error, int* system_error = nullptr,
                    const std::string& like = std::string());

}  // namespace xthost
