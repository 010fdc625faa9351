// What a launcher meets: alerts and dialogs suppressed into the log in
// batch and server mode (and shown in interactive mode), idle time without
// server mode, a batch job carried out step by step, and the plug-in object
// built and torn down cleanly.  The server's runs: ui_server_test.cc.
#include <gtest/gtest.h>

#include "ui_run_util.h"

namespace {

using namespace ui_run;

const char kModes[] = "\nExtended mode:\tOFF\n\nServer mode:\tOFF\n";
const char kServerModes[] = "\nExtended mode:\tOFF\n\nServer mode:\tON\n";
// What the export to Solvane of a file that is no document leaves in the
// log when nobody is there to see it.
const char kSuppressed[] = "\nSUPPRESSED MESSAGE BOX:\tUnable to open the file: '\tbad.qxp\t'\t\n";

// The export to Solvane of "bad.qxp", which is no document.
HostRun ExportBadFile(const Installation& install) {
  WriteFile(install.root() / "bad.qxp", "not a document");
  return RunHost(install, {"--answer", "bad.qxp", "start", "menu", "Export to Solvane"});
}

// The folder conversions' notice, suppressed.
const char kFinished[] = "\nSUPPRESSED MESSAGE BOX:\tConversion finished.\t\t\t\n";

TEST(Suppression, InteractiveModeShowsTheAlertWithItsTexts) {
  Installation install;
  const HostRun run = ExportBadFile(install);
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"alert", "dialog 1 text"}),
            (std::vector<std::string>{
                "alert texts \"Unable to open the file: '\" \"bad.qxp\" \"'\" \"\"",
                "alert 512 \"Unable to open the file: 'bad.qxp'\" \"\"",
                "alert no answer left: default \"OK\"", "alert texts \"\" \"\" \"\" \"\""}));
  EXPECT_EQ(run.log.find("SUPPRESSED"), std::string::npos);
}

TEST(Suppression, BatchModeWritesAlertAndDialogToTheLog) {
  Installation install;
  install.RaiseBatchFlag();
  const HostRun run = ExportBadFile(install);
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(run.log, std::string(kModes) + kSuppressed);
  // Nothing is shown; the beep still sounds.
  EXPECT_TRUE(Only(run, {"alert", "dialog"}).empty());
  EXPECT_EQ(Only(run, {"beep"}), (std::vector<std::string>{"beep 0"}));
  // The flag was this run's: it is cleared as the plug-in object ends.
  EXPECT_FALSE(fs::exists(install.BatchFlagKey()));
  EXPECT_TRUE(fs::exists(install.BatchFlagKey().parent_path()));
}

TEST(Suppression, ServerModeWritesAlertAndDialogToTheLog) {
  Installation install;
  install.WriteSettings("[Server]\nserverMode = True\n");
  const HostRun run = ExportBadFile(install);
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(run.log, std::string(kServerModes) + "\nServer mode is on (serverMode = True in brenix.ini): the menu "
                     "command has no target and does nothing\n" + kSuppressed);
  EXPECT_TRUE(Only(run, {"alert", "dialog"}).empty());
}

TEST(Suppression, ABatchFlagClaimedByAnotherRunIsNotThisRuns) {
  Installation install;
  install.RaiseBatchFlag();
  // The value another instance wrote when it claimed the flag.
  std::string value("\x01\x00\x00\x00Started", 11);
  value.push_back('\0');
  WriteFile(install.BatchFlagKey() / "\\Brenix", value);
  const HostRun run = ExportBadFile(install);
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(run.log.find("SUPPRESSED"), std::string::npos) << run.log;
  EXPECT_EQ(Only(run, {"alert 512"}).size(), 1u);
  EXPECT_TRUE(fs::exists(install.BatchFlagKey()));
}

TEST(Server, WithoutServerModeIdleTimeRunsNothing) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "idle", "3"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(run.log, kModes);
  EXPECT_EQ(run.errors.find("Server DOWN"), std::string::npos);
}

class BatchJob : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(install_.root() / "batch");
    fs::create_directories(install_.root() / "in");
    fs::create_directories(install_.root() / "out");
    install_.WriteSettings("[Path]\nBatchFilePath = " + Job().string() + "\n");
  }
  fs::path Job() const { return install_.root() / "batch" / "job.ini"; }
  void WriteJob(const std::string& general) const {
    WriteFile(Job(), "[General]\n" + general + "[Path]\nSource = " +
                        (install_.root() / "in").string() + "\nTarget = " +
                        (install_.root() / "out").string() + "\n");
  }
  // The stamped copies a finished job leaves.
  std::vector<fs::path> Copies() const {
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(install_.root() / "batch")) {
      if (entry.path().filename().string().rfind("job.ini_", 0) == 0) copies.push_back(entry.path());
    }
    return copies;
  }

  Installation install_;
};

TEST_F(BatchJob, BeginsRunsItsStepEndsAndQuits) {
  WriteJob("Mode = Export\n");
  const HostRun run = RunHost(install_, {"start", "idle", "4", "quit"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  // The source folder is empty: nothing to list, the notice all the same.
  EXPECT_EQ(run.log, std::string(kModes) + kFinished);
  // The step on the first idle call, the quit request on the second (the
  // control file did not ask to wait for the next one).
  // The step clears the alert texts as a folder conversion ends.
  EXPECT_EQ(Only(run, {"idle", "quit", "alert", "dialog"}),
            (std::vector<std::string>{"idle 4", "alert texts \"\" \"\" \"\" \"\"", "quit requested",
                                      "idle stopped: quit requested", "quit"}));
  EXPECT_FALSE(fs::exists(Job()));
  const std::vector<fs::path> copies = Copies();
  ASSERT_EQ(copies.size(), 1u);
  const std::string copy = ReadFile(copies[0]);
  EXPECT_NE(copy.find("Active=False"), std::string::npos) << copy;
  EXPECT_NE(copy.find("Mode= Export"), std::string::npos) << copy;
}

TEST_F(BatchJob, ImportRunsTheImportStep) {
  WriteJob("Mode = Import\n");
  const HostRun run = RunHost(install_, {"start", "idle", "2"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(run.log, std::string(kModes) + kFinished);
  EXPECT_EQ(Copies().size(), 1u);
}

TEST_F(BatchJob, WaitingForTheNextControlFileNeverQuits) {
  WriteJob("Mode = Export\nWaitOnIdle = True\n");
  const HostRun run = RunHost(install_, {"start", "idle", "5"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Count(run.log, kFinished), 1u);
  EXPECT_TRUE(Only(run, {"quit requested"}).empty());
  EXPECT_EQ(Copies().size(), 1u);
}

TEST_F(BatchJob, AFileWithoutAJobQuitsAtOnce) {
  WriteJob("Mode = Done\n");
  const HostRun run = RunHost(install_, {"start", "idle", "3"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  // The folder exists, so idle time is watched; with no job seen at the
  // first call nothing runs, not even the quit request.
  EXPECT_EQ(run.log, kModes);
  EXPECT_TRUE(Only(run, {"quit requested"}).empty());
  EXPECT_TRUE(fs::exists(Job()));
}

// A control file that runs no job says so once in the program log, naming
// the file and why, however many idle calls follow.  Each case: the
// settings' BatchFilePath line ("" for the usual), the control file, the
// file named, why.
TEST_F(BatchJob, AControlFileThatRunsNothingSaysWhyOnce) {
  const std::string job = Job().string(), gone = (install_.root() / "gone").string();
  const std::string in = "[Path]\nSource = " + (install_.root() / "in").string() + "\n", to = "Target = /tmp\n";
  const std::string exporting = "[General]\nMode = Export\n" + in + to;
  const std::vector<std::vector<std::string>> cases = {
      {"", "[General]\nMode = Exprot\n" + in + to, job, "its Mode \"Exprot\" is none of None, Export, Import and Done"},
      {"", "[General]\nMdoe = Export\n" + in + to, job, "it has no Mode in section [General]"},
      {"", "[General]\nMode = Export\n[Path]\n" + to, job, "its Source is not set"},
      {"", "[General]\nMode = Export\n" + in, job, "it sets neither Target nor PdfDir"},
      {"", "[General]\nMode = Import\n" + in, job, "its Target is not set"},
      {"[Options]\nBatchFilePath = " + job, exporting, job,
       "the settings key BatchFilePath is in section [Options], not [Path]"},
      {"[Path]\nBatchFilePath = batch/jb.ini", exporting, "batch/jb.ini",
       "its path is not absolute, and no file is at \"" + (install_.root() / "batch/jb.ini").string() + "\""},
      {"[Path]\nBatchFilePath = " + gone + "/job.ini", "", gone + "/job.ini",
       "its folder \"" + gone + "\" does not exist"}};
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c[3]);
    install_.WriteSettings((c[0].empty() ? "[Path]\nBatchFilePath = " + job : c[0]) + "\n");
    WriteFile(Job(), c[1]);
    const HostRun run = RunHost(install_, {"start", "idle", "5"});
    ASSERT_TRUE(Clean(run)) << run.errors;
    EXPECT_EQ(Count(run.log, "Batch control file \"" + c[2] + "\" not run: " + c[3] + "\n"), 1u) << run.log;
    EXPECT_EQ(Count(run.log, "Batch control file"), 1u) << run.log;
  }
}

TEST(PluginObject, BuildsAndEndsCleanlyAndClearsItsBatchFlag) {
  Installation install;
  install.RaiseBatchFlag();
  const HostRun run = RunHost(install, {"start", "idle", "2", "quit"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_TRUE(EndedWithNothingAllocated(run)) << run.errors;
  EXPECT_EQ(run.transcript.back(), kNoHandles);
  EXPECT_TRUE(Only(run, {"ui left"}).empty());
  EXPECT_FALSE(fs::exists(install.BatchFlagKey()));
}

TEST(PluginObject, WithoutTheFlagTheRegistryKeepsNothingOfTheRun) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "quit"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_FALSE(fs::exists(install.BatchFlagKey()));
}

}  // namespace
