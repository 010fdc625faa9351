// Texts from the host (clock stamps, host strings and host text), bounded
// texts, hidden-text partners and the two text copies, against the
// stand-in host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/mixer/hidden_search.h"
#include "plugin/mixer/host_texts.h"
#include "plugin/mixer/text_copy.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_calls.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

TEST(FormatHostDateTime, FieldsSeparatorsAndPadding) {
  const struct {
    xthost::HostTime time;
    bool date, clock, compact;
    const char* text;
  } cases[] = {
      {{2024, 3, 7, 9, 5, 1}, true, true, false, "2024-03-07 09:05:01"},
      {{2024, 3, 7, 9, 5, 1}, true, true, true, "20240307090501"},
      {{2024, 3, 7, 9, 5, 1}, true, false, false, "2024-03-07"},
      {{2024, 3, 7, 9, 5, 1}, false, true, false, "09:05:01"},
      {{2024, 3, 7, 9, 5, 1}, false, true, true, "090501"},
      {{2024, 12, 31, 23, 59, 58}, true, false, true, "20241231"},
      {{987, 1, 2, 0, 0, 0}, true, true, false, "987-01-02 00:00:00"},
      {{2024, 3, 7, 9, 5, 1}, false, false, false, ""},
  };
  for (const auto& c : cases) {
    MixerHost host;
    host.host().app().clock = xthost::Clock(c.time);
    EXPECT_EQ(FormatHostDateTime(c.date, c.clock, c.compact), c.text) << c.text;
  }
  MixerHost host;
  host.host().app().clock = xthost::Clock({2024, 3, 7, 9, 5, 1});
  host.Fail("clock:2");
  EXPECT_EQ(FormatHostDateTime(true, false, false), "2024-03-07");
  // Neither part: the clock is not read, so its second reading is the one
  // that fails.
  EXPECT_EQ(FormatHostDateTime(false, false, true), "");
  EXPECT_EQ(FormatHostDateTime(true, true, false), "");
  EXPECT_EQ(FormatHostDateTime(true, true, false), "2024-03-07 09:05:01");
}

TEST(HostTexts, StringsAndTextToWide) {
  MixerHost host;
  XTString string = 0;
  ASSERT_EQ(NewHostString("Grüße", &string), kXTOk);
  EXPECT_EQ(HostStringToWide(string), u"Grüße");
  XT().qsb1->dispose_string(string);
  EXPECT_EQ(HostStringToWide(0), u"");

  const char16_t text[] = u"Hello world";
  const struct {
    uint32_t available, wanted;
    const char16_t* expected;
  } cases[] = {{11, 0, u"Hello world"}, {11, 5, u"Hello"}, {5, 11, u"Hello"}, {0, 0, u""}};
  for (const auto& c : cases) {
    EXPECT_EQ(HostTextToWide(text, c.available, c.wanted), c.expected) << c.wanted;
  }
  EXPECT_EQ(HostTextToWide(nullptr, 3, 0), u"");
  host.Fail("new_string:1");
  EXPECT_EQ(HostTextToWide(text, 11, 0), u"");
  host.Fail("copy_string:1");
  EXPECT_EQ(HostTextToWide(text, 11, 0), u"");
  EXPECT_EQ(host.OpenHandles(), 0u);
}

TEST(BoundedText, CopiesWithinCapacity) {
  BoundedText<8> bounded;
  Mixer::CopyBounded(bounded, "abc");
  EXPECT_STREQ(Mixer::TextPtr(bounded), "abc");
  EXPECT_EQ(static_cast<void*>(Mixer::TextPtr(bounded)), static_cast<void*>(bounded.text));
  Mixer::CopyBounded(bounded, "1234567");
  EXPECT_STREQ(Mixer::TextPtr(bounded), "1234567");
  // Eight characters do not fit with their terminator: reported, cut, and
  // still ended within the capacity.
  testing::internal::CaptureStderr();
  Mixer::CopyBounded(bounded, "12345678");
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("theLen < mMaxLen"), std::string::npos) << shown;
  EXPECT_STREQ(Mixer::TextPtr(bounded), "1234567");
  bounded.mMaxLen = 3;
  testing::internal::CaptureStderr();
  Mixer::CopyBounded(bounded, "wxyz");
  testing::internal::GetCapturedStderr();
  EXPECT_STREQ(Mixer::TextPtr(bounded), "wx");
}

// Story 1 holds markers: "(" units open a hidden pair (opcode 0x20), ")"
// units close one (0x40).  Its text is given per test.
std::string MarkerDocument(const std::u16string& text) {
  std::string runs;
  for (const char16_t c : text) {
    const int attributes = c == u'(' ? 1 : c == u')' ? 2 : 0;
    runs += (runs.empty() ? "" : ", ") + std::string("[") + std::to_string(attributes) + ", 1]";
  }
  return R"({"format": "xthost document", "version": 1, "layouts": [{"name": "Layout 1"}],
    "characterAttributes": [{"font": 3}, {"font": 3, "opcode": 32}, {"font": 3, "opcode": 64}],
    "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
    "stories": [{"id": 1, "text": ")" +
         std::string(text.begin(), text.end()) + R"(", "paragraphs": [[0, )" +
         std::to_string(text.size()) + R"(]], "runs": [)" + runs + "]}]}";
}

TEST(FindMatchingHiddenRun, PairsByDepth) {
  const struct {
    const char16_t* text;
    int32_t position;  // an opener's position (forward) or a closer's + 1
    uint16_t direction;
    bool found;
    int32_t partner;
  } cases[] = {
      // Nested: the outer pair and the inner pair find each other.
      {u"a(b(c)d)e", 1, 1, true, 7},
      {u"a(b(c)d)e", 3, 1, true, 5},
      {u"a(b(c)d)e", 8, 0, true, 1},
      {u"a(b(c)d)e", 6, 0, true, 3},
      // Two levels deep, and a pair beside the nested one.
      {u"((()))()", 0, 1, true, 5},
      {u"((()))()", 1, 1, true, 4},
      {u"((()))()", 6, 1, true, 7},
      {u"((()))()", 6, 0, true, 0},
      {u"(()())", 0, 1, true, 5},
      {u"(()())", 6, 0, true, 0},
      {u"(()())", 5, 0, true, 3},
      // Unnested pairs: the first marker sought.
      {u"(x)(y)", 0, 1, true, 2},
      {u"(x)(y)", 3, 1, true, 5},
      {u"(x)(y)", 3, 0, true, 0},
      {u"(x)(y)", 6, 0, true, 3},
      // Unpaired.
      {u"(x", 0, 1, false, 0},
      {u"x)", 2, 0, false, 2},
      {u"a((b)", 1, 1, false, 1},
  };
  for (const auto& c : cases) {
    MixerHost host;
    const std::u16string text = c.text;
    host.OpenText("hidden.json", MarkerDocument(text));
    const uint32_t flags = c.direction == 1 ? 0x40 : 0x20;
    int32_t position = c.position;
    const int32_t limit = static_cast<int32_t>(text.size());
    EXPECT_EQ(FindMatchingHiddenRun(1, &position, c.direction, flags, 0, limit), c.found)
        << std::string(text.begin(), text.end()) << " " << c.position;
    EXPECT_EQ(position, c.found ? c.partner : c.position)
        << std::string(text.begin(), text.end()) << " " << c.position;
  }
}

TEST(FindMatchingHiddenRun, StopsAtTheLimitAndOnHostFailure) {
  MixerHost host;
  host.OpenText("hidden.json", MarkerDocument(u"a(b(c)d)e"));
  int32_t position = 1;
  EXPECT_FALSE(FindMatchingHiddenRun(1, &position, 1, 0x40, 0, 7));
  EXPECT_EQ(position, 1);
  EXPECT_TRUE(FindMatchingHiddenRun(1, &position, 1, 0x40, 0, 8));
  EXPECT_EQ(position, 7);
  host.Fail("find_run:*");
  position = 3;
  EXPECT_FALSE(FindMatchingHiddenRun(1, &position, 1, 0x40, 0, 9));
  EXPECT_EQ(position, 3);
}

TEST(FindMatchingHiddenRun, MarkersOfTwoUnitsInTheLayoutsFixture) {
  // Story 15: "A \u2039x mid \u2039y in \u203ay \u203ax B \u2039qh\u203aq C ..."; each
  // marker is a run of its sign and a letter.
  const struct {
    int32_t position;
    uint16_t direction;
    bool found;
    int32_t partner;
  } cases[] = {
      {2, 1, true, 18},  {9, 1, true, 15},  {19, 0, true, 2},   {16, 0, true, 9},
      {23, 1, true, 26}, {27, 0, true, 23}, {39, 1, false, 39},
  };
  MixerHost host;
  host.Open("doc_layouts.json");
  for (const auto& c : cases) {
    int32_t position = c.position;
    EXPECT_EQ(
        FindMatchingHiddenRun(15, &position, c.direction, c.direction == 1 ? 0x40 : 0x20, 0, 46),
        c.found)
        << c.position;
    EXPECT_EQ(position, c.partner) << c.position;
  }
}

// The text of story `story` of the current document.
std::u16string StoryText(int32_t story) {
  XTTextRef ref = 0;
  int32_t length = 0, box = 0, document = 0;
  EXPECT_EQ(XT().lgf2->story_text(story, &ref, &length, &box, &document), kXTOk);
  std::u16string text(static_cast<size_t>(length), u'\0');
  EXPECT_EQ(XT().lgf2->read_text(ref, 0, length, text.data()), kXTOk);
  return text;
}

const char kTwoStories[] = R"({"format": "xthost document", "version": 1,
  "layouts": [{"name": "Layout 1"}],
  "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]},
            {"id": 2, "story": 2, "bounds": [36, 320, 300, 600]}],
  "stories": [{"id": 1, "text": "Hello world", "paragraphs": [[0, 11]], "runs": [[0, 11]]},
              {"id": 2, "text": "<>", "paragraphs": [[0, 2]], "runs": [[0, 2]]}]})";

TEST(TextCopies, BothCallsCopyAndCountTheChange) {
  MixerHost host;
  const int32_t doc = host.OpenText("copy.json", kTwoStories);
  const uint32_t counter = gTextChangeCounter;
  EXPECT_EQ(QapiTextCall47(doc, 1, 0, 5, doc, 2, 1), 0);
  EXPECT_EQ(StoryText(2), u"<Hello>");
  EXPECT_EQ(gTextChangeCounter, counter + 1);
  EXPECT_EQ(QapiStoryCall35(1, 5, 11, 2, 6), 1);
  EXPECT_EQ(StoryText(2), u"<Hello world>");
  EXPECT_EQ(gTextChangeCounter, counter + 2);

  EXPECT_EQ(QapiTextCall47(doc, 1, 0, 5, doc, 99, 0), 12);
  host.Fail("copy_story_text:1");
  EXPECT_EQ(QapiStoryCall35(1, 0, 5, 2, 0), kXTErrInjected);
  EXPECT_EQ(StoryText(2), u"<Hello world>");
  EXPECT_EQ(gTextChangeCounter, counter + 2);
}

}  // namespace
