#include "plugin/xtension/folder_dialogs.h"

#include "plugin/conversion/conversion_globals.h"
#include "plugin/conversion/folder_conversion.h"
#include "plugin/qapi/ui_dialogs.h"
#include "plugin/qapi/ui_host.h"
#include "plugin/xtension/menus.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/settings.h"

namespace {

// The path fields of the four dialogs.
const PathFieldBinding kKxqField{1008, 1009, SettingsKey::TargetKXQPath, &FirstFolderRecord()};
const PathFieldBinding kPdfField{1007, 1006, SettingsKey::TargetPDFPath, &FirstFolderRecord()};
const PathFieldBinding kBothKxqField{1012, 1010, SettingsKey::TargetKXQPath, &FirstFolderRecord()};
const PathFieldBinding kBothPdfField{1013, 1011, SettingsKey::TargetPDFPath, &SecondFolderRecord()};
const PathFieldBinding kImportSourceField{1002, 1003, SettingsKey::SourceKXQPath, &FirstFolderRecord()};
const PathFieldBinding kImportTargetField{1004, 1005, SettingsKey::TargetBookPath, &SecondFolderRecord()};

// The "..." button and the path field as the host shows them.
void PreparePathField(XTWindow dialog, const PathFieldBinding& binding) {
  const XTDialogSuite* dialogs = XT().dialogs;
  if (dialogs == nullptr) {
    DebugCheckApiErr(kXTErrNoSuite);
    return;
  }
  DebugCheckApiErr(dialogs->browse_button(dialog, binding.browseButton));
  DebugCheckApiErr(dialogs->setup_field(dialog, binding.field, 32, 80, 1000, 0, 0x640000, 26));
}

// Tells the host about the dialog's path fields (`what`: 2 when a field
// has no path of its own to show, 4 once a chosen folder is stored).
int32_t DialogNotice(XTWindow dialog, int32_t what) {
  const XTDialogSuite* dialogs = XT().dialogs;
  return DebugCheckApiErr(dialogs != nullptr ? dialogs->dialog_notice(dialog, what) : kXTErrNoSuite);
}

struct FolderDialog {
  const PathFieldBinding* fields[2];  // the second may be null
  int32_t defaultButton;
  int32_t cancelButton;
  void (*run)(bool recursive);  // the command, once the dialog ended with its default button
};

const char kExportFailure[] = "Export failed for folder: ";
const char kImportFailure[] = "Import failed for folder: ";

// The folder of a path field: its record's, else (a remembered folder that
// has gone since) the one its setting remembers.
std::string FieldFolder(const PathFieldBinding& binding) {
  const std::string recorded = FolderPathOf(*binding.record);
  if (!recorded.empty()) return recorded;
  Settings& settings = Settings::Instance();
  return settings.IsDefault(binding.setting) ? "" : settings.GetPath(binding.setting);
}

// Makes the target folder of a field when it is missing and points the
// field's record at it; false, the failure logged and shown, when there is
// none.
bool UseTargetField(const PathFieldBinding& binding, const char* failure, const XTFileSpec& source) {
  return UseFolderSpec(TargetFolderSpec, FieldFolder(binding), *binding.record, failure, FolderPathOf(source));
}

// Points the source field's record at its folder; false, the failure logged
// and shown, when the folder is not there or cannot be read.
bool UseSourceField(const PathFieldBinding& binding, const char* failure) {
  const std::string folder = FieldFolder(binding);
  return UseFolderSpec(SourceFolderSpec, folder, *binding.record, failure, folder);
}

void RunKxqExport(bool recursive) {
  if (!UseTargetField(kKxqField, kExportFailure, HostDocFolderSpec()) ||
      !CheckTargetFolder(kFileKindKxq, FirstFolderRecord(), recursive, kDialogOverwriteKxq)) {
    return;
  }
  KxqFolderSpec = FirstFolderRecord();
  ExportFolder(FirstFolderRecord(), recursive);
}

void RunPdfExport(bool recursive) {
  if (!UseTargetField(kPdfField, kExportFailure, HostDocFolderSpec()) ||
      !CheckTargetFolder(kFileKindPdf, FirstFolderRecord(), recursive, kDialogOverwritePdf)) {
    return;
  }
  PdfFolderPath = FolderPathOf(FirstFolderRecord());
  ExportFolderToPdf(FirstFolderRecord(), recursive);
}

void RunKxqAndPdfExport(bool recursive) {
  if (!UseTargetField(kBothKxqField, kExportFailure, HostDocFolderSpec()) ||
      !UseTargetField(kBothPdfField, kExportFailure, HostDocFolderSpec()) ||
      !CheckTargetFolder(kFileKindKxq, FirstFolderRecord(), recursive, kDialogOverwriteKxq) ||
      !CheckTargetFolder(kFileKindPdf, SecondFolderRecord(), recursive, kDialogOverwritePdf)) {
    return;
  }
  KxqFolderSpec = FirstFolderRecord();
  PdfFolderPath = FolderPathOf(SecondFolderRecord());
  // One notice for both passes; after a failed first pass, none.
  ShowFinishedNotice = 0;
  ShowFinishedNotice = ExportFolder(FirstFolderRecord(), recursive) ? 1 : 0;
  ExportFolderToPdf(SecondFolderRecord(), recursive);
  ShowFinishedNotice = 1;
}

void RunImport(bool recursive) {
  if (!UseSourceField(kImportSourceField, kImportFailure) ||
      !UseTargetField(kImportTargetField, kImportFailure, FirstFolderRecord()) ||
      !CheckTargetFolder(kFileKindQxp, SecondFolderRecord(), recursive, kDialogOverwriteQxp)) {
    return;
  }
  KxqFolderSpec = FirstFolderRecord();
  ImportTargetFolderSpec = SecondFolderRecord();
  ImportFolder(recursive);
}

const FolderDialog kTargetKxq{{&kKxqField, nullptr}, 1004, 1005, &RunKxqExport};
const FolderDialog kTargetPdf{{&kPdfField, nullptr}, 1004, 1005, &RunPdfExport};
const FolderDialog kTargetKxqPdf{{&kBothKxqField, &kBothPdfField}, 1004, 1005, &RunKxqAndPdfExport};
const FolderDialog kImportFolders{{&kImportSourceField, &kImportTargetField}, 1023, 1022, &RunImport};

int32_t FolderDialogProc(void* record, int number, const FolderDialog& layout) {
  XTDialogRec& dialog = *static_cast<XTDialogRec*>(record);
  const XTDialogSuite* dialogs = XT().dialogs;
  switch (dialog.message) {
    case kXTDialogAskResource:
      if (dialog.resource != nullptr) *dialog.resource = DialogResource(number);
      dialog.handled = 1;
      break;
    case kXTDialogPrepare:
      for (const PathFieldBinding* field : layout.fields) {
        if (field != nullptr) PreparePathField(dialog.dialog, *field);
      }
      dialog.handled = 1;
      break;
    case kXTDialogFirstUpdate: {
      const bool first = FillPathField(dialog.dialog, *layout.fields[0], false);
      if (layout.fields[1] != nullptr) FillPathField(dialog.dialog, *layout.fields[1], !first);
      break;
    }
    case kXTDialogItemHit:
      for (const PathFieldBinding* field : layout.fields) {
        if (field != nullptr && dialog.item == field->browseButton) {
          BrowseFolder(dialog.dialog, *field);
          dialog.handled = 1;
        }
      }
      if (dialogs != nullptr && (dialog.item == layout.defaultButton || dialog.item == layout.cancelButton)) {
        dialogs->end_dialog(dialog.dialog, dialog.item == layout.defaultButton ? 1 : 0);
        dialog.handled = 1;
      }
      break;
    case kXTDialogItemChanged:
      for (const PathFieldBinding* field : layout.fields) {
        if (field != nullptr && dialog.item == field->field) ResetPathField(dialog.dialog, *field);
      }
      break;
    case kXTDialogEndedDefault: {
      Settings& settings = Settings::Instance();
      const bool recursive = settings.IsExtendedInterface() && settings.IsRecursiveDirScan();
      // An answer of an earlier command must not decide this one.
      OverwriteCancelFlag() = 0;
      layout.run(recursive);
      break;
    }
    default:
      break;
  }
  return 0;
}

int32_t SetFieldText(XTWindow dialog, int32_t field, const std::string& text) {
  const XTDialogSuite* dialogs = XT().dialogs;
  const XTStringSuite* strings = XT().qsb1;
  if (dialogs == nullptr || strings == nullptr) return DebugCheckApiErr(kXTErrNoSuite);
  XTString string = 0;
  int32_t result = NewHostString(text, &string);
  if (result == kXTOk) result = dialogs->set_item_text(dialog, field, string);
  if (string != 0) strings->dispose_string(string);
  return DebugCheckApiErr(result);
}

}  // namespace

XTFileSpec& FirstFolderRecord() {
  static XTFileSpec record{};
  return record;
}

XTFileSpec& SecondFolderRecord() {
  static XTFileSpec record{};
  return record;
}

int32_t TargetKxqDialogProc(void* record) { return FolderDialogProc(record, kDialogTargetKxq, kTargetKxq); }
int32_t TargetPdfDialogProc(void* record) { return FolderDialogProc(record, kDialogTargetPdf, kTargetPdf); }
int32_t TargetKxqPdfDialogProc(void* record) {
  return FolderDialogProc(record, kDialogTargetKxqPdf, kTargetKxqPdf);
}
int32_t ImportFolderDialogProc(void* record) {
  return FolderDialogProc(record, kDialogImportFolder, kImportFolders);
}

int32_t SetFieldPath(XTWindow dialog, const PathFieldBinding& binding, const std::string& path) {
  XTFileSpec spec{};
  const int32_t result = xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr);
  if (result != kXTOk) return DebugCheckApiErr(result);
  *binding.record = spec;
  return SetFieldText(dialog, binding.field, path);
}

bool FillPathField(XTWindow dialog, const PathFieldBinding& binding, bool forceOff) {
  Settings& settings = Settings::Instance();
  // The records are shared by the dialogs: a field left empty keeps no
  // folder of an earlier command.
  if (forceOff || settings.IsDefault(binding.setting)) {
    *binding.record = XTFileSpec{};
    return DialogNotice(dialog, 2) == kXTOk;
  }
  const std::string path = settings.GetPath(binding.setting);
  if (SetFieldPath(dialog, binding, path) == kXTOk) return true;
  // A remembered folder that has gone since: the field still shows it (the
  // command makes it), and no folder of an earlier command stays behind.
  *binding.record = XTFileSpec{};
  SetFieldText(dialog, binding.field, path);
  return false;
}

void ResetPathField(XTWindow dialog, const PathFieldBinding& binding) {
  SetFieldText(dialog, binding.field, Settings::Instance().GetPath(binding.setting));
}

void BrowseFolder(XTWindow dialog, const PathFieldBinding& binding) {
  Settings& settings = Settings::Instance();
  XTFileSpec chosen{};
  if (BrowseForFolder("Select folder", settings.GetPath(binding.setting), chosen) != kXTOk) return;
  const std::string path = FolderPathOf(chosen);
  if (path.empty()) return;
  settings.SetValueAndSave(binding.setting, path, true, true);
  SetFieldPath(dialog, binding, path);
  if (!settings.IsDefault(binding.setting)) DialogNotice(dialog, 4);
}

bool CheckTargetFolder(FileKind kind, const XTFileSpec& record, bool recursive, int overwriteDialog) {
  if (kind > kFileKindPdf) return false;
  uint8_t& flag = kind <= kFileKindQxd ? OverwriteFlags.importTarget
                  : kind == kFileKindKxq ? OverwriteFlags.kxqTarget
                                         : OverwriteFlags.pdfTarget;
  // With the source folder's name in the target, the targets lie in a
  // sub-folder of that name.
  std::string subFolder;
  if (Settings::Instance().IsIncludeSourceFolderInTarget()) {
    const XTFileSpec& source = kind <= kFileKindQxd ? FirstFolderRecord() : HostDocFolderSpec();
    subFolder = SplitPath(FolderPathOf(source), true);
  }
  if (!ScanSourceFolder(record, kind, recursive, subFolder)) {
    flag = 1;
    return true;
  }
  int32_t answer = 0;
  ShowDialog(overwriteDialog, 0, &answer, nullptr, true, false, false);
  if (answer != 1) return false;
  if (OverwriteCancelFlag() != 0) {
    OverwriteCancelFlag() = 0;
    return false;
  }
  flag = 1;
  return true;
}
