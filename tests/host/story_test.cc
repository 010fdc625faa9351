// The stand-in host's stories: inserting, deleting and changing attributes
// keep one paragraph run per paragraph and character runs that cover the
// text, and advance the version only when the text changes.
#include <gtest/gtest.h>

#include "host/document.h"
#include "host/story.h"

namespace xthost {
namespace {

using Paragraphs = std::vector<ParagraphRun>;
using Runs = std::vector<CharacterRun>;

Story Make(const std::u16string& text, Paragraphs paragraphs, Runs runs) {
  Story story(1);
  story.text = text;
  story.paragraphs = std::move(paragraphs);
  story.runs = std::move(runs);
  std::string error;
  EXPECT_TRUE(story.Check(8, 8, &error)) << error;
  return story;
}

void ExpectWhole(const Story& story) {
  std::string error;
  EXPECT_TRUE(story.Check(8, 8, &error)) << error;
}

TEST(Story, ChecksParagraphsAndRunsAgainstTheText) {
  std::string error;
  Story story(4);
  EXPECT_TRUE(story.Check(1, 1, &error)) << error;  // one empty paragraph, one empty run
  story.text = u"ab\rc";
  story.paragraphs = {{0, 3}, {0, 1}};
  story.runs = {{0, 1}, {0, 0}, {0, 3}};
  EXPECT_TRUE(story.Check(1, 1, &error)) << error;

  Story bad = story;
  bad.paragraphs = {{0, 4}};  // two paragraphs of text in one run
  EXPECT_FALSE(bad.Check(1, 1, &error));
  bad.paragraphs = {{0, 2}, {0, 2}};  // a run that does not end at the return
  EXPECT_FALSE(bad.Check(1, 1, &error));
  bad.paragraphs = {{1, 3}, {0, 1}};  // no format 1
  EXPECT_FALSE(bad.Check(1, 1, &error));
  bad = story;
  bad.runs = {{0, 3}};  // runs short of the text
  EXPECT_FALSE(bad.Check(1, 1, &error));
  bad.runs = {{0, 5}, {0, -1}};
  EXPECT_FALSE(bad.Check(1, 1, &error));
  bad.runs = {{2, 4}};  // no attributes 2
  EXPECT_FALSE(bad.Check(1, 2, &error));
  EXPECT_NE(error.find("story 4"), std::string::npos);
}

TEST(Story, InsertTakesTheAttributesBeforeAndSplitsParagraphs) {
  Story story = Make(u"Head\rBody", {{1, 5}, {2, 4}}, {{3, 5}, {4, 4}});
  const uint32_t version = story.version;
  // Typed into the first paragraph: a return splits it, both halves keep
  // format 1; the characters take the run before them.
  ASSERT_TRUE(story.Insert(2, u"x\ry"));
  EXPECT_EQ(story.text, u"Hex\ryad\rBody");
  EXPECT_EQ(story.paragraphs, (Paragraphs{{1, 4}, {1, 4}, {2, 4}}));
  EXPECT_EQ(story.runs, (Runs{{3, 8}, {4, 4}}));
  EXPECT_GT(story.version, version);

  // At a run boundary the run before grows; at 0 the first run.
  ASSERT_TRUE(story.Insert(8, u"!"));
  EXPECT_EQ(story.runs, (Runs{{3, 9}, {4, 4}}));
  ASSERT_TRUE(story.Insert(0, u">"));
  EXPECT_EQ(story.runs, (Runs{{3, 10}, {4, 4}}));
  ASSERT_TRUE(story.Insert(story.length(), u"\r"));  // an empty last paragraph
  EXPECT_EQ(story.paragraphs.back(), (ParagraphRun{2, 0}));
  ExpectWhole(story);

  const Story before = story;
  EXPECT_FALSE(story.Insert(-1, u"a"));
  EXPECT_FALSE(story.Insert(story.length() + 1, u"a"));
  EXPECT_EQ(story.text, before.text);
  EXPECT_EQ(story.version, before.version);
  EXPECT_TRUE(story.Insert(3, u""));
  EXPECT_EQ(story.version, before.version);
}

TEST(Story, InsertIntoAnEmptyStoryUsesItsTypingAttributes) {
  Story story(2);
  story.runs = {{5, 0}};
  ASSERT_TRUE(story.Insert(0, u"one\rtwo"));
  EXPECT_EQ(story.runs, (Runs{{5, 7}}));
  EXPECT_EQ(story.paragraphs, (Paragraphs{{0, 4}, {0, 3}}));
  ExpectWhole(story);
}

TEST(Story, DeleteJoinsParagraphsAndDropsEmptyRuns) {
  Story story = Make(u"aa\rbb\rcc", {{1, 3}, {2, 3}, {3, 2}}, {{4, 2}, {5, 4}, {6, 2}});
  // Across both returns: one paragraph of the first one's format remains.
  ASSERT_TRUE(story.Delete(1, 7));
  EXPECT_EQ(story.text, u"ac");
  EXPECT_EQ(story.paragraphs, (Paragraphs{{1, 2}}));
  EXPECT_EQ(story.runs, (Runs{{4, 1}, {6, 1}}));
  ExpectWhole(story);

  ASSERT_TRUE(story.Delete(0, 2));
  EXPECT_EQ(story.text, u"");
  EXPECT_EQ(story.paragraphs, (Paragraphs{{1, 0}}));
  EXPECT_EQ(story.runs, (Runs{{4, 0}}));  // the first deleted run's attributes stay for typing
  ExpectWhole(story);

  EXPECT_FALSE(story.Delete(0, 1));
  EXPECT_FALSE(story.Delete(1, 0));
}

TEST(Story, DeletingARunMergesItsNeighbours) {
  Story story = Make(u"abcdef", {{0, 6}}, {{1, 2}, {2, 2}, {1, 2}});
  ASSERT_TRUE(story.Delete(2, 4));
  EXPECT_EQ(story.runs, (Runs{{1, 4}}));
}

TEST(Story, ChangeAttributesSplitsAndMergesRuns) {
  Story story = Make(u"abcdefgh", {{0, 8}}, {{1, 4}, {2, 4}});
  const uint32_t version = story.version;
  ASSERT_TRUE(story.ChangeAttributes(2, 6, [](int32_t old) { return old + 2; }));
  EXPECT_EQ(story.runs, (Runs{{1, 2}, {3, 2}, {4, 2}, {2, 2}}));
  EXPECT_EQ(story.version, version);  // the text stays

  // Back to what they were: the pieces merge again.
  ASSERT_TRUE(story.ChangeAttributes(2, 6, [](int32_t old) { return old - 2; }));
  EXPECT_EQ(story.runs, (Runs{{1, 4}, {2, 4}}));
  ASSERT_TRUE(story.ChangeAttributes(0, 8, [](int32_t) { return 7; }));
  EXPECT_EQ(story.runs, (Runs{{7, 8}}));
  EXPECT_FALSE(story.ChangeAttributes(3, 9, [](int32_t) { return 0; }));
  EXPECT_EQ(story.AttributesAt(0), 7);
  EXPECT_EQ(story.AttributesAt(100), 7);
}

// A story kept as one attribute per character and one format per
// paragraph: the runs a story must hold follow from it.
struct CharacterModel {
  std::u16string text;
  std::vector<int32_t> attributes;  // per character
  std::vector<int32_t> formats;     // per paragraph
  int32_t typing = 0;               // the attributes of an empty story

  Runs ExpectedRuns() const {
    Runs runs;
    for (const int32_t a : attributes) {
      if (!runs.empty() && runs.back().attributes == a) {
        ++runs.back().length;
      } else {
        runs.push_back({a, 1});
      }
    }
    if (runs.empty()) runs.push_back({typing, 0});
    return runs;
  }
  Paragraphs ExpectedParagraphs() const {
    Paragraphs paragraphs{{formats[0], 0}};
    for (const char16_t c : text) {
      ++paragraphs.back().length;
      if (c == Story::kReturn) paragraphs.push_back({formats[paragraphs.size()], 0});
    }
    return paragraphs;
  }
};

TEST(Story, RandomEditsKeepTheRunsOfAPerCharacterModel) {
  Story story(1);
  CharacterModel model{u"", {}, {0}, 0};
  uint32_t seed = 12345;
  auto next = [&seed](int32_t n) {  // 0 .. n-1
    seed = seed * 1103515245u + 12345u;
    return static_cast<int32_t>((seed >> 16) % static_cast<uint32_t>(n));
  };
  for (int step = 0; step < 4000; ++step) {
    const int32_t length = story.length();
    const int32_t a = next(length + 1), b = a + next(length - a + 1);
    switch (next(3)) {
      case 0: {  // insert up to four units, returns among them
        std::u16string units;
        for (int32_t n = 1 + next(4); n > 0; --n) units += next(3) == 0 ? Story::kReturn : u'x';
        const int32_t inherited =
            length == 0 ? model.typing : model.attributes[static_cast<std::size_t>(a > 0 ? a - 1 : 0)];
        int32_t paragraph = 0;
        for (int32_t i = 0; i < a; ++i) paragraph += model.text[static_cast<std::size_t>(i)] == Story::kReturn;
        for (const char16_t c : units) {
          if (c == Story::kReturn) {
            model.formats.insert(model.formats.begin() + paragraph + 1,
                                 model.formats[static_cast<std::size_t>(paragraph)]);
          }
        }
        model.text.insert(static_cast<std::size_t>(a), units);
        model.attributes.insert(model.attributes.begin() + a, units.size(), inherited);
        ASSERT_TRUE(story.Insert(a, units));
        break;
      }
      case 1: {  // delete a range
        int32_t paragraph = 0;
        for (int32_t i = 0; i < a; ++i) paragraph += model.text[static_cast<std::size_t>(i)] == Story::kReturn;
        int32_t joined = 0;
        for (int32_t i = a; i < b; ++i) joined += model.text[static_cast<std::size_t>(i)] == Story::kReturn;
        model.formats.erase(model.formats.begin() + paragraph + 1,
                            model.formats.begin() + paragraph + 1 + joined);
        if (a == 0 && b == length && length > 0) model.typing = model.attributes[0];
        model.text.erase(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
        model.attributes.erase(model.attributes.begin() + a, model.attributes.begin() + b);
        ASSERT_TRUE(story.Delete(a, b));
        break;
      }
      default: {  // give a range one of three attributes
        const int32_t value = next(3);
        for (int32_t i = a; i < b; ++i) model.attributes[static_cast<std::size_t>(i)] = value;
        ASSERT_TRUE(story.ChangeAttributes(a, b, [value](int32_t) { return value; }));
      }
    }
    // Each paragraph is given its own format now and then.
    if (next(8) == 0) {
      const std::size_t p = static_cast<std::size_t>(next(static_cast<int32_t>(story.paragraphs.size())));
      model.formats[p] = story.paragraphs[p].format = next(5);
    }
    ASSERT_EQ(story.text, model.text) << "step " << step;
    ASSERT_EQ(story.runs, model.ExpectedRuns()) << "step " << step;
    // Read whole now and then, the runs close their gap; the next edit
    // opens it again wherever it falls.
    if (next(16) == 0) {
      ASSERT_EQ(story.runs.whole(), model.ExpectedRuns()) << "step " << step;
    }
    ASSERT_EQ(story.paragraphs, model.ExpectedParagraphs()) << "step " << step;
    // Look-ups, from wherever the edits left their starting places, agree
    // with the model: the paragraph counts the returns before the
    // position, the run is the one that holds it (none at the end).
    for (int k = 0; k < 3; ++k) {
      const int32_t at = next(story.length() + 1);
      int32_t returns = 0, after_return = 0;
      for (int32_t i = 0; i < at; ++i) {
        if (model.text[static_cast<std::size_t>(i)] == Story::kReturn) {
          ++returns;
          after_return = i + 1;
        }
      }
      int32_t start = -1;
      ASSERT_EQ(story.ParagraphAt(at, &start), static_cast<std::size_t>(returns)) << "step " << step;
      ASSERT_EQ(start, after_return) << "step " << step;
      const std::size_t run = story.RunAt(at, &start);
      int32_t before = 0;
      for (std::size_t i = 0; i < run && i < story.runs.size(); ++i) before += story.runs[i].length;
      ASSERT_EQ(start, before) << "step " << step;
      if (at < story.length()) {
        ASSERT_LT(run, story.runs.size()) << "step " << step;
        ASSERT_LT(at, start + story.runs[run].length) << "step " << step;
        ASSERT_LE(start, at) << "step " << step;
        ASSERT_EQ(story.AttributesAt(at), model.attributes[static_cast<std::size_t>(at)]) << "step " << step;
      } else {
        ASSERT_EQ(run, story.runs.size()) << "step " << step;
      }
    }
  }
}

TEST(DocumentContent, AttributeIndexFindsOrAppends) {
  DocumentContent content;
  XTCharAttrRecord record = DefaultAttributes();
  EXPECT_EQ(content.AttributeIndex(record), 0);
  record.faces = 1;
  record.reserved[3] = 9;  // reserved bytes are no part of a record's value
  EXPECT_EQ(content.AttributeIndex(record), 1);
  EXPECT_EQ(content.attributes[1].reserved[3], 0);
  record.reserved[3] = 0;
  EXPECT_EQ(content.AttributeIndex(record), 1);
  EXPECT_EQ(content.attributes.size(), 2u);
}

TEST(DocumentContent, CheckNamesWhatDoesNotHoldTogether) {
  DocumentContent content;
  content.layouts.push_back(Layout());
  content.stories.emplace_back(1);
  Box box;
  box.id = 1;
  box.story = 1;
  content.boxes.push_back(box);
  std::string error;
  EXPECT_TRUE(content.Check(&error)) << error;

  DocumentContent bad = content;
  box.story = 0;
  box.kind = kEmptyItem;
  bad.boxes.push_back(box);
  EXPECT_FALSE(bad.Check(&error));
  EXPECT_NE(error.find("box 1"), std::string::npos);
  bad = content;
  bad.boxes[0].story = 9;
  EXPECT_FALSE(bad.Check(&error));
  bad = content;
  bad.stories.emplace_back(1);
  EXPECT_FALSE(bad.Check(&error));
  bad = content;
  bad.current_box = 1;
  bad.text_open = true;
  bad.selection_end = 1;  // beyond the empty story
  EXPECT_FALSE(bad.Check(&error));
  bad.selection_end = 0;
  EXPECT_TRUE(bad.Check(&error)) << error;
  bad = content;
  bad.style_sheets.push_back(StyleSheet{1, kCharacterStyle, u"x", 1});  // no attributes 1
  EXPECT_FALSE(bad.Check(&error));
  bad = content;
  bad.formats[0].tab_count = 17;
  EXPECT_FALSE(bad.Check(&error));
}

TEST(DocumentSpace, OneReferencePerVersionThatFollowsItsOwnChanges) {
  DocumentSpace space;
  Story story(3);
  const XTTextRef first = space.RefOf(1, story);
  EXPECT_EQ(space.RefOf(1, story), first);
  EXPECT_NE(space.RefOf(2, story), first);  // another document

  story.Insert(0, u"abc");
  const XTTextRef second = space.RefOf(1, story);
  EXPECT_NE(second, first);
  DocumentSpace::TextTarget target;
  ASSERT_TRUE(space.Lookup(first, &target));
  EXPECT_NE(target.version, story.version);  // the old one is stale

  story.Delete(0, 1);
  space.Follow(second, story);  // changed through `second`
  ASSERT_TRUE(space.Lookup(second, &target));
  EXPECT_EQ(target.version, story.version);
  EXPECT_EQ(space.RefOf(1, story), second);
  EXPECT_FALSE(space.Lookup(9999, &target));
}

}  // namespace
}  // namespace xthost
