#include "support/object_tracker.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "support/program_log.h"

namespace {

const char kEmpty[] = "\nMemory completely deallocated.\n";

// One count line as the report lays it out: 64 columns of name, the count
// right-aligned in 16.
std::string CountLine(const std::string& name, int count) {
  std::string number = std::to_string(count);
  return name + std::string(64 - name.size(), ' ') + std::string(16 - number.size(), ' ') + number + "\n";
}

// One object line: "0x" in 10 columns, the address in 68, the text.
std::string ObjectLine(const void* object, const std::string& text) {
  char address[128];
  std::snprintf(address, sizeof address, "%-10s%-68" PRIxPTR, "0x", reinterpret_cast<uintptr_t>(object));
  return address + text + "\n";
}

TEST(ObjectTracker, EmptyReport) {
  ObjectTracker tracker;
  EXPECT_EQ(tracker.Report(), kEmpty);
  int a = 0;
  tracker.Alloc("t_File", &a, "here");
  tracker.Free("t_File", &a);
  EXPECT_EQ(tracker.Report(), kEmpty);  // count back at 0, object gone
}

TEST(ObjectTracker, CountsAndObjectsLayout) {
  ObjectTracker tracker;
  int a = 0, b = 0;
  tracker.Alloc("t_File", &a, "CnvTools.h[10]:ct_File::ct_File()");
  tracker.Alloc("t_File", &b, "");
  tracker.Free("t_File", &b);
  tracker.Free("t_LogFile", nullptr);  // never registered: -1
  EXPECT_EQ(tracker.Report(), "\nMemory allocated:\n" + CountLine("t_File", 1) + CountLine("t_LogFile", -1) +
                                  "\n" + ObjectLine(&a, "t_File: CnvTools.h[10]:ct_File::ct_File()"));
}

TEST(ObjectTracker, CountsWithoutObjectsStillEndWithABlankLine) {
  ObjectTracker tracker;
  tracker.Alloc("t_Folder", nullptr, "x");
  tracker.Alloc("t_Folder<TStr>", nullptr, "x");
  tracker.Alloc("t_Folder<TStr>", nullptr, "x");
  EXPECT_EQ(tracker.Report(),
            "\nMemory allocated:\n" + CountLine("t_Folder", 1) + CountLine("t_Folder<TStr>", 2) + "\n");
}

TEST(ObjectTracker, ObjectsOnlyAndTheirTexts) {
  ObjectTracker tracker;
  int objects[4] = {};
  tracker.Alloc("", &objects[0], "loc");  // no count, text ": loc"
  tracker.Alloc("", &objects[1], "");     // no count, empty text
  tracker.Alloc("t_File", &objects[2], "old");
  tracker.Alloc("t_Folder", &objects[2], "new");  // same address: replaced
  tracker.Free("t_File", nullptr);
  tracker.Free("t_Folder", nullptr);
  // Ordered by text: "" < ": loc" < "t_Folder: new".
  EXPECT_EQ(tracker.Report(), "\nMemory allocated:\n" + ObjectLine(&objects[1], "") +
                                  ObjectLine(&objects[0], ": loc") + ObjectLine(&objects[2], "t_Folder: new"));
}

TEST(ObjectTracker, EqualTextsStayTogetherOrderedByText) {
  ObjectTracker tracker;
  std::vector<int> objects(6);
  const char* texts[6] = {"t_b", "t_a", "t_b", "t_c", "t_a", "t_b"};
  for (int i = 0; i < 6; ++i) tracker.Alloc(texts[i], &objects[i], "");
  for (int i = 0; i < 6; ++i) tracker.Free(texts[i], nullptr);
  std::string expected = "\nMemory allocated:\n";
  for (const char* text : {"t_a", "t_b", "t_c"})
    for (int i = 0; i < 6; ++i)  // addresses ascend with the index
      if (std::string(texts[i]) == text) expected += ObjectLine(&objects[i], text);
  EXPECT_EQ(tracker.Report(), expected);
}

struct Recorder : ServerLogSink {
  std::vector<std::pair<std::string, std::string>> records;
  void WriteRecord(const std::string& name, const std::string& message) override {
    records.emplace_back(name, message);
  }
};

int g_minimum = 7;
LogPrioritySetting Minimum() { return {g_minimum, false}; }

TEST(ObjectTracker, ProcessWideReportGoesToTheLogAtLevelSix) {
  int a = 0;
  TrackAlloc("t_File", &a, "loc");
  TrackAlloc("t_File", &a);
  std::string report = ObjectTracker::Instance().Report();
  EXPECT_EQ(report, "\nMemory allocated:\n" + CountLine("t_File", 2) + "\n" + ObjectLine(&a, "t_File"));

  Recorder log;
  SetCurrentServerLog(&log);
  SetLogPriorityProvider(Minimum);
  testing::internal::CaptureStderr();
  LogMemoryStatus("where[1]:Here::Now()");  // 6 is below the default 7
  g_minimum = 6;
  TrackFree("t_File", &a);
  TrackFree("t_File", nullptr);
  LogMemoryStatus("where[2]:Here::Now()");
  std::string echoed = testing::internal::GetCapturedStderr();
  SetCurrentServerLog(nullptr);
  SetLogPriorityProvider(nullptr);

  EXPECT_EQ(echoed, "where[1]:Here::Now():\n" + report + "where[2]:Here::Now():\n" + kEmpty);
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0].first, "where[2]:Here::Now()");
  EXPECT_EQ(log.records[0].second, kEmpty);
}

}  // namespace
