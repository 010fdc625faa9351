#include "plugin/conversion/conversion_globals.h"

#include "plugin/xtension/menus.h"

ConversionOverwriteFlags OverwriteFlags;
XTFileSpec KxqFolderSpec{};
XTFileSpec ImportTargetFolderSpec{};
std::string PdfFolderPath;
bool PdfPending = false;
std::string ImportTargetPath;

XTFileSpec& HostDocFolderSpec() { return CurrentSourceFolder(); }

namespace {
CommandOutcome lastOutcome = CommandOutcome::kNone;
}  // namespace

void ClearCommandOutcome() { lastOutcome = CommandOutcome::kNone; }
void RecordCommandOutcome(CommandOutcome outcome) { lastOutcome = outcome; }
CommandOutcome LastCommandOutcome() { return lastOutcome; }
