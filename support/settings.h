// The settings store: the typed view of the plug-in's settings file
// "brenix.ini" in the host application's "XTensions" folder.
//
// A fixed table of 36 numbered keys, each with its section, name, default
// and comment line, over one ini file.  Until the file has loaded every key
// reads as its default.  Typed reads ignore the white space around a value,
// limit numbers to their ranges and read an unset path as "".  Setting a
// key writes it with its comment line and saves the file at once; a missing
// settings file is never created.  Host thread only.
//
// The process-wide store is Settings::Instance(); it also supplies the
// program log's minimum priority (serverLogMinPriority, settled once the
// store has loaded).
#pragma once

#include <cstdint>
#include <string>

#include "support/data_file.h"

// Key ids 0 to 35.
struct SettingsKey {
  enum : int {
    AutomaticResizeOfFrames = 0,
    TestStyleOfParagraph,
    SetUniqueID,
    SkipProcessHidden,
    extendedInterface,
    recursiveDirScan,
    addMenuItemExportCoords,
    addMenuItemExportKrm,
    fileTypeGuidedSelection,
    useObsoleteCopyText,
    tempBoxMaximizeMode,
    mapSourceFoldersToTarget,
    includeSourceFolderInTarget,
    autoOverwriteSource,
    pdfOutputStyle,
    masterPageMode,
    masterPageLogMode,
    testMode,
    serverMode,
    listenPort,
    maxDocOpen,
    socketTransferMode,
    sockXferCanCompress,
    clearTempFiles,
    activateServerLog,
    keepServerLog,
    serverLogMinPriority,
    SourceBookPath,
    TargetKXQPath,
    TargetPDFPath,
    SourceKXQPath,
    TargetBookPath,
    BatchFilePath,
    TemporaryPath,
    LogPath,
    ServerAlivePath,
    Count
  };
};

// Section names by index: "QUARK", "Options", "Server", "Path".
extern const char* const SettingsSections[4];
// The value words the defaults are taken from: "", " ", "None", "0" to
// "10", "True", "False", "".
extern const char* const SettingsValueWords[17];

// Resolves a name relative to the host application's folder to a full path;
// the empty text when the host cannot tell.
using ApplicationPathResolver = std::string (*)(const std::string& relativeName);
// Replaces the resolver (null restores the host's) and returns the previous
// one.  The host's resolver asks the host's file services.
ApplicationPathResolver SetApplicationPathResolver(ApplicationPathResolver resolver);
// `relativeName` resolved by the present resolver.
std::string ResolveApplicationPath(const std::string& relativeName);

class Settings {
 public:
  enum NotLoadedTag { kNotLoaded };

  // A store that loads the settings file at once (Load("", false)).
  Settings();
  // An empty store that has loaded nothing: every key reads its default.
  explicit Settings(NotLoadedTag);
  // The ini file saves itself when it holds unsaved changes.
  ~Settings() = default;
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  // The process-wide store: built empty and not loaded on first use.
  static Settings& Instance();

  // Loads the file at `path` (empty: GetSettingsFilePath()) into what the
  // store holds.  With `resetToDefaults` and a successful load, the result
  // is ResetToDefaults(); otherwise whether the file loaded.
  bool Load(const std::string& path, bool resetToDefaults);
  bool IsLoaded() const { return loaded_; }
  // "XTensions/brenix.ini" resolved against the host application's folder;
  // empty when the host cannot give it.
  static std::string GetSettingsFilePath();

  // Per key id; an id outside 0 to 35 gives empty texts and -1.
  static std::string GetSectionName(int id);
  static std::string GetKeyName(int id);
  static std::string GetDefault(int id);
  static std::string GetComment(int id);
  static int GetSectionIndex(int id);
  static int GetDefaultWordIndex(int id);

  // Whether the loaded file holds the key in its section (names compared
  // without regard to case); false until loaded.
  bool IsKeyInFile(int id);
  // The value as stored when the key is in the file, else the default.
  std::string GetValue(int id);
  // The first other section of the four (SettingsSections) that holds the
  // key's name, where it is not read, and the value there in *value; ""
  // when none does.
  std::string MisplacedIn(int id, std::string* value);
  // True when GetValue is empty or equals the default exactly.
  bool IsDefault(int id);

  bool IsAutomaticResizeOfFrames() { return GetBool(SettingsKey::AutomaticResizeOfFrames); }
  bool IsTestStyleOfParagraph() { return GetBool(SettingsKey::TestStyleOfParagraph); }
  bool IsSetUniqueID() { return GetBool(SettingsKey::SetUniqueID); }
  bool IsSkipProcessHidden() { return GetBool(SettingsKey::SkipProcessHidden); }
  bool IsExtendedInterface() { return GetBool(SettingsKey::extendedInterface); }
  bool IsRecursiveDirScan() { return GetBool(SettingsKey::recursiveDirScan); }
  bool IsAddMenuItemExportCoords() { return GetBool(SettingsKey::addMenuItemExportCoords); }
  bool IsAddMenuItemExportKrm() { return GetBool(SettingsKey::addMenuItemExportKrm); }
  bool IsUseObsoleteCopyText() { return GetBool(SettingsKey::useObsoleteCopyText); }
  bool IsMapSourceFoldersToTarget() { return GetBool(SettingsKey::mapSourceFoldersToTarget); }
  bool IsIncludeSourceFolderInTarget() { return GetBool(SettingsKey::includeSourceFolderInTarget); }
  bool IsServerMode() { return GetBool(SettingsKey::serverMode); }
  bool IsSocketTransferMode() { return GetBool(SettingsKey::socketTransferMode); }
  bool IsSockXferCanCompress() { return GetBool(SettingsKey::sockXferCanCompress); }
  bool IsClearTempFiles() { return GetBool(SettingsKey::clearTempFiles); }
  bool IsActivateServerLog() { return GetBool(SettingsKey::activateServerLog); }
  bool IsKeepServerLog() { return GetBool(SettingsKey::keepServerLog); }

  // 0 Never, 1 Hidden, 2 Always; anything else 1.
  int32_t GetTempBoxMaximizeMode();
  // 0 Ask, 1 Ask once, 2 Auto; anything else 0 (never overwrite unasked).
  int32_t GetAutoOverwriteSource();
  // 0 to 3; anything else 2.
  int32_t GetPdfOutputStyle();
  // 0 or 1; anything else 1.
  int32_t GetMasterPageMode();
  // 0 to 5; anything else 0.
  int32_t GetMasterPageLogMode();
  // A bit set: the value when bit 0 or bit 1 is set, else 0.
  int32_t GetTestMode();
  // Any value.
  int32_t GetListenPort();
  // 0 to 8; below 0 gives -1, above 8 gives 8.
  int32_t GetServerLogMinPriority();
  // For keys 27 to 35 the trimmed value, "" when unset (the default " " or
  // empty); "" for every other key.
  std::string GetPath(int id);

  // Sets a key (see StoreIniValue): unchanged values write nothing; the
  // create-keys flag stays as given; with `save` the file is saved.
  bool SetValue(int id, const std::string& value, bool createKeys, bool save);
  // SetValue for the path keys 27 to 31 and 33 to 35; false, changing
  // nothing, for BatchFilePath (32) and every other key.
  bool SetValueAndSave(int id, const std::string& value, bool createKeys, bool save);
  // Every key set to its default and saved, in key order; true when all
  // succeeded (a failure does not stop the others).
  bool ResetToDefaults();

 private:
  bool GetBool(int id);
  int32_t GetNumber(int id);

  CDataFile ini_;
  bool loaded_ = false;
};
