// The story reader over the stand-in host: host segments of a story, runs
// written in place behind their carriers, buffer limits, special characters
// and text objects, anchored objects found at the cursor or moved there,
// and the layout number of a story.
#include "plugin/conversion/digger.h"

#include <gtest/gtest.h>

#include <array>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "plugin/conversion/import_anchors.h"
#include "plugin/conversion/importer.h"
#include "plugin/conversion/x_attribs.h"
#include "plugin/mixer/mapper.h"
#include "support/host_link.h"
#include "support/settings.h"
#include "support/error_record.h"
#include "tests/plugin/conversion/import_fakes.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

using namespace import_test;

// One text box; attribute 1 is a unique-id tag, 2 a page number.
std::string Document(const std::string& text, const std::string& paragraphs,
                     const std::string& runs) {
  return R"({"format": "xthost document", "version": 1, "layouts": [{"name": "L"}],
  "characterAttributes": [{"font": 3}, {"font": 3, "opcode": 136}, {"font": 3, "opcode": 6}],
  "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
  "stories": [{"id": 1, "text": ")" + text + R"(", "paragraphs": )" + paragraphs +
         R"(, "runs": )" + runs + "}]}";
}

// A document analysed for export (tags, working boxes) and connected again
// as an import reads it.
struct Scene {
  explicit Scene(const std::string& json) {
    host.OpenText("doc.json", json);
    const std::string path = host.Path("settings.ini");
    std::ofstream(path, std::ios::binary) << "[Options]\nmasterPageMode=0\n";
    EXPECT_TRUE(Settings::Instance().Load(path, false));
    {
      Mapper exporter;
      EXPECT_EQ(exporter.Analyze(), 1);
    }
    EXPECT_TRUE(mapper.Connect());
    box = mapper.FindBox(0);
    EXPECT_NE(box, 0);
    fixed = std::make_unique<FixedStory>(box, mapper);
    host.Clear();
  }
  std::unique_ptr<Digger> MakeDigger() {
    return std::make_unique<Digger>(box, mapper, applier, fixed->segments, false);
  }
  std::u16string Text() { return host.content().FindStory(1)->text; }
  uint32_t OpcodeAt(int32_t position) {
    xthost::Story* story = host.content().FindStory(1);
    return host.content().attributes[static_cast<size_t>(story->AttributesAt(position))].opcode;
  }
  size_t Lines(const std::string& prefix) {
    size_t n = 0;
    for (const std::string& line : host.Lines()) n += line.rfind(prefix, 0) == 0;
    return n;
  }

  MixerHost host;
  Mapper mapper;
  XTItem box = 0;
  XAttribs applier{XAttribs::kImport};
  std::unique_ptr<FixedStory> fixed;
};

struct SegmentCase {
  const char* name;
  std::string text, paragraphs, runs;
  std::vector<int32_t> kinds;  // -3 text, -2 paragraph end, 0 an object
};

TEST(FixedStory, ParagraphsEndOnlyAtTheReturnEndingAHostParagraph) {
  const SegmentCase cases[] = {
      {"plain", "ab\\rcd", "[[0, 3], [0, 2]]", "[[0, 5]]", {-3, -2, -3}},
      // A column or frame break ending a character run stays text.
      {"column break", "ab\\u000bcd\\ref", "[[0, 6], [0, 2]]", "[[0, 3], [0, 5]]", {-3, -2, -3}},
      {"frame break", "ab\\u000c\\rcd", "[[0, 4], [0, 2]]", "[[0, 3], [0, 3]]", {-3, -2, -3}},
      {"final return", "ab\\r", "[[0, 3], [0, 0]]", "[[0, 3]]", {-3, -2}},
      {"object", "a#00004711b\\r", "[[0, 12], [0, 0]]", "[[0, 1], [1, 9], [0, 2]]", {-3, 0, -3, -2}},
      // A page number is text.
      {"page number", "a\\u0002b", "[[0, 3]]", "[[0, 1], [2, 1], [0, 1]]", {-3}},
  };
  for (const SegmentCase& c : cases) {
    Scene scene(Document(c.text, c.paragraphs, c.runs));
    std::vector<int32_t> kinds;
    for (const Segment& s : scene.fixed->segments) kinds.push_back(s.kind < 0 ? s.kind : 0);
    EXPECT_EQ(kinds, c.kinds) << c.name;
  }
}

TEST(Digger, ABufferOf1023UnitsGoesInOneInsertion) {
  // Three insertions fail: the carrier space is the first, the text the
  // second and, for a run over the buffer, the third.
  for (const size_t units : {size_t{1023}, size_t{1024}}) {
    Scene scene(Document("abc", "[[0, 3]]", "[[0, 3]]"));
    scene.host.Fail("insert_text:3");
    std::unique_ptr<Digger> digger = scene.MakeDigger();
    const Strings none;
    FakeDoc doc({}, &none);
    FakeRun run(Text(std::u16string(units, u'x')), &none, &doc);
    bool flag = false;
    digger->PutUnit(run, flag, true);
    EXPECT_EQ(digger->Failed(), units > 1023) << units;
    EXPECT_TRUE(digger->Finish());
    // The carrier and the old text are gone.
    EXPECT_EQ(scene.Text(), std::u16string(units > 1023 ? 1023 : units, u'x')) << units;
  }
}

TEST(Digger, SpecialCharactersByTheirJoinedNames) {
  Scene scene(Document("old", "[[0, 3]]", "[[0, 3]]"));
  std::unique_ptr<Digger> digger = scene.MakeDigger();
  const Strings strings = {{5, u"page_number"}, {6, u"Curr"}, {7, u"column_break"}};
  const Strings none;
  FakeDoc doc({}, &none);
  // "page_numberCurr" and a column break.
  FakeRun run(Records(kRunSpecialChars, {{5, 6, 0}, {7, -1, 0}}), &strings, &doc);
  bool flag = false;
  digger->PutUnit(run, flag, true);
  EXPECT_FALSE(digger->Failed());
  // Numbers the map lacks, and a name no special character has, come from a
  // damaged container: the run stops the import.
  const Strings more = {{5, u"page_number"}, {8, u"no_such_character"}};
  const std::array<int32_t, 3> damages[] = {{99, -1, 0}, {5, 98, 0}, {8, -1, 0}};
  for (const std::array<int32_t, 3>& record : damages) {
    FakeRun damaged(Records(kRunSpecialChars, {record}), &more, &doc);
    EXPECT_THROW(digger->PutUnit(damaged, flag, true), ErrorRecord) << record[0];
  }
  EXPECT_TRUE(digger->Finish());
  EXPECT_EQ(scene.Text(), u"\u0002\u000b");
  EXPECT_EQ(scene.OpcodeAt(0), kXTOpPageCurrent);
  EXPECT_EQ(scene.OpcodeAt(1), kXTOpText);
  EXPECT_EQ(scene.Lines("insert object 6 story 1"), 1u);
}

TEST(Digger, MultibytesByTheirCodePage) {
  struct Case {
    const char* codePage;  // null: none
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {nullptr, "caf\xe9\x80", u"caf\u00e9\u20ac"},
      {"0xFFFF", "\xe9", u"\u00e9"},
      {"1251", std::string("\xc0\0b", 3), u"\u0410b"},  // a byte 0 is never inserted
      {"12345", "abc", u""},            // an unknown code page: logged
  };
  for (const Case& c : cases) {
    Scene scene(Document("old", "[[0, 3]]", "[[0, 3]]"));
    std::unique_ptr<Digger> digger = scene.MakeDigger();
    RunSpec spec;
    spec.kind = kRunMultibytes;
    spec.bytes = c.bytes;
    if (c.codePage != nullptr) {
      spec.attrs[u"codepage"] = std::u16string(c.codePage, c.codePage + std::string(c.codePage).size());
    }
    const Strings none;
    FakeDoc doc({}, &none);
    FakeRun run(spec, &none, &doc);
    LogCapture log;
    bool flag = false;
    digger->PutUnit(run, flag, true);
    EXPECT_TRUE(digger->Finish());
    EXPECT_EQ(scene.Text(), c.text) << c.bytes;
    EXPECT_EQ(log.Text().find("unknown code page") != std::string::npos, c.text.empty()) << log.Text();
  }
}

TEST(Digger, UnicodesSkipUnitZeroAndFlagNonBreakingBlanks) {
  Scene scene(Document("old", "[[0, 3]]", "[[0, 3]]"));
  std::unique_ptr<Digger> digger = scene.MakeDigger();
  const Strings none;
  FakeDoc doc({}, &none);
  FakeRun run(Text(std::u16string(u"a\0b\u00a0", 4)), &none, &doc);
  bool flag = false;
  digger->PutUnit(run, flag, true);
  EXPECT_TRUE(digger->Finish());
  EXPECT_EQ(scene.Text(), u"ab\u00a0");
  xthost::Story* story = scene.host.content().FindStory(1);
  const auto flags = [&](int32_t at) {
    return scene.host.content().attributes[static_cast<size_t>(story->AttributesAt(at))].flags;
  };
  EXPECT_EQ(flags(0) & kXTCharNonBreaking, 0);
  EXPECT_EQ(flags(2) & kXTCharNonBreaking, kXTCharNonBreaking);
}

TEST(Digger, AnObjectAtTheCursorStaysAndOneBehindAParagraphEndIsMoved) {
  {
    Scene scene(Document("ab#00004711cd", "[[0, 13]]", "[[0, 2], [1, 9], [0, 2]]"));
    ASSERT_EQ(scene.fixed->segments.size(), 3u);
    const Segment object = scene.fixed->segments[1];
    std::unique_ptr<Digger> digger = scene.MakeDigger();
    const Strings none;
    FakeDoc doc({}, &none);
    FakeRun first(Text(u"XY"), &none, &doc);
    FakeRun second(Text(u"Z"), &none, &doc);
    bool flag = false;
    digger->PutUnit(first, flag, false);
    EXPECT_TRUE(digger->Locate({object.kind, object.value, 0, 0}, true));
    digger->PutUnit(second, flag, true);
    EXPECT_TRUE(digger->Finish());
    EXPECT_EQ(scene.Text(), u"XY#00004711Z");
    EXPECT_EQ(scene.Lines("copy text"), 0u);
  }
  {
    Scene scene(Document("ab\\rcd#00004711", "[[0, 3], [0, 11]]", "[[0, 5], [1, 9]]"));
    ASSERT_EQ(scene.fixed->segments.size(), 4u);
    const Segment object = scene.fixed->segments[3];
    std::unique_ptr<Digger> digger = scene.MakeDigger();
    const Strings none;
    FakeDoc doc({}, &none);
    FakeRun first(Text(u"XY"), &none, &doc);
    FakeRun second(Text(u"Z"), &none, &doc);
    bool flag = false;
    EXPECT_TRUE(digger->Locate({object.kind, object.value, 0, 0}, true));
    EXPECT_FALSE(digger->Locate({object.kind + 100, object.value, 0, 0}, true));
    digger->PutUnit(first, flag, false);
    digger->Next();
    digger->PutUnit(second, flag, true);
    EXPECT_TRUE(digger->Finish());
    EXPECT_FALSE(digger->Failed());
    EXPECT_EQ(scene.Text(), u"#00004711XY\rZ");
    EXPECT_EQ(scene.OpcodeAt(0), kXTOpUniqueIdTag);
    EXPECT_EQ(scene.OpcodeAt(9), kXTOpText);
    // No character keeps the mark of the move.
    xthost::Story* story = scene.host.content().FindStory(1);
    for (int32_t i = 0; i < story->length(); ++i) {
      EXPECT_EQ(scene.host.content().attributes[static_cast<size_t>(story->AttributesAt(i))].mark, 0) << i;
    }
  }
}

// The plug-in's mark on no character of story 1.
bool Unmarked(Scene& scene) {
  xthost::Story* story = scene.host.content().FindStory(1);
  for (int32_t i = 0; i < story->length(); ++i) {
    if (scene.host.content().attributes[static_cast<size_t>(story->AttributesAt(i))].mark != 0) return false;
  }
  return true;
}

TEST(Digger, AnObjectThePlanNamesTwiceLeavesNoMark) {
  // The second move copies the object from where the first put it: that
  // copy stays in the story and must not keep the mark of the move.
  Scene scene(Document("ab\\rcd#00004711", "[[0, 3], [0, 11]]", "[[0, 5], [1, 9]]"));
  ASSERT_EQ(scene.fixed->segments.size(), 4u);
  const Segment object = scene.fixed->segments[3];
  std::unique_ptr<Digger> digger = scene.MakeDigger();
  EXPECT_TRUE(digger->Locate({object.kind, object.value, 0, 0}, true));
  EXPECT_TRUE(digger->Locate({object.kind, object.value, 0, 0}, true));
  EXPECT_TRUE(digger->Finish());
  EXPECT_TRUE(Unmarked(scene));
}

// The run's carrier goes in before the typeface step, whatever that step
// returns: the host sets the font on the selected carrier only (at a bare
// insertion point it would set nothing), and the text takes it from there.
// When the step fails the carrier still goes with the old text and the
// failure is counted.
TEST(Digger, TheCarrierGoesInBeforeTheTypefaceStep) {
  const struct {
    const char* fail;
    uint16_t font;  // of the text put in
    bool failed;
  } cases[] = {{"", 5, false}, {"set_text_attribute:1", 3, true}};
  for (const auto& c : cases) {
    Scene scene(R"({"format": "xthost document", "version": 1, "layouts": [{"name": "L"}],
      "fonts": [{"id": 3, "name": "Times"}, {"id": 5, "name": "Courier"}],
      "characterAttributes": [{"font": 3}],
      "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
      "stories": [{"id": 1, "text": "old", "paragraphs": [[0, 3]], "runs": [[0, 3]]}]})");
    std::unique_ptr<Digger> digger = scene.MakeDigger();
    const Strings none;
    FakeDoc doc({}, &none);
    FakeRun run(Text(u"New", {{u"typeface", u"Courier"}}), &none, &doc);
    scene.host.Fail(c.fail);
    bool flag = false;
    digger->PutUnit(run, flag, true);
    scene.host.Fail("");
    EXPECT_TRUE(digger->Finish()) << c.fail;
    EXPECT_EQ(digger->Failed(), c.failed) << c.fail;
    EXPECT_EQ(scene.Text(), u"New") << c.fail;
    xthost::Story* story = scene.host.content().FindStory(1);
    EXPECT_EQ(scene.host.content().attributes[static_cast<size_t>(story->AttributesAt(0))].font, c.font) << c.fail;
  }
}

TEST(Digger, UniqueIdsAreEightCharactersWide) {
  Scene scene(Document("old", "[[0, 3]]", "[[0, 3]]"));
  std::unique_ptr<Digger> digger = scene.MakeDigger();
  LogCapture log;
  digger->InsertHidden(4711);
  digger->InsertHidden(123456789);  // nine characters: not inserted
  const Strings none;
  FakeDoc doc({}, &none);
  FakeRun run(Text(u"T"), &none, &doc);
  bool flag = false;
  digger->PutUnit(run, flag, true);
  EXPECT_TRUE(digger->Finish());
  EXPECT_EQ(scene.Text(), u"#    4711T");
  EXPECT_EQ(scene.OpcodeAt(0), kXTOpUniqueIdTag);
  EXPECT_EQ(scene.OpcodeAt(9), kXTOpText);
  EXPECT_NE(log.Text().find("123456789"), std::string::npos);
}

TEST(Importer, StoryTypeNamesALayoutWordAndADigit) {
  const std::pair<std::u16string, int32_t> cases[] = {
      {u"layout_prn0", 0}, {u"layout_web12", 12}, {u"layout_cur3", 3}, {u"layout_prn", -1},
      {u"layout_xyz1", -1}, {u"layout_prn1a", -1}, {u"", -1}, {u"layout_cur-1", -1},
      {u"layout_prn99999999999", -1}};
  for (const auto& [text, number] : cases) {
    EXPECT_EQ(ParseStoryLayout(text), number) << std::string(text.begin(), text.end());
  }
}

}  // namespace
