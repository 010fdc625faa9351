#include "support/settings.h"

#include "platform/xt/xt_types.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/settings_values.h"

const char* const SettingsSections[4] = {"QUARK", "Options", "Server", "Path"};
const char* const SettingsValueWords[17] = {"",  " ", "None", "0", "1", "2",    "3",     "4", "5",
                                            "6", "7", "8",    "9", "10", "True", "False", ""};

namespace {

enum : int { kTrue = 14, kFalse = 15, kBlank = 1 };
// Value-word index of the number n.
constexpr int Num(int n) { return 3 + n; }

struct KeyInfo {
  int section;
  const char* name;
  int defaultWord;
  const char* label;
  const char* range;  // null: "[ True | False ]"
};

const char kDirectory[] = "< directory >";
const char kNumber[] = "< number >";

const KeyInfo kKeys[SettingsKey::Count] = {
    {0, "AutomaticResizeOfFrames", kFalse, "Automatic resizing of frames", nullptr},
    {0, "TestStyleOfParagraph", kTrue, "Testing style of paragraphs", nullptr},
    {0, "SetUniqueID", kFalse, "Setting unique IDs", nullptr},
    {0, "SkipProcessHidden", kFalse, "Skip processing hidden content", nullptr},
    {1, "extendedInterface", kFalse, "Extending interface", nullptr},
    {1, "recursiveDirScan", kFalse, "Scanning directories recursively", nullptr},
    {1, "addMenuItemExportCoords", kFalse, "Add menu item for export of coordinates", nullptr},
    {1, "addMenuItemExportKrm", kFalse, "Add menu item for export of XTags", nullptr},
    {1, "fileTypeGuidedSelection", kFalse, "Enable only suitable files for selection (-> Mac)", nullptr},
    {1, "useObsoleteCopyText", kTrue, "Use obsolete copy text functionality", nullptr},
    {1, "tempBoxMaximizeMode", Num(1), "Temporarily maximize boxes", "[ 0: Never | 1: Hidden | 2: Always ]"},
    {1, "mapSourceFoldersToTarget", kTrue, "Map source folder hierarchy to target", nullptr},
    {1, "includeSourceFolderInTarget", kFalse, "Include source folder in target (as root)", nullptr},
    {1, "autoOverwriteSource", Num(0), "Overwrite source file (if required)", "[ 0: Ask | 1: Ask once | 2: Auto ]"},
    {1, "pdfOutputStyle", Num(2), "PDF output quality", "[ 0: Default | 1-3: High|Medium|Low ]"},
    {1, "masterPageMode", Num(1), "Masterpage mode", "[ 0: Obsolete | 1: Consider autotext ]"},
    {1, "masterPageLogMode", Num(0), "Masterpage log mode (only if masterPageMode == 1)",
     "[ 0: Off | 1-5: Increasing details ]"},
    {1, "testMode", Num(0), "Test mode", kNumber},
    {2, "serverMode", kFalse, "Run Quark in server mode", nullptr},
    {2, "listenPort", Num(0), "Server listen port", kNumber},
    {2, "maxDocOpen", Num(0), "Max. documents allowed to be simultaneously open", kNumber},
    {2, "socketTransferMode", kTrue, "Use socket file transfer (otherwise: shared mode)", nullptr},
    {1, "sockXferCanCompress", kTrue, "Socket file transfer can use compression", nullptr},
    {2, "clearTempFiles", kTrue, "Clear temporary files after socket file transfer", nullptr},
    {2, "activateServerLog", kFalse, "Activate server logging", nullptr},
    {2, "keepServerLog", kFalse, "Keep server log after application shutdown", nullptr},
    {2, "serverLogMinPriority", Num(7), "Minimum priority for server log messages", "[ 0-8: Low-High ]"},
    {3, "SourceBookPath", kBlank, "Full path to book source", kDirectory},
    {3, "TargetKXQPath", kBlank, "Full path to KXQ target", kDirectory},
    {3, "TargetPDFPath", kBlank, "Full path to PDF target", kDirectory},
    {3, "SourceKXQPath", kBlank, "Full path to KXQ source", kDirectory},
    {3, "TargetBookPath", kBlank, "Full path to book target", kDirectory},
    {3, "BatchFilePath", kBlank, "Full path to batch file", kDirectory},
    {3, "TemporaryPath", kBlank, "Full path to temporary", kDirectory},
    {3, "LogPath", kBlank, "Full path to log", kDirectory},
    {3, "ServerAlivePath", kBlank, "Full path to 'ServerAlive' synchronization file", kDirectory},
};

const KeyInfo* Info(int id) { return id >= 0 && id < SettingsKey::Count ? &kKeys[id] : nullptr; }

bool IsPathKey(int id) { return id >= SettingsKey::SourceBookPath && id <= SettingsKey::ServerAlivePath; }

int32_t Within(int32_t value, int32_t low, int32_t high, int32_t otherwise) {
  return value >= low && value <= high ? value : otherwise;
}

// Asks the host for `relativeName` resolved against the host application's
// folder: a file object set to that folder, the name resolved against it,
// and the full path of the location it then names.  The name string and the
// file object are given back on every path (a failure to give them back is
// logged and keeps the path found); "" when any other host step failed.
// A name inside a folder the application's folder does not hold is not
// there (-120 from the spec): "" as well, but an expected answer, so not
// logged as a failure.
std::string HostApplicationPath(const std::string& relativeName) {
  const HostLink& link = XT();
  if (link.files == nullptr || link.qsb1 == nullptr) return std::string();
  XTString name = 0;
  XTFile file = 0;
  XTFileSpec spec{};
  std::string path;
  int32_t result = NewHostString(relativeName, &name);
  if (result == kXTOk) result = HostCall("new_file", link.files->new_file(&file));
  if (result == kXTOk) result = HostCall("application_folder", link.files->application_folder(file));
  if (result == kXTOk) result = HostCall("resolve_name", link.files->resolve_name(file, name));
  if (result == kXTOk) {
    result = link.files->file_spec(file, &spec);
    if (result != kXTErrNoFolder) HostCall("file_spec", result);
  }
  if (result == kXTOk) result = FSSpecToPath(path, spec);
  if (name != 0) CleanUp("dispose_string", link.qsb1->dispose_string(name));
  if (file != 0) CleanUp("dispose_file", link.files->dispose_file(file));
  return result == kXTOk ? path : std::string();
}

ApplicationPathResolver g_resolver = nullptr;  // null: HostApplicationPath

// The process-wide store, and whether it is gone (at unload the program log
// may still ask for its minimum priority).
bool g_instanceGone = false;

struct InstanceHolder {
  Settings store{Settings::kNotLoaded};
  ~InstanceHolder() { g_instanceGone = true; }
};

LogPrioritySetting SettingsLogPriority() {
  if (g_instanceGone) return LogPrioritySetting{7, false};
  Settings& store = Settings::Instance();
  return LogPrioritySetting{store.GetServerLogMinPriority(), store.IsLoaded()};
}

// The program log takes its minimum priority from this store from the start.
struct PriorityRegistrar {
  PriorityRegistrar() { SetLogPriorityProvider(&SettingsLogPriority); }
} g_priorityRegistrar;

}  // namespace

ApplicationPathResolver SetApplicationPathResolver(ApplicationPathResolver resolver) {
  ApplicationPathResolver previous = g_resolver ? g_resolver : &HostApplicationPath;
  g_resolver = resolver;
  return previous;
}

std::string ResolveApplicationPath(const std::string& relativeName) {
  return (g_resolver ? g_resolver : &HostApplicationPath)(relativeName);
}

Settings::Settings() { Load(std::string(), false); }

Settings::Settings(NotLoadedTag) {}

Settings& Settings::Instance() {
  static InstanceHolder holder;
  return holder.store;
}

bool Settings::Load(const std::string& path, bool resetToDefaults) {
  loaded_ = ini_.Load(path.empty() ? GetSettingsFilePath() : path);
  if (loaded_ && resetToDefaults) return ResetToDefaults();
  return loaded_;
}

std::string Settings::GetSettingsFilePath() {
  const std::string relative = std::string("XTensions") + kPathSeparator + "brenix.ini";
  return ResolveApplicationPath(relative);
}

std::string Settings::GetSectionName(int id) {
  const KeyInfo* info = Info(id);
  return info ? SettingsSections[info->section] : "";
}

std::string Settings::GetKeyName(int id) {
  const KeyInfo* info = Info(id);
  return info ? info->name : "";
}

std::string Settings::GetDefault(int id) {
  const KeyInfo* info = Info(id);
  return info ? SettingsValueWords[info->defaultWord] : "";
}

std::string Settings::GetComment(int id) {
  const KeyInfo* info = Info(id);
  if (!info) return std::string();
  return SettingsCommentLine(info->label, info->range ? info->range : "[ True | False ]");
}

int Settings::GetSectionIndex(int id) {
  const KeyInfo* info = Info(id);
  return info ? info->section : -1;
}

int Settings::GetDefaultWordIndex(int id) {
  const KeyInfo* info = Info(id);
  return info ? info->defaultWord : -1;
}

bool Settings::IsKeyInFile(int id) {
  return loaded_ && Info(id) && ini_.KeyExists(GetKeyName(id), GetSectionName(id));
}

std::string Settings::GetValue(int id) {
  if (IsKeyInFile(id)) return ini_.GetValue(GetKeyName(id), GetSectionName(id));
  return GetDefault(id);
}

std::string Settings::MisplacedIn(int id, std::string* value) {
  if (!loaded_ || !Info(id)) return std::string();
  for (const char* section : SettingsSections) {
    if (section != GetSectionName(id) && ini_.KeyExists(GetKeyName(id), section)) {
      *value = TrimmedValue(ini_.GetValue(GetKeyName(id), section));
      return section;
    }
  }
  return std::string();
}

bool Settings::IsDefault(int id) {
  const std::string value = GetValue(id);
  return value.empty() || value == GetDefault(id);
}

bool Settings::GetBool(int id) {
  if (IsKeyInFile(id)) return ReadBoolValue(GetValue(id));
  return GetDefaultWordIndex(id) == kTrue;
}

int32_t Settings::GetNumber(int id) { return ReadNumberValue(GetValue(id)); }

int32_t Settings::GetTempBoxMaximizeMode() { return Within(GetNumber(SettingsKey::tempBoxMaximizeMode), 0, 2, 1); }

int32_t Settings::GetAutoOverwriteSource() { return Within(GetNumber(SettingsKey::autoOverwriteSource), 0, 2, 0); }

int32_t Settings::GetPdfOutputStyle() { return Within(GetNumber(SettingsKey::pdfOutputStyle), 0, 3, 2); }

int32_t Settings::GetMasterPageMode() { return Within(GetNumber(SettingsKey::masterPageMode), 0, 1, 1); }

int32_t Settings::GetMasterPageLogMode() { return Within(GetNumber(SettingsKey::masterPageLogMode), 0, 5, 0); }

int32_t Settings::GetTestMode() {
  const int32_t value = GetNumber(SettingsKey::testMode);
  return value & 3 ? value : 0;
}

int32_t Settings::GetListenPort() { return GetNumber(SettingsKey::listenPort); }

int32_t Settings::GetServerLogMinPriority() {
  const int32_t value = GetNumber(SettingsKey::serverLogMinPriority);
  if (value < 0) return -1;
  return value > 8 ? 8 : value;
}

std::string Settings::GetPath(int id) {
  if (!IsPathKey(id)) return std::string();
  return TrimmedValue(GetValue(id));
}

bool Settings::SetValue(int id, const std::string& value, bool createKeys, bool save) {
  if (!Info(id)) return false;
  return StoreIniValue(ini_, GetValue(id), GetSectionName(id), GetKeyName(id), value, GetComment(id), createKeys,
                       save);
}

bool Settings::SetValueAndSave(int id, const std::string& value, bool createKeys, bool save) {
  // BatchFilePath is changed only by editing the file.
  if (!IsPathKey(id) || id == SettingsKey::BatchFilePath) return false;
  return SetValue(id, value, createKeys, save);
}

bool Settings::ResetToDefaults() {
  bool all = true;
  for (int id = 0; id < SettingsKey::Count; ++id) {
    if (!SetValue(id, GetDefault(id), true, true)) all = false;
  }
  return all;
}
