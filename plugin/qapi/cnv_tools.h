// Host file specs of a FileSpec record and storing a path into one: what the
// commands do when they bind a request to files.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"
#include "plugin/qapi/file_spec.h"

namespace CnvTools {

// The host file spec of `file`'s full path into *spec.  A `type` of 'XPR3'
// stands for the record's host type and a `creator` of -1 for its value.
// An existing file is never removed: with `overwrite` set its spec is
// made (the output replaces the file only once whole), else the result is
// -48 and *spec stays as it was; 12 when `spec` is null; else 0 or the
// host's error.
int32_t MakeDocumentSpec(const FileSpec& file, XTFileSpec* spec, bool overwrite, uint32_t type,
                         int32_t creator);

// The host file spec of `file`'s full path; `spec` is left as it was when
// the host cannot make it.  0 or the host's error.
int32_t SetPath(const FileSpec& file, XTFileSpec& spec);

// Stores `path` as `file`'s full path and takes its name, folder and kind
// from the host.  0 on success; -120 when the folder does not exist; else
// the host's error (the full path is stored whatever the result).
int32_t SetTargetPath(FileSpec& file, const std::string& path);

}  // namespace CnvTools
