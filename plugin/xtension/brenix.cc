#include "plugin/xtension/brenix.h"

#include <memory>
#include <new>

#include "platform/win/file_notes.h"
#include "plugin/qapi/box_call.h"
#include "plugin/xtension/callback_glue.h"
#include "plugin/xtension/cb_manager.h"
#include "plugin/xtension/menus.h"
#include "shared/server/job_folder_lock.h"
#include "support/CnvTools.h"
#include "support/batch_file.h"
#include "support/brenix_interface.h"
#include "support/object_tracker.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/reg_key.h"
#include "support/settings.h"

namespace {

using IdleButton = CBAdapter<XTIdleRec*, 31>;

// The plug-in object, from InitBrenix to DeinitBrenix.
Brenix* g_brenix = nullptr;

// A new object; empty when memory runs out.
template <class T>
RefHandle<T> Make() {
  return RefHandle<T>::Adopt(new (std::nothrow) T);
}

// Adds `action` to the listeners of `button`; nothing when either is
// missing.
template <class Button, class Action>
void Wire(const RefHandle<Button>& button, const RefHandle<Action>& action) {
  if (button && action) button->AddListener(typename Button::Listener(action));
}

// What the platform layer says of a file (a leftover kept beside an output
// because it may be the user's, an owner a replaced file could not keep):
// in the log.
void ReportFileNote(const std::string& line) { ProgramLog() << "\n" << line << "\n"; }

// The server log folder's mark while the server runs: a server started
// after this one was killed removes the folder or names it as kept
// (RemoveDeadLogFolders); one that ended leaves it unmarked.
std::unique_ptr<JobFolderLock>& LogFolderMark() {
  static std::unique_ptr<JobFolderLock> mark;
  return mark;
}

}  // namespace

Brenix::Brenix()
    : ole_(false),
      beep_(Make<BeepAction>()),
      about_(Make<AboutAction>()),
      exportButton_(Make<ExportButton>()),
      coordinatesButton_(Make<CoordinatesButton>()),
      xtagsButton_(Make<XTagsButton>()),
      exportAction_(Make<ExportAction>()),
      coordinatesAction_(Make<CoordinatesAction>()),
      xtagsAction_(Make<XTagsAction>()),
      exportToButton_(Make<ExportToButton>()),
      multipleExportButton_(Make<MultipleExportButton>()),
      openAndExportAction_(Make<OpenAndExportAction>()),
      batchExportAction_(Make<BatchExportAction>()),
      idleAction_(Make<IdleAction>()),
      importButton_(Make<ImportButton>()),
      multipleImportButton_(Make<MultipleImportButton>()),
      importAction_(Make<ImportAction>()),
      batchImportAction_(Make<BatchImportAction>()),
      progressAction_(Make<ProgressAction>()),
      rangeAction_(Make<RangeAction>()) {
  // Without a settings file server mode counts as off, and neither the
  // server log nor the batch file is looked for.
  win::SetFileNoteReporter(ReportFileNote);
  bool serverMode = false;
  if (Settings::Instance().Load("", false)) {
    BrenixInterface* modes = BrenixInterface::Instance();
    serverMode = modes->serverMode;
    if (serverMode) {
      // Marked before the log is in it: a kill leaves no unmarked log.
      modes->InitServerLog([](const std::string& made) { LogFolderMark() = std::make_unique<JobFolderLock>(made); });
    } else {
      BatchFile::Instance().Open(false);
      BatchFile::Instance().ReportNotRun();
    }
  }

  const RefHandle<IdleButton> idleButton = Make<IdleButton>();
  if (idleButton) SetHostCallback(kXTIdle, idleButton);

  Menus::Install();

  Wire(exportButton_, exportAction_);
  Wire(coordinatesButton_, coordinatesAction_);
  Wire(xtagsButton_, xtagsAction_);
  Wire(exportToButton_, openAndExportAction_);
  Wire(multipleExportButton_, openAndExportAction_);
  Wire(importButton_, importAction_);
  Wire(multipleImportButton_, importAction_);
  Wire(importButton_, beep_);
  Wire(multipleImportButton_, beep_);
  Wire(exportButton_, beep_);
  Wire(coordinatesButton_, beep_);
  Wire(xtagsButton_, beep_);
  Wire(exportToButton_, beep_);
  Wire(multipleExportButton_, beep_);

  if (serverMode) {
    Wire(idleButton, idleAction_);
    return;
  }
  BatchFile& batch = BatchFile::Instance();
  const std::string& path = batch.GetFilePath();
  if (!path.empty() && PathExists(CnvTools::DirectoryPart(path))) {
    batch.SetWaitOnIdleFlag(true);
    if (batch.Check()) batch.SetActive(true);
    Wire(idleButton, idleAction_);
  }
}

Brenix::~Brenix() {
  win::SetFileNoteReporter(nullptr);
  if (IsBatchMode()) ClearBatchModeFlag();
  rangeAction_.Reset();
  progressAction_.Reset();
  batchImportAction_.Reset();
  importAction_.Reset();
  multipleImportButton_.Reset();
  importButton_.Reset();
  idleAction_.Reset();
  batchExportAction_.Reset();
  openAndExportAction_.Reset();
  multipleExportButton_.Reset();
  exportToButton_.Reset();
  xtagsAction_.Reset();
  coordinatesAction_.Reset();
  exportAction_.Reset();
  xtagsButton_.Reset();
  coordinatesButton_.Reset();
  exportButton_.Reset();
  about_.Reset();
  beep_.Reset();
}

bool InitBrenix() {
  if (g_brenix != nullptr) return g_brenix->OleSucceeded();
  g_brenix = new (std::nothrow) Brenix;
  LogMemoryStatus(BRENIX_LOCATION("InitBrenix"));
  return g_brenix != nullptr && g_brenix->OleSucceeded();
}

void DeinitBrenix() {
  if (g_brenix == nullptr) return;
  // The menu goes back while the host's services are still there.
  Menus::Remove();
  // The log first, the mark last (RemoveDeadLogFolders).
  if (!Settings::Instance().IsKeepServerLog())
    BrenixInterface::Instance()->RemoveTmpLogFolder([] { LogFolderMark().reset(); });
  LogFolderMark().reset();
  LogMemoryStatus(BRENIX_LOCATION("DeinitBrenix"));
  Brenix* object = g_brenix;
  g_brenix = nullptr;
  object->Release();
}

bool HostCheckCounter::Step(uint32_t& counter, uint32_t argument) {
  QapiBoxCall4(argument);
  ++counter;
  return counter != 0;
}
