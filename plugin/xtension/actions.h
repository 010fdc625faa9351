// The plug-in's actions and buttons by id, and the global access to them.
//
// Each is a process-wide single instance (Swing, ClassObject): the plug-in
// object (brenix.h) builds one of each and wires the actions to the buttons
// that fire them; while it lives, Instance() hands out counted references.
//
//   1 beep              4 about (beeps)        36 progress status
//   5 export button      6 coordinates button   7 XTags button
//  10 export-to button   8 multiple-export button
//  15 import button     16 multiple-import button
//   9 KXT export        13 coordinates export  14 XTags export
//  11 open and export   17 import
//  12 batch export job  18 batch import job    19 idle (idle_action.h)
//  34 operation on the selected text range
//
// Action 34 takes the host's current text selection.  Without a story or
// with an empty range it beeps (NotifyBeep).  Otherwise it takes a snapshot
// of the story's text (StoryRuns), brackets a host text operation over the
// range between the host's begin and end calls (the end only after a
// begin the host accepted), then refreshes the box (QapiBoxCall4 with 1) and
// counts a text change, so that every story snapshot fetches again.  No
// button fires it; it is reached through RangeAction::Instance().
#pragma once

#include "platform/xt/xt_records.h"
#include "plugin/xtension/swing.h"

using BeepAction = Swing::ActionAdapter<XTVoidRec*, 1>;
using AboutAction = Swing::ActionAdapter<XTVoidRec*, 4>;
using ExportButton = Swing::AbstractButton<XTVoidRec*, 5>;
using CoordinatesButton = Swing::AbstractButton<XTVoidRec*, 6>;
using XTagsButton = Swing::AbstractButton<XTVoidRec*, 7>;
using MultipleExportButton = Swing::AbstractButton<XTVoidRec*, 8>;
using ExportAction = Swing::ActionAdapter<XTVoidRec*, 9>;
using ExportToButton = Swing::AbstractButton<XTVoidRec*, 10>;
using OpenAndExportAction = Swing::ActionAdapter<XTVoidRec*, 11>;
using BatchExportAction = Swing::ActionAdapter<XTIdleRec*, 12>;
using CoordinatesAction = Swing::ActionAdapter<XTVoidRec*, 13>;
using XTagsAction = Swing::ActionAdapter<XTVoidRec*, 14>;
using ImportButton = Swing::AbstractButton<XTVoidRec*, 15>;
using MultipleImportButton = Swing::AbstractButton<XTVoidRec*, 16>;
using ImportAction = Swing::ActionAdapter<XTVoidRec*, 17>;
using BatchImportAction = Swing::ActionAdapter<XTIdleRec*, 18>;
using IdleAction = Swing::ActionAdapter<XTIdleRec*, 19>;
using RangeAction = Swing::ActionAdapter<XTVoidRec*, 34>;
using ProgressAction = Swing::ActionAdapter<XTVoidRec*, 36>;

// The bodies of the actions, each defined with its subsystem.
template <>
void BeepAction::ActionPerformed(XTVoidRec* record);
template <>
void AboutAction::ActionPerformed(XTVoidRec* record);
template <>
void ExportAction::ActionPerformed(XTVoidRec* record);
template <>
void OpenAndExportAction::ActionPerformed(XTVoidRec* record);
template <>
void BatchExportAction::ActionPerformed(XTIdleRec* record);
template <>
void CoordinatesAction::ActionPerformed(XTVoidRec* record);
template <>
void XTagsAction::ActionPerformed(XTVoidRec* record);
template <>
void ImportAction::ActionPerformed(XTVoidRec* record);
template <>
void BatchImportAction::ActionPerformed(XTIdleRec* record);
template <>
void IdleAction::ActionPerformed(XTIdleRec* record);
template <>
void RangeAction::ActionPerformed(XTVoidRec* record);
template <>
void ProgressAction::ActionPerformed(XTVoidRec* record);

// Counted access to the actions the conversions fire without a menu: each
// getter is empty while the plug-in object has not built the action (or has
// released it); each perform wrapper runs the action with `record` (passed
// on unchanged, null from the converters) and does nothing when it is empty.
// Performing leaves the action's reference count as it was.
RefHandle<BeepAction> GetBeepAction();
// The export button: performing it fires its listeners in order, the KXT
// export and then the beep.
RefHandle<ExportButton> GetExportAction();
void PerformExportAction(void* record);
// The KXT export alone (action 9).
RefHandle<ExportAction> GetKxtExportAction();
void PerformKxtExportAction(void* record);
// The coordinates export (action 13).
RefHandle<CoordinatesAction> GetExportCoordsAction();
void PerformExportCoordsAction(void* record);
// The XTags export (action 14).
RefHandle<XTagsAction> GetExportXTagsAction();
void PerformExportXTagsAction(void* record);
// The import (action 17).
RefHandle<ImportAction> GetImportAction();
void PerformImportAction(void* record);

// While a batch job runs (BatchFile::Check), writes `count` as the job's
// Count and returns whether that was saved; otherwise false, nothing
// written.  The folder driver calls it after each file.
bool UpdateBatchCount(int32_t count);

// Performs the beep action with `record`; nothing when it does not exist.
void NotifyBeep(XTVoidRec* record);
