#include "support/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/program_log.h"
#include "tests/common/app_folder.h"
#include "tests/common/files.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// The settings file after every key was set, in key order, to a value other
// than its default, written out by hand from the key table: each section
// once, in the order its first key came; sockXferCanCompress under Options.
const char kGoldenIni[] =
R"ini(
[QUARK]

; Automatic resizing of frames                      [ True | False ]
AutomaticResizeOfFrames=True

; Testing style of paragraphs                       [ True | False ]
TestStyleOfParagraph=False

; Setting unique IDs                                [ True | False ]
SetUniqueID=True

; Skip processing hidden content                    [ True | False ]
SkipProcessHidden=True

[Options]

; Extending interface                               [ True | False ]
extendedInterface=True

; Scanning directories recursively                  [ True | False ]
recursiveDirScan=True

; Add menu item for export of coordinates           [ True | False ]
addMenuItemExportCoords=True

; Add menu item for export of XTags                 [ True | False ]
addMenuItemExportKrm=True

; Enable only suitable files for selection (-> Mac) [ True | False ]
fileTypeGuidedSelection=True

; Use obsolete copy text functionality              [ True | False ]
useObsoleteCopyText=False

; Temporarily maximize boxes                        [ 0: Never | 1: Hidden | 2: Always ]
tempBoxMaximizeMode=2

; Map source folder hierarchy to target             [ True | False ]
mapSourceFoldersToTarget=False

; Include source folder in target (as root)         [ True | False ]
includeSourceFolderInTarget=True

; Overwrite source file (if required)               [ 0: Ask | 1: Ask once | 2: Auto ]
autoOverwriteSource=1

; PDF output quality                                [ 0: Default | 1-3: High|Medium|Low ]
pdfOutputStyle=3

; Masterpage mode                                   [ 0: Obsolete | 1: Consider autotext ]
masterPageMode=0

; Masterpage log mode (only if masterPageMode == 1) [ 0: Off | 1-5: Increasing details ]
masterPageLogMode=4

; Test mode                                         < number >
testMode=1

; Socket file transfer can use compression          [ True | False ]
sockXferCanCompress=False

[Server]

; Run Quark in server mode                          [ True | False ]
serverMode=True

; Server listen port                                < number >
listenPort=9100

; Max. documents allowed to be simultaneously open  < number >
maxDocOpen=5

; Use socket file transfer (otherwise: shared mode) [ True | False ]
socketTransferMode=False

; Clear temporary files after socket file transfer  [ True | False ]
clearTempFiles=False

; Activate server logging                           [ True | False ]
activateServerLog=True

; Keep server log after application shutdown        [ True | False ]
keepServerLog=True

; Minimum priority for server log messages          [ 0-8: Low-High ]
serverLogMinPriority=3

[Path]

; Full path to book source                          < directory >
SourceBookPath=/data/SourceBookPath

; Full path to KXQ target                           < directory >
TargetKXQPath=/data/TargetKXQPath

; Full path to PDF target                           < directory >
TargetPDFPath=/data/TargetPDFPath

; Full path to KXQ source                           < directory >
SourceKXQPath=/data/SourceKXQPath

; Full path to book target                          < directory >
TargetBookPath=/data/TargetBookPath

; Full path to batch file                           < directory >
BatchFilePath=/data/BatchFilePath

; Full path to temporary                            < directory >
TemporaryPath=/data/TemporaryPath

; Full path to log                                  < directory >
LogPath=/data/LogPath

; Full path to 'ServerAlive' synchronization file   < directory >
ServerAlivePath=/data/ServerAlivePath
)ini";

// The value the golden file holds for each key.
std::string NonDefault(int id) {
  const std::string def = Settings::GetDefault(id);
  if (def == "True") return "False";
  if (def == "False") return "True";
  if (def == " ") return "/data/" + Settings::GetKeyName(id);
  const std::string name = Settings::GetKeyName(id);
  if (name == "tempBoxMaximizeMode") return "2";
  if (name == "autoOverwriteSource") return "1";
  if (name == "pdfOutputStyle") return "3";
  if (name == "masterPageMode") return "0";
  if (name == "masterPageLogMode") return "4";
  if (name == "testMode") return "1";
  if (name == "listenPort") return "9100";
  if (name == "maxDocOpen") return "5";
  if (name == "serverLogMinPriority") return "3";
  ADD_FAILURE() << "no value for " << name;
  return "";
}

class SettingsTest : public testing::Test {
 protected:
  std::string IniPath() const { return app_.File("XTensions/brenix.ini"); }
  void WriteIni(const std::string& text) const { testutil::WriteFile(IniPath(), text); }
  std::string ReadIni() const { return testutil::ReadFile(IniPath()); }
  bool IniExists() const { return testutil::Exists(IniPath()); }

  const testutil::AppFolder app_;
};

TEST_F(SettingsTest, TheFileIsAskedForByItsNameInTheApplicationFolder) {
  EXPECT_EQ(Settings::GetSettingsFilePath(), IniPath());
  EXPECT_EQ(testutil::AppFolder::LastAsked(), "XTensions/brenix.ini");
  // Without a host to ask, there is no path and nothing loads.
  SetApplicationPathResolver(nullptr);
  EXPECT_EQ(Settings::GetSettingsFilePath(), "");
}

TEST_F(SettingsTest, EveryKeySetInOrderGivesTheGoldenFile) {
  WriteIni("");
  Settings store(Settings::kNotLoaded);
  ASSERT_TRUE(store.Load("", false));
  for (int id = 0; id < SettingsKey::Count; ++id) {
    EXPECT_TRUE(store.IsDefault(id)) << id;
    EXPECT_TRUE(store.SetValue(id, NonDefault(id), true, true)) << id;
  }
  EXPECT_EQ(ReadIni(), kGoldenIni);

  Settings reread;
  ASSERT_TRUE(reread.IsLoaded());
  for (int id = 0; id < SettingsKey::Count; ++id) {
    EXPECT_TRUE(reread.IsKeyInFile(id)) << id;
    EXPECT_EQ(reread.GetValue(id), NonDefault(id)) << id;
    EXPECT_FALSE(reread.IsDefault(id)) << id;
  }
  EXPECT_EQ(reread.GetPath(SettingsKey::LogPath), "/data/LogPath");
  EXPECT_FALSE(reread.IsTestStyleOfParagraph());
  EXPECT_TRUE(reread.IsServerMode());
  EXPECT_EQ(reread.GetServerLogMinPriority(), 3);
}

TEST_F(SettingsTest, KeyTableLookups) {
  EXPECT_EQ(Settings::GetComment(0), "Automatic resizing of frames" + std::string(22, ' ') + "[ True | False ]");
  EXPECT_EQ(Settings::GetSectionName(SettingsKey::sockXferCanCompress), "Options");
  EXPECT_EQ(Settings::GetSectionIndex(SettingsKey::listenPort), 2);
  EXPECT_EQ(Settings::GetDefaultWordIndex(SettingsKey::serverLogMinPriority), 10);  // "7"
  EXPECT_EQ(Settings::GetDefaultWordIndex(SettingsKey::useObsoleteCopyText), 14);   // "True"
  for (int id : {-1, 36}) {
    EXPECT_EQ(Settings::GetSectionName(id), "");
    EXPECT_EQ(Settings::GetKeyName(id), "");
    EXPECT_EQ(Settings::GetDefault(id), "");
    EXPECT_EQ(Settings::GetComment(id), "");
  }
  Settings store(Settings::kNotLoaded);
  EXPECT_EQ(store.GetPath(SettingsKey::listenPort), "");
  EXPECT_FALSE(store.SetValue(36, "x", true, false));
}

TEST_F(SettingsTest, WithoutAFileEveryKeyReadsItsDefaultAndNothingIsCreated) {
  CaptureStdout();
  Settings store;
  const std::string loadReport = GetCapturedStdout();
  EXPECT_FALSE(store.IsLoaded());
  EXPECT_NE(loadReport.find("[CDataFile::Load] Unable to open file. Does it exist?"), std::string::npos);
  for (int id = 0; id < SettingsKey::Count; ++id) {
    EXPECT_FALSE(store.IsKeyInFile(id));
    EXPECT_EQ(store.GetValue(id), Settings::GetDefault(id));
  }
  EXPECT_FALSE(store.IsAutomaticResizeOfFrames());
  EXPECT_TRUE(store.IsTestStyleOfParagraph());
  EXPECT_TRUE(store.IsUseObsoleteCopyText());
  EXPECT_TRUE(store.IsMapSourceFoldersToTarget());
  EXPECT_TRUE(store.IsSocketTransferMode());
  EXPECT_TRUE(store.IsSockXferCanCompress());
  EXPECT_TRUE(store.IsClearTempFiles());
  EXPECT_FALSE(store.IsServerMode());
  EXPECT_FALSE(store.IsKeepServerLog());
  EXPECT_EQ(store.GetTempBoxMaximizeMode(), 1);
  EXPECT_EQ(store.GetAutoOverwriteSource(), 0);
  EXPECT_EQ(store.GetPdfOutputStyle(), 2);
  EXPECT_EQ(store.GetMasterPageMode(), 1);
  EXPECT_EQ(store.GetMasterPageLogMode(), 0);
  EXPECT_EQ(store.GetTestMode(), 0);
  EXPECT_EQ(store.GetListenPort(), 0);
  EXPECT_EQ(store.GetServerLogMinPriority(), 7);
  // An unset path reads as "", never as a folder named " ".
  EXPECT_EQ(store.GetPath(SettingsKey::SourceBookPath), "");

  CaptureStdout();
  EXPECT_FALSE(store.SetValueAndSave(SettingsKey::SourceBookPath, "/books", true, true));
  EXPECT_NE(GetCapturedStdout().find("[CDataFile::Save] No filename has been set."), std::string::npos);
  EXPECT_EQ(store.GetPath(SettingsKey::SourceBookPath), "");
  EXPECT_FALSE(IniExists());
}

TEST_F(SettingsTest, NumbersAreLimitedAsTheTableSays) {
  using Getter = int32_t (Settings::*)();
  struct Row {
    int key;
    const char* value;
    Getter getter;
    int32_t expected;
  };
  const Row rows[] = {
      {SettingsKey::tempBoxMaximizeMode, "0", &Settings::GetTempBoxMaximizeMode, 0},
      {SettingsKey::tempBoxMaximizeMode, "2", &Settings::GetTempBoxMaximizeMode, 2},
      {SettingsKey::tempBoxMaximizeMode, "7", &Settings::GetTempBoxMaximizeMode, 1},
      {SettingsKey::tempBoxMaximizeMode, "-1", &Settings::GetTempBoxMaximizeMode, 1},
      {SettingsKey::autoOverwriteSource, "2", &Settings::GetAutoOverwriteSource, 2},
      {SettingsKey::autoOverwriteSource, "1", &Settings::GetAutoOverwriteSource, 1},
      {SettingsKey::autoOverwriteSource, "3", &Settings::GetAutoOverwriteSource, 0},
      {SettingsKey::autoOverwriteSource, "-2", &Settings::GetAutoOverwriteSource, 0},
      {SettingsKey::pdfOutputStyle, "3", &Settings::GetPdfOutputStyle, 3},
      {SettingsKey::pdfOutputStyle, "0", &Settings::GetPdfOutputStyle, 0},
      {SettingsKey::pdfOutputStyle, "9", &Settings::GetPdfOutputStyle, 2},
      {SettingsKey::pdfOutputStyle, "-1", &Settings::GetPdfOutputStyle, 2},
      {SettingsKey::masterPageMode, "0", &Settings::GetMasterPageMode, 0},
      {SettingsKey::masterPageMode, "2", &Settings::GetMasterPageMode, 1},
      {SettingsKey::masterPageMode, "-1", &Settings::GetMasterPageMode, 1},
      {SettingsKey::masterPageLogMode, "5", &Settings::GetMasterPageLogMode, 5},
      {SettingsKey::masterPageLogMode, "6", &Settings::GetMasterPageLogMode, 0},
      {SettingsKey::masterPageLogMode, "-3", &Settings::GetMasterPageLogMode, 0},
      {SettingsKey::testMode, "4", &Settings::GetTestMode, 0},
      {SettingsKey::testMode, "5", &Settings::GetTestMode, 5},
      {SettingsKey::testMode, "2", &Settings::GetTestMode, 2},
      {SettingsKey::testMode, "-1", &Settings::GetTestMode, -1},
      {SettingsKey::listenPort, "abc", &Settings::GetListenPort, 0},
      {SettingsKey::listenPort, "8226x", &Settings::GetListenPort, 8226},
      {SettingsKey::listenPort, "-70000", &Settings::GetListenPort, -70000},
      {SettingsKey::listenPort, "99999999999", &Settings::GetListenPort, INT32_MAX},
      {SettingsKey::listenPort, "-99999999999", &Settings::GetListenPort, INT32_MIN},
      {SettingsKey::serverLogMinPriority, "0", &Settings::GetServerLogMinPriority, 0},
      {SettingsKey::serverLogMinPriority, "8", &Settings::GetServerLogMinPriority, 8},
      {SettingsKey::serverLogMinPriority, "-5", &Settings::GetServerLogMinPriority, -1},
      {SettingsKey::serverLogMinPriority, "12", &Settings::GetServerLogMinPriority, 8},
      {SettingsKey::serverLogMinPriority, "x", &Settings::GetServerLogMinPriority, 0},
  };
  for (const Row& row : rows) {
    const std::string key = Settings::GetKeyName(row.key);
    // Blanks around the value are read past.
    for (const std::string& line : {key + "=" + row.value, key + " =  " + row.value + " \t"}) {
      WriteIni("[" + Settings::GetSectionName(row.key) + "]\n" + line + "\n");
      Settings store;
      EXPECT_EQ((store.*row.getter)(), row.expected) << line;
    }
  }
}

TEST_F(SettingsTest, BoolsReadOnesTrueAndYesAroundBlanks) {
  const std::pair<const char*, bool> cases[] = {
      {"1", true},  {"yes", true},     {"TRUE", true},  {"10", true},  {"True", true},  {" True", true},
      {"no", false}, {"0", false},     {"False", false}, {"truly", false}, {"2", false},
  };
  for (const auto& c : cases) {
    WriteIni(std::string("[Server]\nserverMode=") + c.first + "  \n");
    Settings store;
    EXPECT_EQ(store.IsServerMode(), c.second) << c.first;
    EXPECT_EQ(store.GetValue(SettingsKey::serverMode), std::string(c.first)) << "the stored text stays";
  }
}

TEST_F(SettingsTest, KeysAreFoundOnlyInTheirSectionButInAnyCase) {
  WriteIni("[Options]\nserverMode=True\n");
  {
    Settings store;
    EXPECT_FALSE(store.IsKeyInFile(SettingsKey::serverMode));
    EXPECT_FALSE(store.IsServerMode());
  }
  WriteIni("[server]\nSERVERMODE=True\n");
  Settings store;
  EXPECT_TRUE(store.IsKeyInFile(SettingsKey::serverMode));
  EXPECT_TRUE(store.IsServerMode());
}

TEST_F(SettingsTest, PathKeysReadUnsetAsEmptyAndIsDefaultFollowsTheStoredText) {
  WriteIni("[Path]\nLogPath=  /var/log/brenix  \n");
  Settings store;
  EXPECT_EQ(store.GetPath(SettingsKey::LogPath), "/var/log/brenix");
  EXPECT_TRUE(store.IsDefault(SettingsKey::TemporaryPath));  // missing
  ASSERT_TRUE(store.SetValue(SettingsKey::TemporaryPath, "/tmp/work", true, true));
  EXPECT_FALSE(store.IsDefault(SettingsKey::TemporaryPath));
  ASSERT_TRUE(store.SetValue(SettingsKey::TemporaryPath, " ", true, true));
  EXPECT_TRUE(store.IsDefault(SettingsKey::TemporaryPath));
  EXPECT_EQ(store.GetPath(SettingsKey::TemporaryPath), "");
  ASSERT_TRUE(store.SetValue(SettingsKey::TemporaryPath, "", true, true));
  EXPECT_TRUE(store.IsDefault(SettingsKey::TemporaryPath));
  EXPECT_EQ(store.GetPath(SettingsKey::TemporaryPath), "");
}

TEST_F(SettingsTest, SettingWhatAKeyReadsWritesNothing) {
  const std::string original = "[Server]\nlistenPort=12\n";
  WriteIni(original);
  Settings store;
  EXPECT_TRUE(store.SetValue(SettingsKey::serverMode, "False", true, true));  // absent, reads its default
  EXPECT_TRUE(store.SetValue(SettingsKey::testMode, "0", true, true));
  EXPECT_EQ(ReadIni(), original);
  // Without create-keys a missing key is not added; a present one changes.
  EXPECT_FALSE(store.SetValue(SettingsKey::serverMode, "True", false, true));
  EXPECT_EQ(ReadIni(), original);
  EXPECT_TRUE(store.SetValue(SettingsKey::listenPort, "13", false, true));
  EXPECT_EQ(store.GetListenPort(), 13);
}

TEST_F(SettingsTest, SetValueAndSaveTakesOnlyThePathKeysButBatchFilePath) {
  WriteIni("[Path]\nBatchFilePath=/jobs/ctrl.ini\n");
  Settings store;
  const std::string before = ReadIni();
  EXPECT_FALSE(store.SetValueAndSave(SettingsKey::BatchFilePath, "/other.ini", true, true));
  EXPECT_FALSE(store.SetValueAndSave(SettingsKey::serverMode, "True", true, true));
  EXPECT_EQ(ReadIni(), before);
  EXPECT_EQ(store.GetPath(SettingsKey::BatchFilePath), "/jobs/ctrl.ini");
  EXPECT_TRUE(store.SetValueAndSave(SettingsKey::TargetKXQPath, "/kxq", true, true));
  Settings reread;
  EXPECT_EQ(reread.GetPath(SettingsKey::TargetKXQPath), "/kxq");
}

TEST_F(SettingsTest, ResetToDefaultsRewritesEveryChangedKey) {
  WriteIni("[Server]\nserverMode=True\nlistenPort=9000\n[Path]\nLogPath=/logs\n");
  Settings store(Settings::kNotLoaded);
  ASSERT_TRUE(store.Load(IniPath(), true));
  Settings reread;
  EXPECT_FALSE(reread.IsServerMode());
  EXPECT_EQ(reread.GetListenPort(), 0);
  EXPECT_EQ(reread.GetPath(SettingsKey::LogPath), "");
  for (int id = 0; id < SettingsKey::Count; ++id) EXPECT_TRUE(reread.IsDefault(id)) << id;
  EXPECT_NE(ReadIni().find("serverMode=False"), std::string::npos);
}

TEST_F(SettingsTest, TheProgramLogTakesItsMinimumPriorityOnceTheStoreHasLoaded) {
  struct Recorder : ServerLogSink {
    std::vector<std::string> messages;
    void WriteRecord(const std::string&, const std::string& message) override { messages.push_back(message); }
  } recorder;
  SetCurrentServerLog(&recorder);
  testing::internal::CaptureStderr();
  LogMessage("loc", "before", 6);  // the default minimum is 7
  WriteIni("[Server]\nserverLogMinPriority=3\n");
  ASSERT_TRUE(Settings::Instance().Load("", false));
  LogMessage("loc", "after", 3);
  LogMessage("loc", "below", 2);
  testing::internal::GetCapturedStderr();
  SetCurrentServerLog(nullptr);
  EXPECT_EQ(recorder.messages, std::vector<std::string>{"after"});
}

}  // namespace
