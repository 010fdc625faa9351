// The import command (action 17, ImportProto::ActionPerformed in
// actions.h): turns one KXQ container into a host document.  It writes the
// host document stored in the container to a working file of its own
// beside the target (removed when the command ends), opens it there,
// imports the translated stories and has the host save the document at the
// target, which makes the target the document's own file; then it reports
// the result.  A host call that failed on the way (support/host_result.h
// counts them), a story without a box or an exception fails the import
// ("Import failed"), and a failed import replaces no file: a file that was
// at the target stays as it was (without one, what was imported is saved).
//
// Also here: the working file of the import, created and opened for
// writing through the host (CnvTools::OpenImportDocument), and the
// master-page decision of a container document.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"

namespace CnvTools {
// Creates the file `spec` names (host type 'XPR3', creator 'QXP'; an
// existing file is taken as it is) and opens it for writing from its start
// (`access` 2): its host file reference in *file; *created (when given)
// tells whether the file was made here.  0 on success, else the host's
// error (*file untouched).
int32_t OpenImportDocument(const XTFileSpec& spec, int16_t* file, int32_t access,
                           bool* created = nullptr);
}  // namespace CnvTools

// Whether a container document exported with "source_data_type" `sourceType`
// (null when the attribute is missing) is imported with the new master-page
// handling, given the user's choice `userNew` (masterPageMode 1).  The log
// lines of the decision go to the program log.
bool UseNewMasterPageHandling(const char16_t* sourceType, bool userNew);
