#include "plugin/conversion/export_tables.h"

const XTFileDataSuite* FileDataTable() { return AcquireOnFirstUse(XT().file_data, kXTTableXFRd); }
const XTColorQuerySuite* ColorQueryTable() { return AcquireOnFirstUse(XT().colors, kXTTableXCLq); }
