// Host file specs of a FileSpec record: what the commands do when they bind
// a request to files.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"
#include "plugin/qapi/file_spec.h"

namespace CnvTools {

// The host file spec of `file`'s full path into *spec.  A `type` of 'XPR3'
// stands for the record's host type and a `creator` of -1 for its value.
// An existing file is deleted first when `overwrite` is set, else the
// result is -48 and *spec stays as it was; 12 when `spec` is null; else 0
// or the host's error.
int32_t MakeDocumentSpec(const FileSpec& file, XTFileSpec* spec, bool overwrite, uint32_t type,
                         int32_t creator);

}  // namespace CnvTools
