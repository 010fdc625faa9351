// PDF creation: the plug-in opens the source document in the host and has
// the host's own PDF export write it.  During the export the host calls
// ContinuePdfExport (kind 681), which hands it the output file and selects
// the output style.  Whether the host adds ".pdf" to the name it is given
// is found out once by ProbePdfMode.  Host thread only; the export calls
// back re-entrantly.
#pragma once

#include <cstdint>
#include <string>

// The PDF step of a conversion of the current request: opens its source,
// exports it to the request's target (the target is then the PDF's path)
// and closes the document again unless it needs saving.  With `probe` the
// presets are written first and nothing goes to the program log.  True
// when the source opened, the target was free (or may be replaced), an
// output file was handed to the host, the host's export succeeded and the
// document closed or was left open for its unsaved changes.  PdfPending is
// set throughout and cleared on every way out.
bool CreatePdf(bool probe);
// The message of the last CreatePdf whose export or close failed: "PDF
// creation failed for file: " with the PDF's path and the reason; empty
// after any other outcome.
const std::string& PdfFailureText();

// The PDF mode after a probe: modes 0 and 2 give 0, modes other than 0, 2
// and 3 give 3; mode 3 exports a new dummy project in a fresh folder under
// the host's temporary folder (removed afterwards) and answers 1 when the
// host added ".pdf" to the name it was given, 2 when it wrote that name
// exactly, 0 when no PDF came out.  It points the current request at the
// dummy: callers save and restore it around the probe.
int32_t ProbePdfMode(int32_t mode);

// The host's kind-681 call (XTPdfRec): while PdfPending is set and the
// record's state is 3, hands the host the PDF path of the current request
// (which becomes the request's target) as the output file and selects the
// output style of the settings; without a path, an empty output file.
// Otherwise nothing.  Answers 0.
int32_t ContinuePdfExport(void* record);
