// The folder commands: the callbacks of the folder dialogs 8 to 11 (target
// folder for KXQ 107, for PDF 113, for both 114, and the import folders
// 115).
//
// Each path field shows a path setting (brenix.ini) and has a folder
// record; preparing the dialog makes its "..." button and sets the field up
// with the host.  Typing into a field is undone at once, "..." picks a
// folder and saves it in the setting.  Ended with the default button, the
// dialog checks its target folder for files that would be overwritten
// (asking the overwrite question when there are some), puts the chosen
// folders where the folder driver reads them and runs its folder
// conversion.  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xt/xt_records.h"
#include "platform/xt/xt_ui_suites.h"
#include "support/paths.h"

// The first and second folder of a command.
XTFileSpec& FirstFolderRecord();
XTFileSpec& SecondFolderRecord();

// The dialog callbacks (host dialog records; they answer 0).
int32_t TargetKxqDialogProc(void* record);
int32_t TargetPdfDialogProc(void* record);
int32_t TargetKxqPdfDialogProc(void* record);
int32_t ImportFolderDialogProc(void* record);

// A path field of a dialog and what it is bound to.
struct PathFieldBinding {
  int32_t browseButton;  // the "..." button
  int32_t field;         // the path field
  int setting;           // SettingsKey of its path
  XTFileSpec* record;    // its folder record
};

// The first display of a field: when the setting holds a path of its own
// (and not forceOff) the record and the field take it; true on success.
// Otherwise the field stays empty, the host is told so (dialog notice 2)
// and the answer is whether it took the notice.  Whenever the field is not
// filled, its record is cleared.
bool FillPathField(XTWindow dialog, const PathFieldBinding& binding, bool forceOff);
// Writes the setting's path into the field again.
void ResetPathField(XTWindow dialog, const PathFieldBinding& binding);
// The "..." button: the folder picker "Select folder" at the setting's
// path; a chosen folder is saved in the setting and taken by the record and
// the field, and the host is told (dialog notice 4) when the setting now
// holds a path of its own.
void BrowseFolder(XTWindow dialog, const PathFieldBinding& binding);
// The overwrite check of a target folder for files of `kind` (0 to 3):
// none there sets the kind's overwrite flag and passes; otherwise the
// overwrite question `overwriteDialog` decides: "Yes" sets the flag to 1
// and passes, anything else fails.
bool CheckTargetFolder(FileKind kind, const XTFileSpec& record, bool recursive, int overwriteDialog);
// Makes the record of the binding from `path` and sets the field's text;
// the host's result.
int32_t SetFieldPath(XTWindow dialog, const PathFieldBinding& binding, const std::string& path);
