#include "plugin/conversion/box_fitting.h"

bool BoxOverflows() { return false; }

void EnlargeBox(int32_t) {}

int32_t SendDocumentRequest(int32_t) { return 0; }
