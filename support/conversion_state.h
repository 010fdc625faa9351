// Process-wide state of the conversions that the host-call wrappers reset
// or read.
#pragma once

#include <cstdint>
#include <string>

// The progress title state of the current conversion: the last values given
// to the progress title (the status dialog, the total and index of files,
// the file name and the conversion type, 6 = none).
struct ConversionState {
  int32_t status_dialog = 0;
  uint32_t total = 0;
  uint32_t index = 0;
  std::string file_name;
  uint32_t conversion_type = 6;
};

// The one state of the process, "none" at load.
ConversionState& CurrentConversionState();

// The PDF mode of the PDF step: 3 at load (not probed yet), 1 when the host
// adds ".pdf" to the name it is given, 2 when it writes exactly that name, 0
// when the probe found no PDF file.  The PDF step sets it; the PDF target
// path reads it.
extern int32_t PdfStepMode;
