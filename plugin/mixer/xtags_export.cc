#include "plugin/mixer/xtags_export.h"

XTagsText ExportToTag(int32_t) { return XTagsText{}; }

int32_t CaptureExportBytes(const void*, const int32_t*) { return 0; }
