#include "support/conversion_state.h"

ConversionState& CurrentConversionState() {
  static ConversionState state;
  return state;
}

int32_t PdfStepMode = 3;
