#include "plugin/xtension/actions.h"

#include "plugin/qapi/box_call.h"
#include "plugin/qapi/progress_bar.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/qapi/ui_host.h"
#include "support/batch_file.h"
#include "support/host_link.h"

RefHandle<BeepAction> GetBeepAction() { return BeepAction::Instance(); }

RefHandle<ExportButton> GetExportAction() { return ExportButton::Instance(); }
RefHandle<ExportAction> GetKxtExportAction() { return ExportAction::Instance(); }
RefHandle<CoordinatesAction> GetExportCoordsAction() { return CoordinatesAction::Instance(); }
RefHandle<XTagsAction> GetExportXTagsAction() { return XTagsAction::Instance(); }
RefHandle<ImportAction> GetImportAction() { return ImportAction::Instance(); }

namespace {

// Runs the action a getter hands out, holding one reference while it runs.
template <class T>
void PerformHeld(RefHandle<T> (*get)(), void* record) {
  if (const RefHandle<T> action = get()) action->ActionPerformed(static_cast<XTVoidRec*>(record));
}

}  // namespace

void PerformExportAction(void* record) { PerformHeld(GetExportAction, record); }
void PerformKxtExportAction(void* record) { PerformHeld(GetKxtExportAction, record); }
void PerformExportCoordsAction(void* record) { PerformHeld(GetExportCoordsAction, record); }
void PerformExportXTagsAction(void* record) { PerformHeld(GetExportXTagsAction, record); }
void PerformImportAction(void* record) { PerformHeld(GetImportAction, record); }

bool UpdateBatchCount(int32_t count) {
  BatchFile& batch = BatchFile::Instance();
  return batch.Check() && batch.SetCount(count, true, true);
}

void NotifyBeep(XTVoidRec* record) {
  if (const RefHandle<BeepAction> beep = GetBeepAction()) beep->ActionPerformed(record);
}

template <>
void BeepAction::ActionPerformed(XTVoidRec*) {
  if (const XTApplicationSuite* application = XT().application) application->message_beep(0);
}

template <>
void AboutAction::ActionPerformed(XTVoidRec* record) {
  NotifyBeep(record);
}

template <>
void ProgressAction::ActionPerformed(XTVoidRec*) {
  ShowProgressStatus();
}

template <>
void RangeAction::ActionPerformed(XTVoidRec* record) {
  const XTSelectionSuite* selection = XT().lgh2;
  const XTStoryTextSuite* text = XT().lgf2;
  int32_t story = 0;
  int32_t first = 0;
  int32_t last = 0;
  if (selection == nullptr || text == nullptr ||
      selection->text_selection(&story, &first, &last) != kXTOk || story <= 0 || first == last) {
    NotifyBeep(record);
    return;
  }
  StoryRuns runs(story);
  runs.RefreshIfStale();
  // The host ends only an operation it began; one it refused changed
  // nothing, so nothing is refreshed or counted either.
  if (DebugCheckApiErr(text->begin_text_operation(runs.textRef, first, last)) != kXTOk) return;
  DebugCheckApiErr(text->end_text_operation(runs.textRef));
  QapiBoxCall4(1);
  NoteTextChange();
}
