// Arbitrary bytes as the settings file "brenix.ini" and as a batch control
// file: every key of both is read through every typed read; nothing may
// crash, and the typed reads must keep their ranges.  The files are held in
// memory, so that the target spends its time in the readers.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/quiet.h"
#include "support/batch_file.h"
#include "support/settings.h"
#include "tests/common/app_folder.h"
#include "tests/common/memory_ini_storage.h"

namespace {

std::string folder;
testutil::MemoryIniStorage* files = nullptr;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void ReadSettings() {
  Settings store;
  for (int id = -1; id <= SettingsKey::Count; ++id) {
    store.IsKeyInFile(id);
    store.GetValue(id);
    store.IsDefault(id);
    const std::string path = store.GetPath(id);
    Check(path.empty() || (path.front() != ' ' && path.back() != ' '));
  }
  store.IsAutomaticResizeOfFrames();
  store.IsTestStyleOfParagraph();
  store.IsSetUniqueID();
  store.IsSkipProcessHidden();
  store.IsExtendedInterface();
  store.IsRecursiveDirScan();
  store.IsAddMenuItemExportCoords();
  store.IsAddMenuItemExportKrm();
  store.IsUseObsoleteCopyText();
  store.IsMapSourceFoldersToTarget();
  store.IsIncludeSourceFolderInTarget();
  store.IsServerMode();
  store.IsSocketTransferMode();
  store.IsSockXferCanCompress();
  store.IsClearTempFiles();
  store.IsActivateServerLog();
  store.IsKeepServerLog();
  const int32_t box = store.GetTempBoxMaximizeMode();
  Check(box >= 0 && box <= 2);
  const int32_t overwrite = store.GetAutoOverwriteSource();
  Check(overwrite >= 0 && overwrite <= 2);
  const int32_t pdf = store.GetPdfOutputStyle();
  Check(pdf >= 0 && pdf <= 3);
  const int32_t master = store.GetMasterPageMode();
  Check(master >= 0 && master <= 1);
  const int32_t masterLog = store.GetMasterPageLogMode();
  Check(masterLog >= 0 && masterLog <= 5);
  const int32_t test = store.GetTestMode();
  Check(test == 0 || (test & 3) != 0);
  store.GetListenPort();
  const int32_t priority = store.GetServerLogMinPriority();
  Check(priority >= -1 && priority <= 8);
}

void ReadControlFile() {
  BatchFile file;
  file.Open(false);
  for (int id = -1; id <= BatchKey::KeyCount; ++id) {
    file.GetValue(id);
    file.GetPath(id);
  }
  const BatchMode mode = file.GetMode();
  Check(mode >= BatchNone && mode <= BatchDone);
  file.IsRecursive();
  file.IsWaitOnIdle();
  file.IsActive();
  std::string source, target, pdfDir;
  file.GetPaths(source, target, pdfDir);
  const bool valid = file.IsValid();
  const bool check = file.Check();
  Check(!check || valid);
  Check(!file.IsJobActive() || check);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  QuietFuzzTarget(argc, argv);
  static const testutil::AppFolder app;  // removed at exit
  folder = app.path();
  static testutil::MemoryIniStorage storage;
  files = &storage;
  // The reports of the ini class would drown the fuzzer's own output.
  if (!freopen("/dev/null", "w", stdout)) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  files->files[folder + "/XTensions/brenix.ini"] = bytes;
  ReadSettings();
  files->files[folder + "/XTensions/brenix.ini"] = "[Path]\nBatchFilePath=" + folder + "/control.ini\n";
  files->files[folder + "/control.ini"] = bytes;
  ReadControlFile();
  return 0;
}
