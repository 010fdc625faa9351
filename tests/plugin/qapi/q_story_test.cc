// Range deletion: neighbouring ranges go in one host deletion, front to
// back at shifted positions or back to front at their own; the story's text
// afterwards is the old text without the ranges; bad ranges delete nothing.
#include <gtest/gtest.h>

#include "plugin/qapi/q_story.h"
#include "plugin/qapi/story_runs.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

using Ranges = std::vector<std::pair<int32_t, int32_t>>;

// The text without the ranges, cut out one by one from the back.
std::u16string Without(std::u16string text, const Ranges& ranges) {
  for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
    text.erase(static_cast<std::size_t>(it->first),
               static_cast<std::size_t>(it->second - it->first));
  }
  return text;
}

std::vector<std::string> Deletions(const DocHost& host) {
  std::vector<std::string> lines;
  for (const std::string& line : host.Lines()) {
    if (line.rfind("delete text", 0) == 0) lines.push_back(line);
  }
  return lines;
}

class QStoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Open("doc_brochure.json");
    host_.Clear();
  }
  std::u16string Text(int32_t story) { return host_.content().FindStory(story)->text; }
  DocHost host_;
};

TEST_F(QStoryTest, FrontToBackMergesNeighboursAndShiftsLaterRanges) {
  const Ranges ranges = {{10, 20}, {20, 25}, {40, 50}, {100, 121}};
  const std::u16string expected = Without(Text(1), ranges);
  const uint32_t counter = gTextChangeCounter;
  QStory story(1, false);
  for (const auto& [start, end] : ranges) story.AddRange(start, end);
  EXPECT_EQ(story.total, 46);
  ASSERT_TRUE(story.Apply());
  EXPECT_EQ(Deletions(host_), (std::vector<std::string>{"delete text 1 10 25",
                                                        "delete text 1 25 35",
                                                        "delete text 1 75 96"}));
  EXPECT_EQ(Text(1), expected);
  EXPECT_EQ(gTextChangeCounter, counter + 2);
  EXPECT_TRUE(story.ranges.empty());
  EXPECT_EQ(story.total, 0);
  xthost::DocumentContent& content = host_.content();
  std::string error;
  EXPECT_TRUE(content.Check(&error)) << error;  // runs and paragraphs still fit
  EXPECT_EQ(content.flags & 1, 1u);
}

TEST_F(QStoryTest, BackToFrontDeletesAtTheQueuedPositions) {
  const Ranges ranges = {{0, 3}, {5, 8}, {8, 9}, {30, 31}};
  const std::u16string expected = Without(Text(4), ranges);
  QStory story(4, true);
  for (const auto& [start, end] : ranges) story.AddRange(start, end);
  ASSERT_TRUE(story.Apply());
  EXPECT_EQ(Deletions(host_), (std::vector<std::string>{"delete text 4 30 31",
                                                        "delete text 4 5 9",
                                                        "delete text 4 0 3"}));
  EXPECT_EQ(Text(4), expected);
}

TEST_F(QStoryTest, EmptyRangesOnlyMoveTheLastEnd) {
  QStory story(1, false);
  story.AddRange(7, 7);
  story.AddRange(9, 4);
  EXPECT_TRUE(story.ranges.empty());
  EXPECT_EQ(story.lastEnd, 4);
  const std::u16string before = Text(1);
  EXPECT_TRUE(story.Apply());
  EXPECT_EQ(Text(1), before);
  EXPECT_TRUE(Deletions(host_).empty());
}

TEST_F(QStoryTest, TheStoryIsMadeTheCurrentTextWithItsOptionOffMeanwhile) {
  xthost::DocumentContent& content = host_.content();
  content.FindStory(3)->options = 1;  // option 0 on
  host_.host().docs.tool_mode = 0;
  QStory story(3, false);
  story.AddRange(0, 5);
  ASSERT_TRUE(story.Apply());
  EXPECT_EQ(Text(3), u"words\r");
  EXPECT_EQ(content.current_box, 3);
  EXPECT_TRUE(content.text_open);
  EXPECT_EQ(host_.host().docs.tool_mode, 1);
  EXPECT_EQ(content.FindStory(3)->options, 1u);  // switched on again
  EXPECT_EQ(host_.host().docs.recompose_requests, 1u);
  EXPECT_EQ(host_.host().docs.refresh_requests, 1u);
}

TEST_F(QStoryTest, BadRangesAreRefusedWithALogLine) {
  const std::u16string before = Text(1);
  const Ranges bad[] = {
      {{10, 20}, {15, 25}},      // overlapping
      {{30, 40}, {10, 20}},      // not ascending
      {{100, 110}, {115, 122}},  // past the story's end
  };
  for (const auto& pair : bad) {
    LogCapture log;
    QStory story(1, false);
    for (const auto& [start, end] : pair) story.AddRange(start, end);
    EXPECT_FALSE(story.Apply());
    EXPECT_NE(log.Text().find("ERROR: QStory::Apply()"), std::string::npos);
    EXPECT_TRUE(story.ranges.empty());
  }
  EXPECT_EQ(Text(1), before);
  EXPECT_TRUE(Deletions(host_).empty());
}

TEST_F(QStoryTest, AHostRefusalStopsTheDeletions) {
  host_.Fail("delete_text:2");
  LogCapture log;
  QStory story(1, false);
  story.AddRange(0, 2);
  story.AddRange(5, 6);
  story.AddRange(9, 10);
  EXPECT_FALSE(story.Apply());
  EXPECT_EQ(Deletions(host_), (std::vector<std::string>{"delete text 1 0 2"}));
  EXPECT_NE(log.Text().find("ERROR: QStory::Apply(): the host did not delete 3 to 4"),
            std::string::npos);
}

}  // namespace
