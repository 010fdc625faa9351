// The plug-in's own dialogs: the fifteen host ids reserved at activation,
// each bound to one dialog callback and one dialog resource, and
// ShowDialog, through which every dialog reaches the user.
//
// In unattended work a dialog is not shown unless its own exception flag
// for the mode is set: its title and text go to the program log as
// "\nSUPPRESSED DIALOG:\t" + title + "\t->\t" + text, and it answers its
// default answer (0 without one).  In batch and server mode nobody is there
// to answer, so no flag shows it; in MultiDoc mode any flag shows it as well.
// Host thread only.
#pragma once

#include <cstdint>


// Dialogs by reservation order (1 to 15).
enum DialogNumber : int {
  kDialogProgress = 1,       // 22300, also the status window
  kDialogExportDone = 2,     // 101
  kDialogExportFailed = 3,   // 112
  kDialogImportDone = 4,     // 103
  kDialogImportFailed = 5,   // 104
  kDialogSaveChanged = 6,    // 105
  kDialogExportSource = 7,   // 108, the multi-document export
  kDialogTargetKxq = 8,      // 107
  kDialogTargetPdf = 9,      // 113
  kDialogTargetKxqPdf = 10,  // 114
  kDialogImportFolder = 11,  // 115, the multi-document import
  kDialogOverwriteKxq = 12,  // 111
  kDialogOverwritePdf = 13,  // 116
  kDialogOverwriteQxp = 14,  // 117
  kDialogOpening = 15,       // 106
};

// The dialog resource of a dialog number, 0 for another number.
int32_t DialogResource(int number);
// The host id reserved for a dialog number, 0 for another number or before
// the reservation.
int32_t ReservedDialogId(int number);

// The dialog number whose reserved id is `id`, 0 for none.
int DialogNumberOfId(int32_t id);

// The dialog callbacks (the folder dialogs 8 to 11 are the folder
// commands').  Each takes the host's XTDialogRec, knows its dialog by the
// record's kind, marks the resource request and the prepare message handled
// and answers 0.  They may throw: registration puts them behind the
// exception barrier.
// The progress and status window (1): its resource; when prepared, its
// text item (value 1) and its progress control (value 0).
int32_t ProgressDialogProc(void* record);
// The result dialogs (2 to 5): their resource only.
int32_t ResultDialogProc(void* record);
// The save question (6): its resource; "Save File" ends it with
// kSaveChangedSave, "Cancel Export" (also the cancel item) with
// kSaveChangedCancel, the answers the default and remembered answers use.
constexpr int32_t kSaveChangedCancel = 1;
constexpr int32_t kSaveChangedSave = 2;
int32_t SaveChangedDialogProc(void* record);
// The multi-document export (7): both check boxes 0 when prepared, enabled
// at the first update; "OK" ends it with 1, "Cancel" with 0; ended with
// "OK", it runs the target-folder dialog the check boxes ask for.
int32_t ExportSourceDialogProc(void* record);
// The overwrite questions (12 to 14): "Cancel" is the cancel item; "Yes"
// ends with 1; "Cancel" sets the cancel flag and "No" clears it, both end
// with 0.
int32_t OverwriteDialogProc(void* record);
// The opening dialog (15): asks the host for idle messages; on each it
// clicks away the host's own alert window, when one is up.
int32_t OpeningDialogProc(void* record);

// Runs dialog `number` with `argument` through the host's dialog manager
// and returns the host's result; `result` (may be null) receives the
// dialog's answer.  Suppressed (see above): the log line, `defaultAnswer`
// (0 when null) into `result`, and 0.
int32_t ShowDialog(int number, int32_t argument, int32_t* result, const int32_t* defaultAnswer,
                   bool showInMultiDoc, bool showInBatch, bool showInServer);

// The answer of the overwrite questions: 1 after "Cancel", 0 after "No";
// it stays until the folder command that reads it resets it.
int32_t& OverwriteCancelFlag();
