// Host file specs: the 262-byte records by which the host names files, made
// from paths and turned back into paths, and the few file operations the
// conversions make through the host.
//
// Paths are narrow (UTF-8) texts split at "/".  The wrappers follow the rules
// of host_calls.h: host objects released on every path, no throw, no log,
// the first failing host result returned, outputs untouched on failure.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"
#include "platform/xt/xt_types.h"

// A new host file object for `path` with the host file type `type`, in
// *file, for the caller to dispose of; on failure *file is 0.
int32_t NewHostFile(const std::string& path, uint32_t type, XTFile* file);

// Copies the name field of a spec (up to its NUL, at most 255 bytes) into
// `out`.  Always 0.
int32_t GetRecordName(const XTFileSpec& spec, std::string& out);

// The full path of the location a spec names.
int32_t FSSpecToPath(std::string& out, const XTFileSpec& spec);

// The host's temporary folder as a path; empty when the host cannot give it.
std::string xt_gettempfolder();
// The same, for the conversion server.
std::string GetHostTempFolder();

// Splits `path` at its last "/" (the separator on this platform whatever
// `forwardSlash` says) into `folder` and `name`.  A dot counts as the
// extension's only when exactly three characters of the last path component
// follow it; `extension` (when given) receives those three, or "" without
// such a dot, and `name` then excludes the dot and extension.  With
// `requireExtension` and no such dot: false, nothing stored.  A path right
// under "/" has the folder "/".  True when folder and name are not empty.
bool SplitHostPath(const std::string& path, std::string& folder, std::string& name,
                   std::string* extension, bool forwardSlash, bool requireExtension);

// The spec of `path` (relative paths against the folder of `volume` and
// `folderId`).  `byPath` asks the host's path-based maker, otherwise its
// maker of names in a folder.  With `byPath` and `allowMissing`, a file that
// does not exist (-43) is created with type 'XPR3' when its name has a
// three-letter extension, and *created (when given) becomes true; a file
// that turns up in between (-48) is taken as it is, not created and never
// deleted.  The result stays -43 either way, and the spec names the file
// whether or not it could be made.  `deleteCreated` deletes a file created
// here again (the spec stays filled).  With `fillName` the name is copied into `nameOut` (at
// least 64 bytes) when it is shorter than 64 bytes.  `spec` is written when
// the result is 0, or -43 with `allowMissing`.  Returns the host's result.
int16_t xt_fsmakefsspec(int16_t volume, int32_t folderId, const std::string& path, XTFileSpec& spec,
                        bool byPath, bool allowMissing, bool fillName, char* nameOut,
                        int32_t unused, bool deleteCreated, bool* created);

// Gives the file `spec` names the extension `newExtension` (which must be as
// long as the present one; appended when there is none) and points `spec` at
// the new name.  0, 12 when the extension cannot be placed, or the host's
// result.  Nothing on disk is renamed.
int32_t ChangeSpecExtension(XTFileSpec& spec, const std::string& newExtension);

// Opens the document at `path` (open flags 63) and, when that succeeds,
// closes the current project again at once, discarding it.
void ProbeOpenDocument(const std::string& path);

// Deletes the file at `path` through the host; the host's result.
int32_t DeleteHostFile(const std::string& path);

// The name of the location a host file object names, and its folder id.  A
// missing `name` gives 5 and a missing `folder` 6, both set as the host's
// error state.  An unnamed location gives "".
int32_t FileSpecToNameAndFolder(XTFile file, std::string* name, int32_t* folder);
