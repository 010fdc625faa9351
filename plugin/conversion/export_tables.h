// The host tables the export reaches on first use: file data (XFRd) and
// colour queries (XCLq).  Null when the host does not offer them.
#pragma once

#include "support/host_link.h"

const XTFileDataSuite* FileDataTable();
const XTColorQuerySuite* ColorQueryTable();
