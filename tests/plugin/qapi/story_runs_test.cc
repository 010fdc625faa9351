// The story walk over the fixtures: the segments between boundaries with
// their paragraph formats, character attributes and texts as the document
// file gives them; snapshots fetched again only after a text change; run
// tables that end early or fail to come.
#include <gtest/gtest.h>

#include <new>
#include <nlohmann/json.hpp>

#include "host/utf.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_link.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

using json = nlohmann::json;

struct Segment {
  int32_t start;
  int32_t end;
  uint16_t style;      // the paragraph's style sheet
  int32_t attributes;  // the run's attribute index
  uint16_t font;
  uint32_t opcode;
  std::string text;  // the low bytes of the characters
  bool operator==(const Segment& o) const {
    return start == o.start && end == o.end && style == o.style && attributes == o.attributes &&
           font == o.font && opcode == o.opcode && text == o.text;
  }
};

std::ostream& operator<<(std::ostream& out, const Segment& s) {
  return out << "[" << s.start << "," << s.end << ") style " << s.style << " attributes "
             << s.attributes << " font " << s.font << " opcode " << s.opcode << " \"" << s.text
             << "\"";
}

std::vector<Segment> Walk(int32_t story) {
  std::vector<Segment> segments;
  StoryRunIterator it(story);
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, it);
  while (it.HasMore(pos)) {
    Segment s;
    s.start = pos.boundary;
    s.end = it.NextBoundary(pos);
    s.style = pos.format.style;
    s.attributes = it.CurrentStyle(pos);
    XTCharAttrRecord record{};
    EXPECT_EQ(it.runs.GetText(pos, &record, nullptr), kXTOk);
    s.font = record.font;
    s.opcode = it.CurrentText(pos);
    s.text.assign(it.Text() + s.start, it.Text() + s.end);
    segments.push_back(s);
    it.Advance(pos);
    if (segments.size() > 1000) break;  // a walk that does not end
  }
  return segments;
}

// The segments the document file itself describes: its text cut wherever a
// paragraph or a run ends, trailing zero-length entries left out, with the
// records' fields the file gives (defaults where it gives none).
std::vector<Segment> FromFile(const json& doc, int32_t id) {
  json story;
  for (const json& s : doc["stories"]) {
    if (s["id"] == id) story = s;
  }
  std::u16string text;
  xthost::Utf8ToUtf16(story.value("text", ""), &text);
  json paragraphs = story.value("paragraphs", json::array({json::array({0, 0})}));
  json runs = story.value("runs", json::array({json::array({0, 0})}));
  while (!paragraphs.empty() && paragraphs.back()[1] == 0) paragraphs.erase(paragraphs.size() - 1);
  while (!runs.empty() && runs.back()[1] == 0) runs.erase(runs.size() - 1);
  const json formats = doc.value("paragraphFormats", json::array({json::object()}));
  const json attributes = doc.value("characterAttributes", json::array({json::object()}));

  std::vector<int32_t> paragraph_ends;
  int32_t end = 0;
  for (const json& p : paragraphs) paragraph_ends.push_back(end += p[1].get<int32_t>());
  std::vector<Segment> segments;
  int32_t run_start = 0;
  for (const json& r : runs) {
    const int32_t run_end = run_start + r[1].get<int32_t>();
    int32_t start = run_start;
    do {
      // The paragraph the segment starts in, and where it ends.
      std::size_t p = 0;
      while (p + 1 < paragraph_ends.size() && paragraph_ends[p] <= start) ++p;
      const int32_t stop = paragraph_ends[p] > start ? std::min(run_end, paragraph_ends[p]) : run_end;
      Segment s;
      s.start = start;
      s.end = stop;
      s.style = formats[paragraphs[p][0].get<std::size_t>()].value("style", 0);
      s.attributes = r[0];
      s.font = attributes[r[0].get<std::size_t>()].value("font", 0);
      s.opcode = attributes[r[0].get<std::size_t>()].value("opcode", 0u);
      for (int32_t i = start; i < stop; ++i) s.text += static_cast<char>(text[i] & 0xFF);
      segments.push_back(s);
      start = stop;
    } while (start < run_end);
    run_start = run_end;
  }
  return segments;
}

class StoryWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Open("doc_brochure.json");
    doc_ = json::parse(FixtureText("doc_brochure.json"));
  }
  DocHost host_;
  json doc_;
};

TEST_F(StoryWalk, SegmentsAreThoseOfTheDocumentFile) {
  for (int32_t story : {1, 2, 3, 4}) {
    EXPECT_EQ(Walk(story), FromFile(doc_, story)) << "story " << story;
  }
}

TEST_F(StoryWalk, TheBrochureStorySegmentByHand) {
  const std::vector<Segment> s = Walk(1);
  ASSERT_EQ(s.size(), 17u);
  // The heading's run and paragraph end together: one segment, one step.
  EXPECT_EQ(s[0], (Segment{0, 16, 2, 1, 5, 0, "Brenix Brochure\r"}));
  EXPECT_EQ(s[1], (Segment{16, 25, 1, 0, 3, 0, "Price:\t12"}));
  EXPECT_EQ(s[2], (Segment{25, 26, 1, 3, 3, 0, " "}));  // the non-breaking space
  EXPECT_EQ(s[7].opcode, kXTOpPageCurrent);
  EXPECT_EQ(s[7].text, "\x02");
  EXPECT_EQ(s[9].text, "\x01");
  EXPECT_EQ(s[11], (Segment{66, 75, 1, 5, 3, kXTOpUniqueIdTag, "#00004711"}));
  EXPECT_EQ(s[13].opcode, kXTOpAnchoredBox);
  EXPECT_EQ(s[13].text, "\xFC");  // the low byte of U+FFFC
  EXPECT_EQ(s[16].end, 121);
}

TEST_F(StoryWalk, EmptyStoryAndTrimmedRuns) {
  StoryRunIterator empty(2);
  EXPECT_EQ(empty.paragraphs.count(), 0u);
  EXPECT_EQ(empty.characters.count(), 0u);
  EXPECT_EQ(empty.Text()[0], '\0');
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, empty);
  EXPECT_FALSE(empty.HasMore(pos));

  // Story 3 ends with an empty paragraph and an empty run; an empty run
  // inside stays and gives an empty segment.
  StoryRunIterator last(3);
  EXPECT_EQ(last.paragraphs.count(), 1u);
  EXPECT_EQ(last.characters.count(), 3u);
  EXPECT_EQ(last.characters.Length(1), 0);
  const std::vector<Segment> s = Walk(3);
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[1].start, 4);
  EXPECT_EQ(s[1].end, 4);
  EXPECT_EQ(s[1].font, 9);
  EXPECT_EQ(std::string(last.Text()), "Last words\r");
}

TEST_F(StoryWalk, ParagraphAndRunEndingTogetherStepBoth) {
  StoryRunIterator it(1);
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, it);
  EXPECT_TRUE(it.RunEndsInParagraph(pos));
  it.Advance(pos);
  EXPECT_EQ(pos.boundary, 16);
  EXPECT_EQ(pos.paragraphIndex, 1u);
  EXPECT_EQ(pos.characterIndex, 1u);
  EXPECT_EQ(pos.format.style, 1);  // the second paragraph's format, with its tabs
  EXPECT_EQ(pos.format.tab_count, 2);
  EXPECT_FALSE(it.RunEndsInParagraph(pos));  // "Price:\t12" ends inside its paragraph
}

TEST_F(StoryWalk, LastRunStopsBeforeTheParagraphSteps) {
  StoryRunIterator it(4);
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, it);
  while (it.HasMore(pos)) it.Advance(pos);
  EXPECT_EQ(pos.boundary, 39);
  EXPECT_EQ(pos.characterIndex, 3u);
  EXPECT_EQ(pos.paragraphIndex, 0u);  // not stepped past the last run
}

TEST_F(StoryWalk, FormatsAreFetchedOnlyWhenTheyChange) {
  const uint32_t before = host_.host().docs.format_requests;
  Walk(1);  // formats 1, 2, 0, 0: the fourth paragraph keeps the third's record
  EXPECT_EQ(host_.host().docs.format_requests - before, 3u);
}

TEST_F(StoryWalk, SnapshotsAreFetchedAgainOnlyAfterAChange) {
  xthost::DocumentSpace& docs = host_.host().docs;
  const uint32_t start = docs.text_requests;
  StoryRuns runs(1);
  EXPECT_EQ(docs.text_requests, start + 1);
  EXPECT_EQ(runs.textLength, 121);
  runs.RefreshIfStale();
  EXPECT_EQ(docs.text_requests, start + 1);

  // A change through the host: the plug-in notes it, the snapshot follows.
  ASSERT_EQ(XT().lgf2->delete_text(runs.textRef, 0, 7), kXTOk);
  NoteTextChange();
  EXPECT_TRUE(runs.IsStale());
  runs.RefreshIfStale();
  EXPECT_EQ(docs.text_requests, start + 2);
  EXPECT_EQ(runs.textLength, 114);
  EXPECT_EQ(runs.walkLength, 121);  // the copy of construction stays

  // A change the plug-in did not note leaves the snapshot's reference stale.
  host_.content().FindStory(1)->Delete(0, 1);
  StoryRunIterator it(1);
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, it);
  XTCharAttrRecord record{};
  EXPECT_EQ(runs.GetText(pos, &record, nullptr), kXTErrStaleText);
  NoteTextChange();
  EXPECT_EQ(runs.GetText(pos, &record, nullptr), kXTOk);
}

TEST_F(StoryWalk, NoStoryFetchesNothing) {
  const uint32_t start = host_.host().docs.text_requests;
  StoryRuns none(0);
  StoryRuns negative(-3);
  EXPECT_EQ(none.textRef, 0);
  EXPECT_EQ(none.textLength, 0);
  EXPECT_EQ(negative.textRef, 0);
  EXPECT_EQ(host_.host().docs.text_requests, start);
  StoryRunIterator it(0);
  StoryRunPosition pos;
  StoryRunIterator::Begin(pos, it);
  EXPECT_FALSE(it.HasMore(pos));
}

TEST_F(StoryWalk, ToolModeIsSetForTheFetchAndPutBackByRefresh) {
  host_.host().docs.tool_mode = 4;
  StoryRuns runs(1);
  EXPECT_EQ(host_.host().docs.tool_mode, 1);
  host_.host().docs.tool_mode = 4;
  runs.Refresh();
  EXPECT_EQ(host_.host().docs.tool_mode, 4);
  EXPECT_EQ(runs.textLength, 121);
}

TEST_F(StoryWalk, ParagraphTableEndingEarlyIsNeverReadPast) {
  // The host's paragraph table covers 4 of the 11 characters; the walk goes
  // on to the end of the text with the runs alone.
  host_.content().FindStory(3)->paragraphs = {{0, 4}};
  const std::vector<Segment> s = Walk(3);
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].end, 4);
  EXPECT_EQ(s[2].start, 4);
  EXPECT_EQ(s[2].end, 11);
  EXPECT_EQ(s[2].text, " words\r");

  // Runs longer than the text end with the text.
  host_.content().FindStory(3)->runs = {{2, 40}};
  const std::vector<Segment> t = Walk(3);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].end, 11);
}

TEST_F(StoryWalk, FailedTablesLeaveNoBlocksBehind) {
  for (const char* plan : {"character_runs:1", "paragraph_runs:1", "new_handle:2"}) {
    host_.Fail(plan);
    EXPECT_THROW(StoryRunIterator it(1), std::bad_alloc) << plan;
    EXPECT_EQ(host_.host().docs.blocks.size(), 0u) << plan;
  }
  host_.Fail("");
  { StoryRunIterator it(1); }
  EXPECT_EQ(host_.host().docs.blocks.size(), 0u);
}

TEST(QHandle, HoldsAndGivesBackItsBlock) {
  DocHost host;
  {
    QHandle handle(16);
    EXPECT_EQ(handle.Size(), 16u);
    EXPECT_NE(handle.Data(), nullptr);
    QHandle moved = std::move(handle);
    EXPECT_EQ(handle.Get(), 0);
    EXPECT_EQ(handle.Size(), 0u);
    EXPECT_EQ(host.host().docs.blocks.size(), 1u);
    moved.Dispose();
    EXPECT_EQ(host.host().docs.blocks.size(), 0u);
    moved.Dispose();  // nothing held: nothing happens
  }
  host.Fail("new_handle:*");
  EXPECT_THROW(QHandle::Allocate(8), std::bad_alloc);
  QHandle out;
  EXPECT_EQ(QHandle::TryAllocate(8, &out), kXTErrInjected);
  EXPECT_EQ(out.Get(), 0);
}

}  // namespace
