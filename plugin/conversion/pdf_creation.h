// The PDF step of the conversions: the host's own PDF export of the source
// document of the current request, and the probe that finds out once how
// the host names its PDF files.  Host thread only.
#pragma once

#include <cstdint>

// Exports the current request's source to PDF through the host; true when
// the host export ran and the project closed without error.  `probe` marks
// the probe's own dummy export.
bool CreatePdf(bool probe);

// Probes how the host names its PDF files starting from `mode`; the new PDF
// mode (support/conversion_state.h).
int32_t ProbePdfMode(int32_t mode);
