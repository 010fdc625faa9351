// The folder conversion driver: every matching file of a source folder (and,
// when asked, of its sub-folders) converted in one run, host documents to
// KXQ containers or PDF files, or KXQ containers back into host documents.
//
// Per file it fills the current request and runs the single-file
// dispatcher (single_conversion.h); around that it lists the sources in the
// program log, keeps the status window and the batch control file up to
// date, builds each target path (FolderTargetPath), creates missing target
// folders and lists the existing targets that cannot be replaced.  An
// existing target is never removed: the output replaces it only when whole,
// so a file that fails, a full disk or a killed run leaves it as it was.
// A source is never its own target, and a target the run wrote is not
// written again from another source of the run.  It also
// owns the progress title of the status window.  Host thread only; one
// folder conversion at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/xt/xt_records.h"
#include "platform/xt/xt_ui_suites.h"
#include "support/paths.h"

// The full paths found by the last scan, in scan order.
extern std::vector<std::string> SourceFileList;
// The targets of the run that exist and cannot be replaced.
extern std::vector<std::string> LockedTargetList;
// 1 at load: each entry point ends with the notice "Conversion finished.".
extern uint8_t ShowFinishedNotice;

// The three entry points end with "Conversion finished." (while
// ShowFinishedNotice is set) or, when FolderConversion throws, with
// ReportFolderConversionFailure; true in the first case.
// Host documents of HostDocFolderSpec() to KXQ containers in `target`.
bool ExportFolder(const XTFileSpec& target, bool recursive);
// Host documents of HostDocFolderSpec() to PDF files in `target`.
bool ExportFolderToPdf(const XTFileSpec& target, bool recursive);
// Containers of KxqFolderSpec into host documents in ImportTargetFolderSpec.
bool ImportFolder(bool recursive);

// Converts every file of `sourceKind` found in `source` into `targetKind`
// files.  The targets go to the folder of the conversion (KxqFolderSpec,
// ImportTargetFolderSpec or PdfFolderPath; `target` is the caller's record
// of it): the check for existing targets and the writing use that one
// folder, which is made when missing.  Nothing (no window, no log) when the
// kinds do not convert or a readable folder holds no file.
// Throws (the reason logged) when `source` names no folder, when the
// target folder is none and cannot be made, and, after converting the rest,
// when the scan could not read a folder or entry of the source tree or a
// file failed; each file that fails gets one "ERROR:" line (a source that
// is its own target, or whose target the run already wrote from another
// source, fails without being converted).
void FolderConversion(const XTFileSpec& source, const XTFileSpec& target, FileKind sourceKind,
                      FileKind targetKind, bool recursive);

// Makes the target folder `folder` with every missing ancestor when it is
// not there (a link to a folder is a folder).  Empty on success; else an
// "ERROR:" line naming it and the system's reason goes to the program log
// and the same text is returned.  An empty path names no folder.
std::string MakeTargetFolder(const std::string& folder);
// MakeTargetFolder, then `spec` names the folder; on failure `spec` is left
// as it was and the logged text returned.
std::string TargetFolderSpec(const std::string& folder, XTFileSpec& spec);
// `spec` names the source folder `folder` (or the one file it names) when
// it is there and can be read; else `spec` is cleared and an "ERROR:" line
// with the reason (`Folder "<path>" cannot be read: <reason>`) goes to the
// program log and is returned.
std::string SourceFolderSpec(const std::string& folder, XTFileSpec& spec);
using FolderSpecMaker = std::string (*)(const std::string& folder, XTFileSpec& spec);
// `make` (SourceFolderSpec or TargetFolderSpec) on `folder` and `spec`;
// when it fails, ReportFolderConversionFailure (`failure`, `sourceFolder`,
// its text) and false.
bool UseFolderSpec(FolderSpecMaker make, const std::string& folder, XTFileSpec& spec, const char* failure,
                   const std::string& sourceFolder);
// Tells the user that a folder conversion failed: the alert `failure` +
// the source folder (and, when given, the reason on a line of its own),
// shown even in MultiDoc mode, only logged in batch and server mode; then
// the host's status texts cleared.
// Never "Conversion finished.".
void ReportFolderConversionFailure(const char* failure, const std::string& sourceFolder,
                                   const std::string& reason);

// Whether `folder` (with the sub-folder `subPath` when not empty) holds a
// file of `kind`; host documents count only when the host opens them.
bool ScanSourceFolder(const XTFileSpec& folder, FileKind kind, bool recursive,
                      const std::string& subPath);
// Adds the visible files of `kind` in the folder (and, when recursive, its
// sub-folders, hidden ones too, never through a link) to SourceFileList and
// returns its size; with stopAtFirst 1 at the first file found, else 0.  A
// folder path that names a visible file is taken as that one file; the
// folder path itself is followed when it is a link.  Without stopAtFirst a
// folder or entry that cannot be read gets an "ERROR:" line with the reason
// (and FolderConversion fails for it).
int ScanFolder(const XTFileSpec& folder, FileKind kind, bool recursive, bool stopAtFirst,
               const std::string& subPath);
// ScanFolder on a path.
int ScanFolderPath(const std::string& folder, FileKind kind, bool recursive, bool stopAtFirst);

// Looks for the existing targets this run will write for the sources in
// SourceFileList under the root `sourceRoot` (FolderTargetPath with the
// present settings), while the overwrite flag of `targetKind` is 1, and
// removes none: each is replaced by its new file only once that is whole.
// Targets that cannot be replaced (a folder at the name, a folder that
// takes no new file) go to LockedTargetList.  The number of the others.
int PrepareTargets(const std::string& targetFolder, const std::string& sourceRoot, FileKind targetKind);

// The target of `source`, found under the scan root `sourceRoot`, in
// `typeFolder`, named as the source with the extension word of
// `targetKind`:
//   both settings off:          typeFolder/NAME.ext
//   includeSourceFolder:        typeFolder/<last component of the root>/...
//   mapSourceFolders:           ... + the source's path below the root
//   else:                       ... + /NAME.ext
// Empty when the source's name has no extension to replace, or `typeFolder`
// is empty (no folder is never the root).
std::string FolderTargetPath(const std::string& typeFolder, const std::string& sourceRoot,
                             const std::string& source, FileKind targetKind, bool mapSourceFolders,
                             bool includeSourceFolder);

// The path of the folder `spec` names, without trailing separators; empty
// for a spec that names nothing or that the host cannot turn into a path.
std::string FolderPathOf(const XTFileSpec& spec);

// Whether the hidden (0x2) or system (0x4) attribute is set.
bool IsHiddenOrSystem(uint32_t attributes);

// The status window's title for file `index` of `total` of a conversion of
// `type`: "Export to " + the target kind's word, or "Import to Quark ", then
// (not in server mode) the index right-aligned to the width of the total,
// " of ", the total and, for imports, " files".  Empty for types 6 and up.
std::string ProgressTitleText(uint32_t total, uint32_t index, uint32_t type, bool serverMode);
// Shows the title in `dialog`, advances its bar to index of total and
// records the values; nothing for types 6 and up.
void SetProgressTitle(XTWindow dialog, uint32_t total, uint32_t index, const std::string& name,
                      uint32_t type);
// Shows the recorded title again (after the host's PDF export replaced it).
void RestoreProgressTitle();
// Resets the recorded progress title and clears the host's status texts.
void CallHostWithConversionPaths();
