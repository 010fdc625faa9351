#include "support/brenix_interface.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "support/date_time.h"
#include "support/object_tracker.h"
#include "support/program_log.h"
#include "support/settings.h"
#include "tests/common/files.h"
#include "tests/common/pinned_clock.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::Entries;
using testutil::IsDirectory;
using testutil::ReadFile;

// The program log is opened in the current folder at its first use: this
// process works in a folder of its own, so the log is this test's alone.
std::string g_logPath;

class OwnFolder : public testing::Environment {
 public:
  void SetUp() override {
    folder_.reset(new testutil::TempDir("brenix_interface_test"));
    ASSERT_EQ(chdir(folder_->path().c_str()), 0);
    g_logPath = folder_->File("BrenixLogfile.txt");
  }
  void TearDown() override { folder_.reset(); }

 private:
  std::unique_ptr<testutil::TempDir> folder_;
};
testing::Environment* const g_ownFolder = testing::AddGlobalTestEnvironment(new OwnFolder);

DateTime g_now;
DateTime TestClock() { return g_now; }

class BrenixInterfaceTest : public testing::Test {
 protected:
  void SetUp() override {
    g_now = testutil::PinnedMoment();
    previousClock_ = SetClockSource(&TestClock);
  }
  void TearDown() override { SetClockSource(previousClock_); }

  // A store loaded from a settings file holding `text`.
  std::unique_ptr<Settings> Store(const std::string& text) {
    const std::string path = dir_ + "/brenix.ini";
    testutil::WriteFile(path, text);
    std::unique_ptr<Settings> store(new Settings(Settings::kNotLoaded));
    EXPECT_TRUE(store->Load(path, false));
    return store;
  }
  std::unique_ptr<Settings> ServerLogStore(const std::string& more) {
    return Store("[Server]\nactivateServerLog=True\n" + more);
  }
  std::string Made(const std::string& folder) { return dir_ + "/" + folder; }

  // What the program log received while `step` ran.
  template <class Step>
  static std::string LoggedBy(Step step) {
    ProgramLog().flush();
    const std::size_t before = ReadFile(g_logPath).size();
    step();
    return ReadFile(g_logPath).substr(before);
  }

  const testutil::TempDir temp_{"brenix_interface_case"};
  const std::string dir_ = temp_.path();
  ClockSource previousClock_ = nullptr;
};

TEST_F(BrenixInterfaceTest, ModesAreReadOnceAndLogged) {
  auto store = Store("[Options]\nextendedInterface=True\n[Server]\nserverMode=False\n");
  std::unique_ptr<BrenixInterface> modes;
  EXPECT_EQ(LoggedBy([&] { modes.reset(new BrenixInterface(*store)); }),
            "\nExtended mode:\tON\n\nServer mode:\tOFF\n");
  EXPECT_TRUE(modes->extendedMode);
  EXPECT_FALSE(modes->serverMode);
  EXPECT_FALSE(modes->multiDocMode);
  EXPECT_EQ(LoggedBy([&] { modes->SetMultiDocMode(true); }), "\nMultiDoc mode:\tON\n");
  EXPECT_TRUE(modes->multiDocMode);
  EXPECT_EQ(LoggedBy([&] { modes->SetMultiDocMode(false); }), "\nMultiDoc mode:\tOFF\n");

  auto server = Store("[Server]\nserverMode=1\n");
  EXPECT_EQ(LoggedBy([&] { BrenixInterface other(*server); }), "\nExtended mode:\tOFF\n\nServer mode:\tON\n");
}

TEST_F(BrenixInterfaceTest, TheProcessObjectTakesTheDefaultsOfAnUnloadedStore) {
  BrenixInterface* first = nullptr;
  EXPECT_EQ(LoggedBy([&] { first = BrenixInterface::Instance(); }), "\nExtended mode:\tOFF\n\nServer mode:\tOFF\n");
  EXPECT_EQ(LoggedBy([&] { EXPECT_EQ(BrenixInterface::Instance(), first); }), "");
  EXPECT_FALSE(first->extendedMode);
  EXPECT_FALSE(first->serverMode);
}

TEST_F(BrenixInterfaceTest, WithoutServerLoggingNoFolderIsMade) {
  auto store = Store("[Path]\nTemporaryPath=" + dir_ + "\n");
  BrenixInterface modes(*store);
  EXPECT_FALSE(modes.InitServerLog());
  EXPECT_EQ(CurrentServerLog(), nullptr);
  EXPECT_TRUE(Entries(dir_).size() == 1);  // the settings file alone
  EXPECT_FALSE(modes.RemoveTmpLogFolder());
}

TEST_F(BrenixInterfaceTest, TheServerLogLiesInAStampedFolderUnderTemporaryPath) {
  auto store = ServerLogStore("[Path]\nLogPath=\nTemporaryPath=" + dir_ + "\n");
  BrenixInterface modes(*store);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(modes.InitServerLog());
  const std::string folder = Made("PELMO_20260305070409_LOG");
  EXPECT_EQ(modes.TmpLogFolderPath(), folder);
  ASSERT_TRUE(IsDirectory(folder));
  EXPECT_EQ(Entries(folder), std::set<std::string>{"BX9_srv.log"});
  ASSERT_NE(CurrentServerLog(), nullptr);
  LogMessage("where", "a record", 7);
  testing::internal::GetCapturedStderr();
  EXPECT_NE(ReadFile(folder + "/BX9_srv.log").find("\ta record\n"), std::string::npos);
  EXPECT_NE(ObjectTracker::Instance().Report().find("t_LogFile"), std::string::npos);

  // Removed at shut-down, log and all.
  testing::internal::CaptureStderr();
  EXPECT_TRUE(modes.RemoveTmpLogFolder());
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(IsDirectory(folder));
}

TEST_F(BrenixInterfaceTest, LogPathComesFirstAndTheTemporaryFolderLast) {
  const std::string logs = Made("logs");
  const std::string temp = Made("tmp");
  ASSERT_EQ(mkdir(logs.c_str(), 0777), 0);
  ASSERT_EQ(mkdir(temp.c_str(), 0777), 0);
  testing::internal::CaptureStderr();
  {
    auto store = ServerLogStore("[Path]\nLogPath=" + logs + "/\nTemporaryPath=" + temp + "\n");
    BrenixInterface modes(*store);
    EXPECT_TRUE(modes.CreateTmpLogFolder());
    EXPECT_EQ(Entries(logs), std::set<std::string>{"PELMO_20260305070409_LOG"});
  }
  {
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved ? saved : "";
    setenv("TMPDIR", temp.c_str(), 1);
    auto store = ServerLogStore("[Path]\nLogPath= \n");
    BrenixInterface modes(*store);
    EXPECT_TRUE(modes.CreateTmpLogFolder());
    if (saved) setenv("TMPDIR", previous.c_str(), 1);
    else unsetenv("TMPDIR");
    EXPECT_EQ(Entries(temp), std::set<std::string>{"PELMO_20260305070409_LOG"});
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(BrenixInterfaceTest, AFolderOfTheSameSecondIsNeverShared) {
  ASSERT_EQ(mkdir(Made("PELMO_20260305070409_LOG").c_str(), 0777), 0);  // another process's
  auto store = ServerLogStore("[Path]\nTemporaryPath=" + dir_ + "\n");
  testing::internal::CaptureStderr();
  BrenixInterface modes(*store);
  ASSERT_TRUE(modes.InitServerLog());
  EXPECT_EQ(modes.TmpLogFolderPath(), Made("PELMO_20260305070410_LOG"));
  EXPECT_TRUE(Entries(Made("PELMO_20260305070409_LOG")).empty());

  // The next free stamp carries into the next year.
  g_now.date = {2026, 12, 31};
  g_now.time = {23, 59, 59};
  ASSERT_EQ(mkdir(Made("PELMO_20261231235959_LOG").c_str(), 0777), 0);
  BrenixInterface other(*store);
  EXPECT_TRUE(other.CreateTmpLogFolder());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(other.TmpLogFolderPath(), Made("PELMO_20270101000000_LOG"));
}

TEST_F(BrenixInterfaceTest, KeepServerLogKeepsFolderAndOpenLog) {
  auto store = ServerLogStore("keepServerLog=True\n[Path]\nTemporaryPath=" + dir_ + "\n");
  testing::internal::CaptureStderr();
  {
    BrenixInterface modes(*store);
    ASSERT_TRUE(modes.InitServerLog());
    EXPECT_FALSE(modes.RemoveTmpLogFolder());
    LogMessage("where", "still written", 8);
  }
  testing::internal::GetCapturedStderr();
  // The object is gone; what it made on disk stays, and no log is current.
  EXPECT_EQ(CurrentServerLog(), nullptr);
  EXPECT_NE(ReadFile(Made("PELMO_20260305070409_LOG/BX9_srv.log")).find("still written"), std::string::npos);
  const std::string report = ObjectTracker::Instance().Report();
  EXPECT_EQ(report.find("t_LogFile"), std::string::npos) << report;
}

TEST_F(BrenixInterfaceTest, ASecondFolderReplacesTheFirst) {
  auto store = ServerLogStore("[Path]\nTemporaryPath=" + dir_ + "\n");
  testing::internal::CaptureStderr();
  BrenixInterface modes(*store);
  ASSERT_TRUE(modes.InitServerLog());
  g_now.time.second = 30;
  ASSERT_TRUE(modes.InitServerLog());
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(IsDirectory(Made("PELMO_20260305070409_LOG")));
  EXPECT_TRUE(IsDirectory(Made("PELMO_20260305070430_LOG")));
}

TEST_F(BrenixInterfaceTest, AFolderThatCannotBeMadeLeavesNoServerLog) {
  auto store = ServerLogStore("[Path]\nTemporaryPath=" + dir_ + "/missing\n");
  BrenixInterface modes(*store);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(modes.InitServerLog());
  const std::string logged = testing::internal::GetCapturedStderr();
  // The system's reason first, then the failure, as the tree reports them.
  const std::size_t reason = logged.find(std::string(":\nError: ") + std::strerror(ENOENT));
  const std::size_t failed = logged.find(":\nError: create failed!");
  EXPECT_NE(reason, std::string::npos) << logged;
  EXPECT_NE(failed, std::string::npos) << logged;
  EXPECT_LT(reason, failed) << logged;
  EXPECT_EQ(CurrentServerLog(), nullptr);
  EXPECT_EQ(modes.TmpLogFolderPath(), "");
}

}  // namespace
