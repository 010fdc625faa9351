#include "plugin/conversion/folder_conversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <map>
#include <ostream>
#include <stdexcept>
#include <system_error>

#include "platform/win/find_files.h"
#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/conversion_types.h"
#include "plugin/conversion/pdf_creation.h"
#include "plugin/conversion/single_conversion.h"
#include "plugin/qapi/cnv_tools.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/open_scanned_document.h"
#include "plugin/qapi/progress_bar.h"
#include "plugin/qapi/ui_alert.h"
#include "plugin/xtension/actions.h"
#include "support/batch_file.h"
#include "support/brenix_interface.h"
#include "support/conversion_state.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/program_log.h"
#include "support/settings.h"

std::vector<std::string> SourceFileList;
std::vector<std::string> LockedTargetList;
uint8_t ShowFinishedNotice = 1;

namespace {

constexpr int kTraceLevel = 12;

void Trace(const std::string& text) { TraceLevel(kTraceLevel, text.c_str()); }

void LogError(const std::string& text) { ProgramLog() << "ERROR: " << text << std::endl; }

// The folder conversion cannot run at all; what() says why.
struct FolderConversionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Whether `path` names a folder, following a link; otherwise the system's
// reason.
bool IsFolder(const std::string& path, std::string* reason) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    *reason = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) return true;
  *reason = std::strerror(ENOTDIR);
  return false;
}

// Makes `folder` with every missing ancestor; empty on success, else the
// system's reason.
std::string MakeFolders(const std::string& folder) {
  std::string reason;
  if (IsFolder(folder, &reason)) return "";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (IsFolder(folder, &reason)) return "";
  return error ? error.message() : reason;
}

// The driver probes the PDF mode at most once while the plug-in is loaded.
bool driverPdfProbed = false;

// The "ERROR:" texts of the folders and entries the present scan could not
// read; the files behind them are missing from SourceFileList.
std::vector<std::string> scanFailures;

// The root folder keeps its one separator.
std::string WithoutTrailingSeparators(std::string path) {
  const bool root = !path.empty() && path[0] == kPathSeparator;
  StripTrailingChar(path, kPathSeparator);
  if (path.empty() && root) path = kPathSeparator;
  return path;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? folder + name : folder + kPathSeparator + name;
}

std::string FolderReadFailure(const std::string& folder, int error) {
  return "Folder \"" + folder + "\" cannot be read: " + std::strerror(error);
}

// A scan failure: logged and kept for the end of the conversion.
void NoteScanFailure(const std::string& text) {
  LogError(text);
  scanFailures.push_back(text);
}

// Why the conversion is no plain success: the first failure (a folder or
// entry the scan missed, a file not converted) and how many more the log
// names.
std::string FailureSummary(const std::vector<std::string>& failures) {
  if (failures.size() < 2) return failures.empty() ? "" : failures.front();
  return failures.front() + "\n(" + std::to_string(failures.size() - 1) + " more in the log)";
}

std::string ExtensionWord(FileKind kind) { return FileKindExtensions[kind < kFileKindNone ? kind : kFileKindNone]; }

// The folder the targets of `type` go to.
std::string TypeFolder(uint32_t type) {
  switch (type) {
    case kConvertToKxq:
    case kConvertToCoordinates:
    case kConvertToXTags:
      return FolderPathOf(KxqFolderSpec);
    case kConvertImport:
      return FolderPathOf(ImportTargetFolderSpec);
    case kConvertToPdf:
      return WithoutTrailingSeparators(PdfFolderPath);
    default:
      return "";
  }
}

uint8_t OverwriteFlagOf(FileKind kind) {
  switch (kind) {
    case kFileKindQxp:
    case kFileKindQxd:
      return OverwriteFlags.importTarget;
    case kFileKindKxq:
      return OverwriteFlags.kxqTarget;
    case kFileKindPdf:
      return OverwriteFlags.pdfTarget;
    case kFileKindCoo:
      return OverwriteFlags.coordinatesTarget;
    case kFileKindKrm:
      return OverwriteFlags.xtagsTarget;
    default:
      return 0;
  }
}

// Makes the folder of `target` with every missing ancestor; empty on
// success, else why it is no folder.
std::string MakeFolderOf(const std::string& target) {
  const std::string folder = CnvTools::DirectoryPart(target);
  if (folder.empty()) return "";
  const std::string reason = MakeFolders(folder);
  if (!reason.empty()) Trace("Unable to create missing target folders!");
  return reason.empty() ? "" : "its target folder \"" + folder + "\" cannot be made: " + reason;
}

// Why the dispatcher gave up on the current request (the PDF step writes
// its own lines).
std::string DispatchFailure(FileKind targetKind) {
  const std::string target = CurrentRequest().target.GetFullPath();
  const CommandOutcome outcome = LastCommandOutcome();
  if (outcome == CommandOutcome::kNone && PathExists(target)) {
    return OverwriteFlagOf(targetKind) == 0 ? "its target exists and may not be replaced"
                                            : "its existing target cannot be replaced";
  }
  switch (outcome) {
    case CommandOutcome::kNone:
    case CommandOutcome::kNotOpened:
      return "the host cannot open it";
    case CommandOutcome::kFailed:
      return "it could not be converted or its target could not be written";
    default:
      return "its target \"" + target + "\" was not written";
  }
}

// Whether the existing `target` cannot take a new file in its place:
// something other than a file or a link is at its name (a folder), or its
// folder takes no new entry.  Nothing is removed.
bool TargetLocked(const std::string& target) {
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0) return false;
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) return true;
  const std::string folder = CnvTools::DirectoryPart(target);
  return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0;
}

void ProbePdfModeOnce() {
  if (PdfStepMode != 3 || driverPdfProbed) return;
  const FileSpecPair saved = CurrentRequest();
  try {
    PdfStepMode = ProbePdfMode(3);
  } catch (...) {
    Trace("PDF-Mode check failed => using default values");
  }
  driverPdfProbed = true;
  CurrentRequest() = saved;
}

// The text of a file of the run that failed, naming it and why.
std::string FileFailureText(const std::string& source, const std::string& why) {
  return "\"" + source + "\" not converted: " + why;
}

// A file of the run that failed: one "ERROR:" line naming it and why, and
// the text kept in `failures`.
void LogFileFailure(const std::string& source, const std::string& why, std::vector<std::string>& failures) {
  failures.push_back(FileFailureText(source, why));
  LogError(failures.back());
}

// One file of the run into `targetFolder`; false when it did not reach the
// dispatcher.  A file that fails adds its text to `failures`.  A target in
// `written` (target -> source) was written from another source of the run
// and is not written again; one written here is added.
bool ConvertListedFile(const std::string& source, const std::string& root, const std::string& targetFolder,
                       XTWindow dialog, uint32_t total, uint32_t index, uint32_t type, FileKind targetKind,
                       std::vector<std::string>& failures, std::map<std::string, std::string>& written) {
  FileSpecPair& request = CurrentRequest();
  if (CnvTools::SetTargetPath(request.source, source) != 0) {
    Trace("Set source error => conversion failed!");
    LogFileFailure(source, "the host cannot name it", failures);
    return false;
  }
  std::string folder, name;
  if (!SplitPathChecked(source, folder, name, nullptr, true)) {
    Trace("Split path error => conversion failed!");
    LogFileFailure(source, "its name has no extension", failures);
    return false;
  }
  SetProgressTitle(dialog, total, index, name, type);
  Settings& settings = Settings::Instance();
  const std::string target = FolderTargetPath(targetFolder, root, source, targetKind,
                                              settings.IsMapSourceFoldersToTarget(),
                                              settings.IsIncludeSourceFolderInTarget());
  if (target.empty()) {
    Trace("Replace extension error => conversion failed!");
    LogFileFailure(source, "its name has no extension to replace", failures);
    return false;
  }
  if (IsOwnTarget(source, target)) {
    LogFileFailure(source, "it is its own target", failures);
    return false;
  }
  const auto earlier = written.find(target);
  if (earlier != written.end()) {
    LogFileFailure(source, "its target \"" + target + "\" was written from \"" + earlier->second + "\" in this run",
                   failures);
    return false;
  }
  const std::string folderFailure = MakeFolderOf(target);
  if (CnvTools::SetTargetPath(request.target, target) != 0) {
    Trace("Set target error => conversion failed!");
    LogFileFailure(source,
                   folderFailure.empty() ? "the host cannot name its target \"" + target + "\"" : folderFailure,
                   failures);
    return false;
  }
  if (type == kConvertToPdf) ProbePdfModeOnce();
  ClearCommandOutcome();
  try {
    if (ConversionDispatch()) {
      written.emplace(target, source);
    } else {
      Trace(name + " not converted!");
      if (type != kConvertToPdf || !folderFailure.empty()) {
        LogFileFailure(source, folderFailure.empty() ? DispatchFailure(targetKind) : folderFailure, failures);
      } else {
        // The PDF step logged its own lines; its message (suppressed while
        // a folder runs) says which PDF and why.
        const std::string& pdf = PdfFailureText();
        failures.push_back(pdf.empty() ? FileFailureText(source, DispatchFailure(targetKind)) : pdf);
      }
    }
  } catch (...) {
    LogFileFailure(source, "the conversion stopped unexpectedly", failures);
    ShowAlert(kAlertResource, "Conversion failed for file: ", name, "", "", false, false, false);
  }
  CallHostWithStrings("", "", "", "");
  return true;
}

// The folders are copies: the import converter rewrites KxqFolderSpec per file.
bool RunEntryPoint(const char* failure, const XTFileSpec source, const XTFileSpec target, FileKind sourceKind,
                   FileKind targetKind, bool recursive) {
  try {
    FolderConversion(source, target, sourceKind, targetKind, recursive);
  } catch (const FolderConversionError& error) {
    ReportFolderConversionFailure(failure, FolderPathOf(source), error.what());
    return false;
  } catch (...) {
    ReportFolderConversionFailure(failure, FolderPathOf(source), "");
    return false;
  }
  if (ShowFinishedNotice != 0) ShowAlert(kAlertResource, "Conversion finished.", "", "", "", true, false, false);
  CallHostWithStrings("", "", "", "");
  return true;
}

}  // namespace

std::string MakeTargetFolder(const std::string& folder) {
  if (folder.empty()) {
    LogError("No target folder given!");
    return "No target folder given!";
  }
  const std::string reason = MakeFolders(folder);
  if (reason.empty()) return "";
  const std::string text = "Target folder \"" + folder + "\" cannot be made: " + reason;
  LogError(text);
  return text;
}

namespace {

// `spec` names `folder` (a folder or file that is there); else the logged
// text of what `role` ("Source", "Target") cannot be named.
std::string NameFolder(const char* role, const std::string& folder, XTFileSpec& spec) {
  XTFileSpec made{};
  const int16_t result = xt_fsmakefsspec(0, 0, folder, made, true, false, false, nullptr, 0, false, nullptr);
  if (result != kXTOk) {
    const std::string text = std::string(role) + " folder \"" + folder + "\" cannot be named (host error " +
                             std::to_string(result) + ")";
    LogError(text);
    return text;
  }
  spec = made;
  return "";
}

}  // namespace

std::string TargetFolderSpec(const std::string& folder, XTFileSpec& spec) {
  const std::string failure = MakeTargetFolder(folder);
  return failure.empty() ? NameFolder("Target", folder, spec) : failure;
}

std::string SourceFolderSpec(const std::string& folder, XTFileSpec& spec) {
  spec = XTFileSpec{};
  const std::string path = WithoutTrailingSeparators(folder);
  std::string failure = "No source folder given!";
  if (!path.empty()) {
    // Read as the scan reads it: a folder through its search, else the one file.
    const win::FindFiles search(Join(path, "*"));
    const int error = search.Valid() ? 0 : search.Error();
    const uint32_t attributes = win::FileAttributesOf(path, true);
    const bool file = attributes != 0 && (attributes & win::kFileAttributeDirectory) == 0;
    if (error == 0 || file) return NameFolder("Source", path, spec);
    failure = FolderReadFailure(path, error);
  }
  LogError(failure);
  return failure;
}

bool UseFolderSpec(FolderSpecMaker make, const std::string& folder, XTFileSpec& spec, const char* failure,
                   const std::string& sourceFolder) {
  const std::string reason = make(folder, spec);
  if (reason.empty()) return true;
  ReportFolderConversionFailure(failure, sourceFolder, reason);
  return false;
}

void ReportFolderConversionFailure(const char* failure, const std::string& sourceFolder,
                                   const std::string& reason) {
  ShowAlert(kAlertResource, failure, sourceFolder, reason.empty() ? "" : "\n" + reason, "", true, false, false);
  CallHostWithStrings("", "", "", "");
}

std::string FolderPathOf(const XTFileSpec& spec) {
  // A spec that names nothing (never set) is no folder.
  if (spec.folder == 0 && spec.name[0] == '\0') return "";
  std::string path;
  if (FSSpecToPath(path, spec) != 0) return "";
  return WithoutTrailingSeparators(path);
}

bool IsHiddenOrSystem(uint32_t attributes) {
  return (attributes & (win::kFileAttributeHidden | win::kFileAttributeSystem)) != 0;
}

std::string FolderTargetPath(const std::string& typeFolder, const std::string& sourceRoot,
                             const std::string& source, FileKind targetKind, bool mapSourceFolders,
                             bool includeSourceFolder) {
  const std::string extension = ExtensionWord(targetKind);
  std::string name = SplitPath(source, true);
  if (!ReplaceExtension(name, extension, false, false)) return "";
  // Without a folder there is no target: never the root.
  if (typeFolder.empty()) return "";
  const std::string folder = WithoutTrailingSeparators(typeFolder);
  if (!mapSourceFolders && !includeSourceFolder) return Join(folder, name);
  std::string base = folder;
  const std::string root = WithoutTrailingSeparators(sourceRoot);
  if (includeSourceFolder) {
    const std::string rootName = SplitPath(root, true);
    if (!rootName.empty()) base = Join(base, rootName);
  }
  const bool below = !root.empty() && source.size() > root.size() + 1 &&
                     source.compare(0, root.size(), root) == 0 && source[root.size()] == kPathSeparator;
  if (!mapSourceFolders || !below) return Join(base, name);
  std::string target = base + source.substr(root.size());
  if (!ReplaceExtension(target, extension, false, false)) return "";
  return target;
}

int ScanFolderPath(const std::string& folder, FileKind kind, bool recursive, bool stopAtFirst) {
  const std::string path = WithoutTrailingSeparators(folder);
  if (path.empty()) return stopAtFirst ? 0 : static_cast<int>(SourceFileList.size());
  {
    // A folder argument that names a file is the one file to convert.  The
    // folder named here is followed when it is a link; the entries below
    // it are not (see the search).
    const uint32_t attributes = win::FileAttributesOf(path, true);
    if (attributes != 0 && (attributes & win::kFileAttributeDirectory) == 0) {
      if (!IsHiddenOrSystem(attributes)) SourceFileList.push_back(path);
      return static_cast<int>(SourceFileList.size());
    }
  }
  win::FindFiles search(Join(path, "*"));
  // A folder or an entry a conversion cannot read is named in the log with
  // the reason.
  if (!search.Valid() && !stopAtFirst) NoteScanFailure(FolderReadFailure(path, search.Error()));
  win::FindEntry entry;
  const std::string wanted = "." + ExtensionWord(kind);
  while (search.Next(entry)) {
    const std::string entryPath = Join(path, entry.name);
    if (entry.error != 0) {
      if (!stopAtFirst) NoteScanFailure("\"" + entryPath + "\" cannot be read: " + std::strerror(entry.error));
      continue;
    }
    if ((entry.attributes & win::kFileAttributeDirectory) != 0) {
      // A check for existing files looks into the sub-folders too.
      if (recursive && ScanFolderPath(entryPath, kind, true, stopAtFirst) != 0 && stopAtFirst) return 1;
      continue;
    }
    bool take = false;
    if (kind == kFileKindQxp || kind == kFileKindQxd) {
      take = !stopAtFirst || CnvTools::OpenScannedDocument(entryPath);
    } else {
      take = StringsEqual(ExtractExtension(entry.name, true), wanted, false);
    }
    if (!take) continue;
    if (stopAtFirst) return 1;
    if (!IsHiddenOrSystem(entry.attributes)) SourceFileList.push_back(entryPath);
  }
  return stopAtFirst ? 0 : static_cast<int>(SourceFileList.size());
}

int ScanFolder(const XTFileSpec& folder, FileKind kind, bool recursive, bool stopAtFirst,
               const std::string& subPath) {
  std::string path = FolderPathOf(folder);
  if (path.empty()) return stopAtFirst ? 0 : static_cast<int>(SourceFileList.size());
  if (!subPath.empty()) path = Join(path, subPath);
  return ScanFolderPath(path, kind, recursive, stopAtFirst);
}

bool ScanSourceFolder(const XTFileSpec& folder, FileKind kind, bool recursive, const std::string& subPath) {
  return ScanFolder(folder, kind, recursive, true, subPath) != 0;
}

int PrepareTargets(const std::string& targetFolder, const std::string& sourceRoot, FileKind targetKind) {
  if (OverwriteFlagOf(targetKind) == 0 || targetFolder.empty()) return 0;
  LockedTargetList.clear();
  Settings& settings = Settings::Instance();
  const bool map = settings.IsMapSourceFoldersToTarget();
  const bool include = settings.IsIncludeSourceFolderInTarget();
  int replaceable = 0;
  for (const std::string& source : SourceFileList) {
    const std::string target = FolderTargetPath(targetFolder, sourceRoot, source, targetKind, map, include);
    if (target.empty() || !PathExists(target)) continue;
    if (TargetLocked(target)) {
      LockedTargetList.push_back(target);
    } else {
      ++replaceable;
    }
  }
  return replaceable;
}

void FolderConversion(const XTFileSpec& source, const XTFileSpec& /*target*/, FileKind sourceKind,
                      FileKind targetKind, bool recursive) {
  const ConversionType type = ConversionTypeFromKinds(sourceKind, targetKind, kFileKindNone);
  if (type == kConvertNone) return;
  SourceFileList.clear();
  scanFailures.clear();
  const std::string root = FolderPathOf(source);
  if (root.empty()) {
    LogError("No source folder given!");
    throw FolderConversionError("No source folder given!");
  }
  const int found = ScanFolder(source, sourceKind, recursive, false, "");
  // A conversion may scan again (the PDF probe).  The files that fail
  // follow the folders and entries the scan could not read.
  std::vector<std::string> failures = scanFailures;
  if (found < 1) {
    if (!failures.empty()) throw FolderConversionError(FailureSummary(failures));
    return;
  }
  // One folder for the check of existing targets and the writing; a
  // missing one is made.
  const std::string targetFolder = TypeFolder(type);
  const std::string failure = MakeTargetFolder(targetFolder);
  if (!failure.empty()) throw FolderConversionError(failure);
  const XTWindow dialog = OpenStatusDialog();
  PrepareTargets(targetFolder, root, targetKind);
  if (!LockedTargetList.empty()) {
    ShowAlert(kAlertResource, "Overwrite not allowed for " + std::to_string(LockedTargetList.size()) +
                                  " files in your target!",
              "\nChange attributes or rename on request.", "", "", false, false, false);
  }
  BatchFile& batchFile = BatchFile::Instance();
  if (batchFile.Check()) {
    batchFile.SetTotal(found);
    batchFile.SetCount(0);
  }
  std::ostream& log = ProgramLog();
  log << "\n\n#####\n##### IMPORT/EXPORT-FILES #####\n#####\n\n";
  for (size_t i = 0; i < SourceFileList.size(); ++i) {
    log << std::setw(8) << (i + 1) << ".) " << SourceFileList[i] << "\n";
  }
  log.flush();
  FileSpecPair& request = CurrentRequest();
  request.Reset();
  request.conversionType = type;
  request.SetHostTypes();
  // The list is copied: a conversion may scan (the PDF probe) and refill it.
  const std::vector<std::string> sources = SourceFileList;
  const uint32_t total = static_cast<uint32_t>(sources.size());
  std::map<std::string, std::string> written;
  for (uint32_t i = 0; i < total; ++i) {
    if (ConvertListedFile(sources[i], root, targetFolder, dialog, total, i + 1, type, targetKind, failures,
                          written)) {
      UpdateBatchCount(static_cast<int32_t>(i + 1));
    }
  }
  CloseStatusDialog(dialog);
  CallHostWithConversionPaths();
  // Files the scan could not read were left out, or files failed: no plain
  // success.
  if (!failures.empty()) throw FolderConversionError(FailureSummary(failures));
}

bool ExportFolder(const XTFileSpec& target, bool recursive) {
  return RunEntryPoint("Export failed for folder: ", HostDocFolderSpec(), target, kFileKindQxp, kFileKindKxq, recursive);
}

bool ExportFolderToPdf(const XTFileSpec& target, bool recursive) {
  return RunEntryPoint("Export failed for folder: ", HostDocFolderSpec(), target, kFileKindQxp, kFileKindPdf, recursive);
}

bool ImportFolder(bool recursive) {
  return RunEntryPoint("Import failed for folder: ", KxqFolderSpec, ImportTargetFolderSpec, kFileKindKxq, kFileKindQxp,
                recursive);
}

std::string ProgressTitleText(uint32_t total, uint32_t index, uint32_t type, bool serverMode) {
  if (type >= kConvertNone) return "";
  std::string title;
  if (type == kConvertImport) {
    title = "Import to Quark ";
  } else {
    FileKind kind = kFileKindNone;
    KindsFromConversionType(type, nullptr, &kind, nullptr);
    title = "Export to ";
    switch (kind) {
      case kFileKindKxq:
        title += "Solvane -> analysing file ";
        break;
      case kFileKindPdf:
        title += "PDF -> analysing file ";
        break;
      case kFileKindCoo:
        title += "Coordinates.";
        break;
      case kFileKindKrm:
        title += "XTags.";
        break;
      default:
        break;
    }
  }
  if (serverMode) return title;
  const std::string totalText = std::to_string(total);
  std::string indexText = std::to_string(index);
  if (indexText.size() < totalText.size()) indexText.insert(0, totalText.size() - indexText.size(), ' ');
  title += indexText + " of " + totalText;
  if (type == kConvertImport) title += " files";
  return title;
}

void SetProgressTitle(XTWindow dialog, uint32_t total, uint32_t index, const std::string& name, uint32_t type) {
  if (type >= kConvertNone) return;
  const std::string title = ProgressTitleText(total, index, type, BrenixInterface::Instance()->serverMode);
  ConversionState& state = CurrentConversionState();
  state.status_dialog = dialog;
  state.total = total;
  state.index = index;
  state.file_name = name;
  state.conversion_type = type;
  SetStatusDialogText(dialog, title);
  UpdateStatusDialog(dialog, total, index);
}

void RestoreProgressTitle() {
  const ConversionState state = CurrentConversionState();
  SetProgressTitle(state.status_dialog, state.total, state.index, state.file_name, state.conversion_type);
}

void CallHostWithConversionPaths() { ResetConversionState(); }
