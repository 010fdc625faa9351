// Conversion tools on the records of a request: a FileSpec's path as a host
// file spec, and a path taken into a FileSpec through the host.  Host
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"
#include "plugin/qapi/file_spec.h"

namespace CnvTools {

// The host file spec of `file`'s full path into `spec` (left as it was when
// the host cannot make it); the host's result.
int32_t SetPath(const FileSpec& file, XTFileSpec& spec);

// Stores `path` as `file`'s full path and takes its name and kind through
// the host; 0 on success, else the host's error (also for an empty path or a
// folder that does not exist).
int32_t SetTargetPath(FileSpec& file, const std::string& path);

}  // namespace CnvTools
