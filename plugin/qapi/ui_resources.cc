#include "plugin/qapi/ui_resources.h"

#include <cstddef>

namespace {

constexpr int32_t B = kXTItemButton;
constexpr int32_t T = kXTItemText;
constexpr int32_t C = kXTItemCheckBox;
constexpr int32_t F = kXTItemField;
constexpr int32_t P = kXTItemProgress;
constexpr int32_t I = kXTItemIcon;

const XTDialogItem kExportDone[] = {{1, B, "OK"}, {0, T, "Export done"}};
const XTDialogItem kImportDone[] = {{1, B, "OK"}, {0, T, "Import done"}};
const XTDialogItem kImportFailed[] = {{1, B, "OK"}, {0, T, "Import failed"}};
const XTDialogItem kSaveChanged[] = {
    {2, B, "Cancel Export"}, {0, T, "File was changed. Save it?"}, {1, B, "Save File"}};
const XTDialogItem kOpening[] = {{0, T, "Opening..."}};
const XTDialogItem kTargetKxq[] = {{1004, B, "Export"},
                                   {1005, B, "Cancel"},
                                   {1008, B, "..."},
                                   {1009, F, ""},
                                   {0, T, "Target folder for KXQ files"}};
const XTDialogItem kExportSourceFolder[] = {{1004, B, "OK"},
                                            {1005, B, "Cancel"},
                                            {1001, C, "Generate KXQ files"},
                                            {1002, C, "Generate PDF files"}};
const XTDialogItem kOverwriteKxq[] = {{1020, B, "Yes"},
                                      {1021, B, "Cancel"},
                                      {1005, B, "No"},
                                      {0, T, "Target folder already contains KXQ files."},
                                      {0, T, "Do you want to overwrite existing KXQ files?"}};
const XTDialogItem kExportFailed[] = {{1, B, "OK"}, {0, T, "Export failed"}};
const XTDialogItem kTargetPdf[] = {{1004, B, "Export"},
                                   {1005, B, "Cancel"},
                                   {1007, B, "..."},
                                   {1006, F, ""},
                                   {0, T, "Target folder for PDF files"}};
const XTDialogItem kTargetKxqPdf[] = {{1004, B, "Export"},
                                      {1005, B, "Cancel"},
                                      {1012, B, "..."},
                                      {1010, F, ""},
                                      {0, T, "Target folder for KXQ files"},
                                      {1013, B, "..."},
                                      {1011, F, ""},
                                      {0, T, "Target folder for PDF files"}};
const XTDialogItem kImportFolder[] = {{1023, B, "Import"},
                                      {1022, B, "Cancel"},
                                      {1002, B, "..."},
                                      {1003, F, ""},
                                      {0, T, "Source folder with KXQ files"},
                                      {1004, B, "..."},
                                      {1005, F, ""},
                                      {0, T, "Target folder for QXP files"}};
const XTDialogItem kOverwritePdf[] = {{1014, B, "Yes"},
                                      {1016, B, "Cancel"},
                                      {1015, B, "No"},
                                      {0, T, "Target folder already contains PDF files."},
                                      {0, T, "Do you want to overwrite existing PDF files?"}};
const XTDialogItem kOverwriteQxp[] = {{1017, B, "Yes"},
                                      {1019, B, "Cancel"},
                                      {1018, B, "No"},
                                      {0, T, "Target folder already contains QXP files."},
                                      {0, T, "Do you want to overwrite existing QXP files?"}};
const XTDialogItem kAlert[] = {{4, I, nullptr}, {5, T, "^0^1^2"}, {6, T, "^3"}, {1, B, "OK"}};
const XTDialogItem kAlertContinue[] = {
    {4, I, nullptr}, {5, T, "^0^1^2"}, {6, T, "^3"}, {1, B, "Cancel"}, {2, B, "Continue"}};
const XTDialogItem kProgress[] = {{1, P, nullptr}, {2, T, "^0"}};

template <std::size_t N>
constexpr int32_t Count(const XTDialogItem (&)[N]) {
  return static_cast<int32_t>(N);
}

// The default button answers for a user who is not there: the result
// dialogs' OK, the choice that changes nothing ("No" in the overwrite
// questions, "Cancel Export" when a changed file is to be saved).
const XTDialogTemplate kDialogs[] = {
    {101, "Result", 1, Count(kExportDone), kExportDone},
    {103, "Result", 1, Count(kImportDone), kImportDone},
    {104, "Result", 1, Count(kImportFailed), kImportFailed},
    {105, nullptr, 2, Count(kSaveChanged), kSaveChanged},
    {106, nullptr, 0, Count(kOpening), kOpening},
    {107, "Target folder for KXQ", 1004, Count(kTargetKxq), kTargetKxq},
    {108, "Export Current Source Folder", 1004, Count(kExportSourceFolder), kExportSourceFolder},
    {111, "Overwrite files?", 1005, Count(kOverwriteKxq), kOverwriteKxq},
    {112, "Result", 1, Count(kExportFailed), kExportFailed},
    {113, "Target folder for PDF", 1004, Count(kTargetPdf), kTargetPdf},
    {114, "Target folder for KXQ/PDF", 1004, Count(kTargetKxqPdf), kTargetKxqPdf},
    {115, "Import Solvane Files", 1023, Count(kImportFolder), kImportFolder},
    {116, "Overwrite files?", 1015, Count(kOverwritePdf), kOverwritePdf},
    {117, "Overwrite files?", 1018, Count(kOverwriteQxp), kOverwriteQxp},
    {22100, nullptr, 1, Count(kAlert), kAlert},
    {22200, nullptr, 1, Count(kAlertContinue), kAlertContinue},
    {22300, nullptr, 0, Count(kProgress), kProgress},
};

}  // namespace

extern "C" const XTResourceTable XTDialogResources = {
    static_cast<int32_t>(sizeof kDialogs / sizeof kDialogs[0]), kDialogs};
