// The plug-in object: built at host registration (InitBrenix), ended at
// host shut-down (DeinitBrenix).
//
// It owns the storage layer's initialisation and one of each action and
// button (actions.h), in this order: beep 1, about 4, buttons 5, 6, 7,
// actions 9, 13, 14, button 10, button 8, action 11, batch export 12, idle
// 19, buttons 15, 16, actions 17, batch import 18, progress 36, range 34.
// Building it loads the settings and, when they loaded, opens the server
// log (server mode) or the batch control file; installs the idle callback
// and the menus; wires every button to its working action and then to the
// beep; and in server mode, or when a batch control file's folder exists,
// wires the idle action to the idle callback (a control file found this way
// sets the batch file's wait-on-idle flag and marks a valid job active).
// Ending it clears the registry batch flag when this process holds it.
// Host thread only.
#pragma once

#include <cstdint>

#include "framework/ole_init_guard.h"
#include "plugin/xtension/actions.h"
#include "plugin/xtension/class_object.h"

class Brenix : public ClassObject<Brenix> {
 public:
  Brenix();
  // Whether the storage layer's initialisation succeeded.
  bool OleSucceeded() const { return ole_.Succeeded(); }

 protected:
  // Clears the registry batch flag when this process holds it, releases
  // the actions and buttons from the last to the first, then ends the
  // storage layer's initialisation.
  ~Brenix() override;

 private:
  OLEInitGuard ole_;
  RefHandle<BeepAction> beep_;
  RefHandle<AboutAction> about_;
  RefHandle<ExportButton> exportButton_;
  RefHandle<CoordinatesButton> coordinatesButton_;
  RefHandle<XTagsButton> xtagsButton_;
  RefHandle<ExportAction> exportAction_;
  RefHandle<CoordinatesAction> coordinatesAction_;
  RefHandle<XTagsAction> xtagsAction_;
  RefHandle<ExportToButton> exportToButton_;
  RefHandle<MultipleExportButton> multipleExportButton_;
  RefHandle<OpenAndExportAction> openAndExportAction_;
  RefHandle<BatchExportAction> batchExportAction_;
  RefHandle<IdleAction> idleAction_;
  RefHandle<ImportButton> importButton_;
  RefHandle<MultipleImportButton> multipleImportButton_;
  RefHandle<ImportAction> importAction_;
  RefHandle<BatchImportAction> batchImportAction_;
  RefHandle<ProgressAction> progressAction_;
  RefHandle<RangeAction> rangeAction_;
};

// Builds the plug-in object (keeping one reference) and logs the
// live-object report; true when the storage layer initialised.  Settings
// that did not load, a missing batch file or menus that failed do not
// change the result.  On false the object is there all the same: a caller
// that gives up ends it (registration runs the shut-down for it).
bool InitBrenix();

// Gives the plug-in's menu back to the host, removes the temporary log
// folder unless keepServerLog is on, logs the live-object report and drops
// the plug-in object.  Nothing when there is none.
void DeinitBrenix();

struct HostCheckCounter {
  // Hands `argument` to the host's box refresh, counts one step and
  // returns whether the counter is not 0 afterwards.
  static bool Step(uint32_t& counter, uint32_t argument);
};
