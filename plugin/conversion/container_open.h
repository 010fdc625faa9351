// Opening the exchange container a host file spec names, for export or
// import: the caller gets a usable book or an empty handle, never an
// exception.  Host thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/xt/xt_records.h"
#include "plugin/conversion/kxt_export.h"
#include "plugin/conversion/kxt_import.h"
#include "support/error_record.h"

// The steps both directions share.  Turns `spec` into a full path (any
// length) and calls `open` with it.  False when the host cannot name the
// path (nothing is opened: a bare name would land in the current folder)
// or when `open` raises; `makeError`'s record of the path then goes to the
// error hook.  `line` marks the place for the internal-error hook.
bool OpenContainerAt(const XTFileSpec& spec, const std::function<void(const std::string&)>& open,
                     ErrorRecord (*makeError)(const std::string&), int line);

// A new container at the file `spec` names (replacing one there) with an
// empty book; an empty handle on failure, and then the failure's text in
// *reason when the container library raised one (and `reason` is given).
BX_KXT::Export::Ref<BX_KXT::Export::IBook> OpenExportContainer(const XTFileSpec& spec,
                                                              std::string* reason = nullptr);

// Called while a failure of the container library is handled: when it is
// a failure to write the container's file (the storage cannot be saved,
// the medium is full, a write fault), its reason in the system's words;
// "" for any other failure.
std::string ContainerWriteFailure();

// The book of the container at the file `spec` names, opened read-only; an
// empty handle when the file is missing, no container, or lacks the stored
// host documents, and then why in *reason (when given): the container
// library's words (not a compound file, a stream that ends early, an
// element missing, ...).
BX_KXT::Import::Ref<BX_KXT::Import::IBook> OpenImportContainer(const XTFileSpec& spec,
                                                              std::string* reason = nullptr);
