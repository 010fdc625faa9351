#include "plugin/conversion/pdf_creation.h"

#include "support/program_log.h"

// The host's PDF export is not reached yet: no PDF is made, and the mode
// stays as it was.
bool CreatePdf(bool) {
  ProgramLog() << "PDF creation is not available yet" << std::endl;
  return false;
}

int32_t ProbePdfMode(int32_t mode) { return mode; }
