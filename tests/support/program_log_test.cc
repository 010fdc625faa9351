#include "support/program_log.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/date_time.h"
#include "tests/common/files.h"
#include "tests/common/pinned_clock.h"
#include "tests/common/temp_dir.h"

namespace {

struct Recorder : ServerLogSink {
  std::vector<std::pair<std::string, int>> records;  // message, and the order
  void WriteRecord(const std::string& /*name*/, const std::string& message) override {
    records.emplace_back(message, static_cast<int>(records.size()));
  }
  std::vector<int> Levels() const {
    std::vector<int> levels;
    for (const auto& record : records) levels.push_back(std::stoi(record.first));
    return levels;
  }
};

// Logs each level from -1 to 9 with the level as its message and returns
// the levels the server log received.
std::vector<int> LevelsRecorded() {
  Recorder log;
  SetCurrentServerLog(&log);
  testing::internal::CaptureStderr();
  for (int level = -1; level <= 9; ++level) LogMessage("loc", std::to_string(level), level);
  testing::internal::GetCapturedStderr();
  SetCurrentServerLog(nullptr);
  return log.Levels();
}

std::vector<int> Range(int from, int to) {
  std::vector<int> levels;
  for (int level = from; level <= to; ++level) levels.push_back(level);
  return levels;
}

LogPrioritySetting g_setting{7, false};
int g_reads = 0;
LogPrioritySetting Setting() {
  ++g_reads;
  return g_setting;
}

TEST(LocationText, FileNameLineAndFunction) {
  EXPECT_EQ(LocationText("/src/shared/server/CnvTools.h", 12, "ct_File::Create"), "CnvTools.h[12]:ct_File::Create()");
  EXPECT_EQ(LocationText("plain.cc", 7, "A::B"), "plain.cc[7]:A::B()");
  int line = __LINE__ + 1;
  std::string here = BRENIX_LOCATION("LocationText::Macro");
  EXPECT_EQ(here, "program_log_test.cc[" + std::to_string(line) + "]:LocationText::Macro()");
}

TEST(ServerLogRecord, DateTabLocationIn48ColumnsTabMessage) {
  std::ostringstream out;
  std::string shortName = "abcdefghij";  // 10 characters: 38 blanks follow
  std::string longName(60, 'L');         // written whole
  std::string exactly48(48, 'x');
  {
    const testutil::PinnedClock clock;
    WriteServerLogRecord(out, shortName, "first");
    WriteServerLogRecord(out, longName, "two\tlines\nhere");
    WriteServerLogRecord(out, exactly48, "");
  }
  EXPECT_EQ(out.str(), "2026-03-05 07:04:09\tabcdefghij" + std::string(38, ' ') + "\tfirst\n" +
                           "2026-03-05 07:04:09\t" + longName + "\ttwo\tlines\nhere\n" + "2026-03-05 07:04:09\t" +
                           exactly48 + "\t\n");
}

TEST(ServerLogRecord, FailedStreamGetsNothing) {
  std::ostringstream out;
  out.setstate(std::ios::failbit);
  WriteServerLogRecord(out, "loc", "message");
  out.clear();
  EXPECT_EQ(out.str(), "");
}

TEST(LogMessage, PriorityFilter) {
  // No settings yet: 7 and 8 only.
  SetLogPriorityProvider(nullptr);
  EXPECT_EQ(LevelsRecorded(), Range(7, 8));

  // The setting is read on every record until the settings file has loaded.
  SetLogPriorityProvider(Setting);
  g_setting = {0, false};
  g_reads = 0;
  EXPECT_EQ(LevelsRecorded(), Range(0, 8));
  EXPECT_EQ(g_reads, 11);
  g_setting = {5, false};
  EXPECT_EQ(LevelsRecorded(), Range(5, 8));

  // Loaded: settled for good, later changes do not reach the log.
  g_setting = {3, true};
  EXPECT_EQ(LevelsRecorded(), Range(3, 8));
  g_reads = 0;
  g_setting = {8, true};
  EXPECT_EQ(LevelsRecorded(), Range(3, 8));
  EXPECT_EQ(g_reads, 0);

  SetLogPriorityProvider(Setting);  // starts over
  g_setting = {9, true};
  EXPECT_EQ(LevelsRecorded(), std::vector<int>());
  g_setting = {-5, true};
  SetLogPriorityProvider(Setting);
  EXPECT_EQ(LevelsRecorded(), Range(0, 8));  // below 0 is never written
  SetLogPriorityProvider(nullptr);
}

TEST(LogMessage, StandardErrorEchoByteForByte) {
  std::string message("tab\there\nline\r\n\0nul \xff\xfe end", 25);
  Recorder log;
  for (ServerLogSink* sink : {static_cast<ServerLogSink*>(nullptr), static_cast<ServerLogSink*>(&log)}) {
    SetCurrentServerLog(sink);
    testing::internal::CaptureStderr();
    int handle = LogMessage("file.cc[3]:A::B()", message, 9);  // reaches no server log
    LogMessage("x", "", 7);
    std::string echoed = testing::internal::GetCapturedStderr();
    SetCurrentServerLog(nullptr);
    EXPECT_EQ(handle, 2);
    EXPECT_EQ(echoed, "file.cc[3]:A::B():\n" + message + "x:\n");
  }
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0].first, "");
}

TEST(ProgramLog, TruncatesTheFileInTheCurrentFolderOnFirstUse) {
  const testutil::TempDir dir("program_log");
  char previous[PATH_MAX];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  testutil::WriteFile("BrenixLogfile.txt", "left over from an earlier run\n");

  ProgramLog() << "\nMultiDoc mode:\t" << "ON" << '\n' << std::flush;
  ProgramLog() << 42 << std::endl;
  EXPECT_EQ(testutil::ReadFile("BrenixLogfile.txt"), "\nMultiDoc mode:\tON\n42\n");
  EXPECT_EQ(testutil::Entries(dir.path()), std::set<std::string>{"BrenixLogfile.txt"});  // nothing else written
  EXPECT_EQ(chdir(previous), 0);
}

// The folder of a test whose child process runs the test again from the
// top: made here (into `made`) and handed to the child through the
// environment, which finds it there.
std::string ChildFolder(const char* stem, std::unique_ptr<testutil::TempDir>& made) {
  if (const char* given = std::getenv("PROGRAM_LOG_TEST_FOLDER")) return given;
  made.reset(new testutil::TempDir(stem));
  setenv("PROGRAM_LOG_TEST_FOLDER", made->path().c_str(), 1);
  return made->path();
}

// Lines written without a flush are in the file when the process ends: the
// stream is never destroyed, so nothing else would write them out.
TEST(ProgramLog, UnflushedLinesReachTheFileWhenTheProcessEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: the log not yet opened
  std::unique_ptr<testutil::TempDir> made;
  const std::string folder = ChildFolder("program_log_exit", made);
  const std::string path = folder + "/BrenixLogfile.txt";
  EXPECT_EXIT(
      {
        if (chdir(folder.c_str()) != 0) std::_Exit(3);
        ProgramLog() << "\nSUPPRESSED DIALOG:\t" << "title" << '\n';
        ProgramLog() << "no line end";
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  unsetenv("PROGRAM_LOG_TEST_FOLDER");
  EXPECT_EQ(testutil::ReadFile(path), "\nSUPPRESSED DIALOG:\ttitle\nno line end");
}

// A program log that cannot be created is lost, but not without a word: one
// line on standard error with its path and the reason, and the writers go on.
TEST(ProgramLog, AFileThatCannotBeCreatedIsReportedOnceOnStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: the log not yet opened
  std::unique_ptr<testutil::TempDir> made;
  const std::string folder = ChildFolder("program_log_blocked", made);
  // A folder where the file would be: refused even to root.
  mkdir((folder + "/BrenixLogfile.txt").c_str(), 0777);
  EXPECT_EXIT(
      {
        if (chdir(folder.c_str()) != 0) std::_Exit(3);
        ProgramLog() << "first line" << std::endl;
        ProgramLog() << "second line" << std::endl;
        std::exit(ProgramLog().good() ? 4 : 0);
      },
      testing::ExitedWithCode(0),
      testing::Eq("Brenix: the program log " + folder +
                  "/BrenixLogfile.txt cannot be created: Is a directory; it is not written\n"));
  unsetenv("PROGRAM_LOG_TEST_FOLDER");
}

}  // namespace
