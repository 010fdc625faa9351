#include "plugin/qapi/file_dialogs.h"

#include <cstring>

#include "plugin/qapi/ui_host.h"
#include "support/brenix_interface.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/paths.h"
#include "support/program_log.h"

const XTFileFilter kSolvaneFilter = {"Solvane Files", "kxq"};
const XTFileFilter kCoordinatesFilter = {"Coordinate Files", "coo"};
const XTFileFilter kKrmFilter = {"KRM Files", "krm"};
const XTFileFilter kQuarkFilter = {"Quark Files", "QXP"};

namespace {

// A file dialog whose host call failed is no cancel: the program log says
// so, with the host's error.
void LogDialogFailure(const char* prompt, int32_t result) {
  ProgramLog() << "\nERROR: the file dialog \"" << prompt << "\" failed (host error " << result << ")\n";
}

// What a save dialog asks for: its prompt, default extension and filter.
struct SaveKind {
  const char* prompt;
  const char* extension;
  const XTFileFilter* filter;
};

const SaveKind kKxtOutput = {"Solvane output file name:", FileKindExtensions[kFileKindKxq],
                             &kSolvaneFilter};
const SaveKind kCoordinatesOutput = {"Coordinates output file name:",
                                     FileKindExtensions[kFileKindCoo], &kCoordinatesFilter};
const SaveKind kKrmOutput = {"KRM output file name:", FileKindExtensions[kFileKindKrm],
                             &kKrmFilter};
const SaveKind kImportOutput = {"Output document name:", FileKindExtensions[kFileKindQxp],
                                &kQuarkFilter};

bool ChooseToOpen(const char* prompt, const XTFileFilter& filter, std::string& path) {
  const XTFileDialogSuite* dialogs = XT().file_dialogs;
  const XTStringSuite* strings = XT().qsb1;
  if (dialogs == nullptr || strings == nullptr) return false;
  XTFileDialog dialog = 0;
  if (const int32_t made = DebugCheckApiErr(dialogs->new_file_dialog(&dialog)); made != kXTOk) {
    LogDialogFailure(prompt, made);
    return false;
  }
  bool chosen = false;
  XTString text = 0;
  int32_t result = NewHostString(prompt, &text);
  if (result == kXTOk) {
    result = dialogs->run_open_dialog(dialog, text, &filter);
    strings->dispose_string(text);
  }
  int32_t outcome = 0;
  if (result == kXTOk) result = dialogs->dialog_outcome(dialog, &outcome);
  if (result == kXTOk && outcome == 1) {
    XTFileSpec spec{};
    std::string chosenPath;
    result = dialogs->chosen_spec(dialog, &spec);
    if (result == kXTOk) result = FSSpecToPath(chosenPath, spec);
    if (result == kXTOk) {
      path = chosenPath;
      chosen = true;
    }
  }
  if (DebugCheckApiErr(result) != kXTOk) LogDialogFailure(prompt, result);
  dialogs->dispose_file_dialog(dialog);
  return chosen;
}

bool AskOutputName(XTFileSpec& spec, const SaveKind& kind) {
  const XTFileDialogSuite* dialogs = XT().file_dialogs;
  const XTStringSuite* strings = XT().qsb1;
  const XTFileSuite* files = XT().files;
  if (dialogs == nullptr || strings == nullptr || files == nullptr) return false;

  // The proposal with the kind's extension.
  XTFileSpec proposal = spec;
  std::string name;
  GetRecordName(proposal, name);
  ReplaceExtension(name, kind.extension, false, true);
  if (name.size() >= sizeof proposal.name) return false;
  std::memset(proposal.name, 0, sizeof proposal.name);
  std::memcpy(proposal.name, name.data(), name.size());

  std::string fullPath;
  XTFile location = 0;
  XTString prompt = 0, proposed = 0;
  XTFileDialog dialog = 0;
  int32_t outcome = 0;
  XTFileSpec chosen{};
  int32_t result = FSSpecToPath(fullPath, proposal);
  if (result == kXTOk) result = NewHostFile(fullPath, kXTDocumentType, &location);
  if (result == kXTOk) result = NewHostString(kind.prompt, &prompt);
  if (result == kXTOk) result = NewHostString(name, &proposed);
  if (result == kXTOk) result = dialogs->new_file_dialog(&dialog);
  if (result == kXTOk) result = dialogs->run_save_dialog(dialog, prompt, proposed, location, kind.filter);
  if (result == kXTOk) result = dialogs->dialog_outcome(dialog, &outcome);
  if (result == kXTOk && outcome == 1) result = dialogs->chosen_spec(dialog, &chosen);
  if (DebugCheckApiErr(result) != kXTOk) LogDialogFailure(kind.prompt, result);
  if (dialog != 0) dialogs->dispose_file_dialog(dialog);
  if (location != 0) files->dispose_file(location);
  if (prompt != 0) strings->dispose_string(prompt);
  if (proposed != 0) strings->dispose_string(proposed);
  if (result != kXTOk || outcome != 1) return false;
  spec = chosen;
  return true;
}

}  // namespace

const XTFileFilter& FileTypeFilter(bool solvane, bool coordinates, bool krm) {
  if (krm) return kKrmFilter;
  if (coordinates) return kCoordinatesFilter;
  if (solvane) return kSolvaneFilter;
  return kQuarkFilter;
}

bool ChooseDocumentToExport(std::string& path) {
  const bool multiDoc = BrenixInterface::Instance()->multiDocMode;
  return ChooseToOpen(multiDoc ? "Choose Quark book to export:" : "Choose Quark document to export:",
                      kQuarkFilter, path);
}

bool ChooseFileToImport(std::string& path) {
  const bool multiDoc = BrenixInterface::Instance()->multiDocMode;
  return ChooseToOpen(multiDoc ? "Import Solvane Files" : "Choose Solvane file to import:",
                      kSolvaneFilter, path);
}

bool AskKxtOutputName(XTFileSpec& spec) { return AskOutputName(spec, kKxtOutput); }
bool AskCoordinatesOutputName(XTFileSpec& spec) { return AskOutputName(spec, kCoordinatesOutput); }
bool AskKrmOutputName(XTFileSpec& spec) { return AskOutputName(spec, kKrmOutput); }
bool AskImportOutputName(XTFileSpec& spec) { return AskOutputName(spec, kImportOutput); }
