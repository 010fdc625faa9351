#include <gtest/gtest.h>

#include <memory>

#include "support/CnvTools.h"
#include "shared/server/tree_util.h"
#include "support/program_log.h"

namespace {

using Folder = OpenFolder<std::string>;
using LogFile = ct_LogFile<std::string>;

const std::string kDate = "2026-03-05 07:04:09";

int g_minimum = 7;
LogPrioritySetting Minimum() { return {g_minimum, true}; }

class ServerLog : public testing::Test {
 protected:
  void SetUp() override {
    g_minimum = 7;
    SetLogPriorityProvider(Minimum);
  }
  void TearDown() override {
    SetCurrentServerLog(nullptr);
    SetLogPriorityProvider(nullptr);
  }

  const testutil::PinnedClock clock_;
  TempDir tmp_;
  Folder root_{tmp_.path(), nullptr, false};
};

TEST_F(ServerLog, RecordsWith48ColumnLocations) {
  WriteFile(tmp_.File("BX9_srv.log"), "old content\n");
  LogFile log("BX9_srv.log", &root_);
  EXPECT_EQ(ReadFile(tmp_.File("BX9_srv.log")), "");  // truncated when opened
  EXPECT_EQ(root_.Files().at("BX9_srv.log"), &log);
  SetCurrentServerLog(&log);

  std::string ten = "abcdefghij";
  std::string sixty(60, 'L');
  testing::internal::CaptureStderr();
  LogMessage(ten, "first", 7);
  LogMessage(sixty, "two\tparts\nand lines", 8);
  std::string located = BRENIX_LOCATION("ServerLog::Records");
  LogMessage(located, "placed", 7);
  std::string echoed = testing::internal::GetCapturedStderr();

  EXPECT_EQ(ReadFile(tmp_.File("BX9_srv.log")), kDate + "\t" + ten + std::string(38, ' ') + "\tfirst\n" + kDate + "\t" +
                                                sixty + "\ttwo\tparts\nand lines\n" + kDate + "\t" + located +
                                                std::string(48 - located.size(), ' ') + "\tplaced\n");
  EXPECT_EQ(echoed, ten + ":\nfirst" + sixty + ":\ntwo\tparts\nand lines" + located + ":\nplaced");
}

TEST_F(ServerLog, PriorityFilterOnTheFile) {
  LogFile log("filter.log", &root_);
  SetCurrentServerLog(&log);
  testing::internal::CaptureStderr();
  for (int level = -1; level <= 9; ++level) LogMessage("loc", std::to_string(level), level);
  testing::internal::GetCapturedStderr();
  std::string pad(45, ' ');
  EXPECT_EQ(ReadFile(tmp_.File("filter.log")), kDate + "\tloc" + pad + "\t7\n" + kDate + "\tloc" + pad + "\t8\n");
}

TEST_F(ServerLog, ClosedLogSwallowsRecords) {
  LogFile log("closed.log", &root_);
  SetCurrentServerLog(&log);
  testing::internal::CaptureStderr();
  LogMessage("a", "kept", 8);
  log.Close();
  LogMessage("b", "lost", 8);
  std::string echoed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadFile(tmp_.File("closed.log")), kDate + "\ta" + std::string(47, ' ') + "\tkept\n");
  EXPECT_EQ(echoed, "a:\nkeptb:\nlost");
}

TEST_F(ServerLog, DestroyedLogIsNoLongerCurrent) {
  auto log = std::make_unique<LogFile>("gone.log", &root_);
  SetCurrentServerLog(log.get());
  log.reset();
  EXPECT_EQ(CurrentServerLog(), nullptr);
  EXPECT_TRUE(root_.Files().empty());
  testing::internal::CaptureStderr();
  LogMessage("after", "still echoed", 8);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "after:\nstill echoed");
  EXPECT_TRUE(IsRegularFile(tmp_.File("gone.log")));  // destroying never touches the disk
}

TEST_F(ServerLog, LogFolderRemovedWithItsLog) {
  Folder folder("PELMO_20260305070409_LOG", &root_, true);
  LogFile log("BX9_srv.log", &folder);
  SetCurrentServerLog(&log);
  testing::internal::CaptureStderr();
  LogMessage("loc", "line", 7);
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(IsRegularFile(tmp_.File("PELMO_20260305070409_LOG/BX9_srv.log")));
  log.Close();
  EXPECT_TRUE(folder.Remove());
  EXPECT_FALSE(Exists(tmp_.File("PELMO_20260305070409_LOG")));
}

TEST_F(ServerLog, LogFileInMissingFolderWritesNothing) {
  Folder missing("missing", &root_, false);
  LogFile log("x.log", &missing);
  SetCurrentServerLog(&log);
  testing::internal::CaptureStderr();
  LogMessage("loc", "line", 8);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "loc:\nline");
  EXPECT_FALSE(Exists(tmp_.File("missing")));
}

}  // namespace
