// The working boxes over the stand-in host: what boxes -1 and -2 hold after
// an export analysis, and the import side's copies.
#include "plugin/mixer/brenix_box.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/mixer/mapper.h"
#include "support/host_link.h"
#include "support/settings.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

void LoadSettings(MixerHost& host, const std::string& lines) {
  const std::string path = host.Path("settings.ini");
  std::ofstream(path, std::ios::binary) << "[Options]\nmasterPageMode=0\n" << lines;
  ASSERT_TRUE(Settings::Instance().Load(path, false));
}

// Four character styles: 0 in "Hello world" (a blank), 1 in "Bold" (no
// blank) and again in "x y" (a blank, so it replaces the first sample), 2
// in "Big text", and 3 only on a page-number character.  Box 2 shows an
// empty story that receives copies.
const char kStyles[] = R"({"format": "xthost document", "version": 1, "layouts": [{"name": "L"}],
  "characterAttributes": [{"font": 3}, {"font": 3, "faces": 1}, {"font": 3, "size": 24},
                          {"font": 3, "size": 30, "opcode": 6}],
  "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]},
            {"id": 2, "story": 2, "bounds": [36, 320, 300, 600]}],
  "stories": [{"id": 1, "text": "Hello worldBoldBig text#x y", "paragraphs": [[0, 27]],
               "runs": [[0, 11], [1, 4], [2, 8], [3, 1], [1, 3]]},
              {"id": 2}]})";

// Texts and attribute indexes of a story of the current document.
struct StoryState {
  std::u16string text;
  std::vector<int32_t> attributes;
  bool operator==(const StoryState& o) const { return text == o.text && attributes == o.attributes; }
};

StoryState StateOf(MixerHost& host, int32_t storyId) {
  StoryState state;
  const auto* story = host.content().FindStory(storyId);
  if (story == nullptr) return state;
  state.text = story->text;
  for (int32_t i = 0; i < story->length(); ++i) state.attributes.push_back(story->AttributesAt(i));
  return state;
}

int32_t StoryOfBox(XTItem box) {
  int32_t story = 0;
  XT().lgk2->item_story(box, &story);
  return story;
}

TEST(BrenixBox, WorkingBoxesHoldOneAndTwoUnitsPerProbe) {
  for (const char* obsolete : {"useObsoleteCopyText=True\n", "useObsoleteCopyText=False\n"}) {
    MixerHost host;
    host.OpenText("styles.json", kStyles);
    LoadSettings(host, obsolete);
    Mapper mapper;
    ASSERT_EQ(mapper.Analyze(), 1) << obsolete;
    auto* box = dynamic_cast<BrenixBoxExp*>(mapper.PrivateBox());
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->ProbeCount(), 4u);
    // Probes in the order their styles first appear.
    for (uint16_t style = 0; style < 4; ++style) EXPECT_EQ(box->ProbeOfStyle(style), style);
    EXPECT_EQ(box->ProbeOfStyle(9), -1);

    const StoryState first = StateOf(host, StoryOfBox(mapper.FindBox(-1)));
    const StoryState second = StateOf(host, StoryOfBox(mapper.FindBox(-2)));
    // One unit per probe, no leading blank: the blanks of styles 0, 1 (the
    // later sample "x y" replaced "Bold") and 2, and for the page number of
    // 3 a plain blank of its format (a new record: 3 without the opcode).
    EXPECT_EQ(first.text, u"    ") << obsolete;
    EXPECT_EQ(first.attributes, (std::vector<int32_t>{0, 1, 2, 4})) << obsolete;
    EXPECT_EQ(second.text, u"        ") << obsolete;
    EXPECT_EQ(second.attributes, (std::vector<int32_t>{0, 0, 1, 1, 2, 2, 4, 4})) << obsolete;
    XTCharAttrRecord plain = host.content().attributes[3];
    plain.opcode = kXTOpText;
    EXPECT_EQ(std::memcmp(&host.content().attributes[4], &plain, sizeof plain), 0);
    EXPECT_EQ(box->Box(), mapper.FindBox(-2));
    EXPECT_EQ(box->Unit(), 1u);
  }
}

TEST(BrenixBox, ImportCopiesProbesAndFallsBackToTheFirstBox) {
  for (const char* obsolete : {"useObsoleteCopyText=True\n", "useObsoleteCopyText=False\n"}) {
    MixerHost host;
    const int32_t doc = host.OpenText("styles.json", kStyles);
    LoadSettings(host, obsolete);
    {
      Mapper exporter;
      ASSERT_EQ(exporter.Analyze(), 1);
    }
    const auto* target = host.content().FindStory(2);
    ASSERT_NE(target, nullptr);
    {
      Mapper importer;
      ASSERT_TRUE(importer.Connect());
      BrenixBox* box = importer.PrivateBox();
      ASSERT_NE(dynamic_cast<BrenixBoxImp*>(box), nullptr);
      EXPECT_EQ(box->Unit(), 2u);
      EXPECT_EQ(box->CopyProbe(2, 2, 0), 2);
      EXPECT_EQ(box->CopyProbe(1, 2, 2), 2);
      EXPECT_EQ(box->CopyProbe(4, 2, 0), 0);
      EXPECT_EQ(box->CopyProbe(-1, 2, 0), 0);
      EXPECT_EQ(StateOf(host, 2).attributes, (std::vector<int32_t>{2, 2, 1, 1})) << obsolete;
      // Without box -2 the import falls back to box -1, one unit a probe.
      ASSERT_EQ(XT().lgk2->delete_item(importer.FindBox(-2)), kXTOk);
    }
    Mapper importer;
    ASSERT_TRUE(importer.Connect());
    BrenixBox* box = importer.PrivateBox();
    EXPECT_EQ(box->Unit(), 1u);
    EXPECT_EQ(box->Box(), importer.FindBox(-1));
    EXPECT_EQ(box->CopyProbe(3, 2, 4), 1);
    EXPECT_EQ(StateOf(host, 2).attributes, (std::vector<int32_t>{2, 2, 1, 1, 4})) << obsolete;
    EXPECT_EQ(box->CopyProbe(4, 2, 0), 0);
    (void)doc;
  }
}

TEST(BrenixBox, ImportWithoutWorkingBoxCopiesNothing) {
  MixerHost host;
  host.OpenText("styles.json", kStyles);
  LoadSettings(host, "");
  Mapper exporter;
  ASSERT_EQ(exporter.Analyze(), 1);
  ASSERT_EQ(XT().lgk2->delete_item(exporter.FindBox(-2)), kXTOk);
  ASSERT_EQ(XT().lgk2->delete_item(exporter.FindBox(-1)), kXTOk);
  Mapper importer;
  ASSERT_TRUE(importer.Connect());
  EXPECT_EQ(importer.PrivateBox()->Unit(), 0u);
  EXPECT_EQ(importer.PrivateBox()->CopyProbe(0, 2, 0), 0);
}

TEST(BrenixBox, InstallFailureIsLoggedAndLeavesNoWorkingBox) {
  const struct {
    const char* fail;
    const char* reason;
  } cases[] = {{"create_box:2", "no scratch text box was made"},
               {"copy_text:3", "a probe could not be copied"}};
  for (const auto& c : cases) {
    MixerHost host;
    host.OpenText("styles.json", kStyles);
    LoadSettings(host, "");
    LogCapture log;
    host.Fail(c.fail);
    Mapper mapper;
    EXPECT_EQ(mapper.Analyze(), 1);
    // Connect then takes the import side, which finds no working box: the
    // box made alone, or both half filled, are gone again.
    EXPECT_EQ(mapper.PrivateBox()->Unit(), 0u) << c.fail;
    EXPECT_EQ(host.content().boxes.size(), 2u) << c.fail;
    EXPECT_EQ(host.content().stories.size(), 2u) << c.fail;
    EXPECT_NE(log.Text().find(std::string("ERROR: BrenixBox::Install: ") + c.reason + "\n"), std::string::npos)
        << log.Text();
  }
}

// The checks of the first box's fill and the style sheet of the second.
// Documents: one story of `text` (one paragraph of `length` units) with
// `runs` over `attributes`, and the paragraph style sheets `sheets` with
// the paragraph formats `formats`.
std::string Document(const std::string& text, int length, const std::string& runs,
                     const std::string& attributes, const std::string& sheets = "[]",
                     const std::string& formats = "[{}]") {
  return R"({"format": "xthost document", "version": 1, "layouts": [{"name": "L"}],
    "styleSheets": )" + sheets + R"(, "paragraphFormats": )" + formats +
         R"(, "characterAttributes": )" + attributes +
         R"(, "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
    "stories": [{"id": 1, "text": ")" + text + R"(", "paragraphs": [[0, )" + std::to_string(length) +
         R"(]], "runs": )" + runs + "}]}";
}

size_t CountLines(const std::string& log, const std::string& tail) {
  size_t n = 0;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("######## BreakPoint_BX:", 0) != 0) continue;
    const size_t blank = line.find(' ', 9);
    n += (blank == std::string::npos ? std::string() : line.substr(blank + 1)) == tail;
  }
  return n;
}

TEST(BrenixBox, FillChecksEachProbeAndGivesTheSecondBoxTheNormalStyle) {
  const std::string plainAttributes = R"([{"font": 3}, {"font": 5, "size": 20}])";
  const struct Case {
    const char* name;
    std::string json;
    const char* fail;
    std::u16string first;  // the first box's text
    size_t checks;         // check points without text
    size_t groupPatches;   // "GroupPatch_Jap1 FAILED"
    uint16_t style;        // the second box's paragraph style sheet
  } cases[] = {
      {"two styles", Document("ab cd", 5, "[[0, 2], [1, 3]]", plainAttributes), "", u"a ", 0, 0, 0},
      {"a Normal style sheet",
       Document("ab cd", 5, "[[0, 2], [1, 3]]", plainAttributes,
                R"([{"id": 4, "name": "Heading"}, {"id": 7, "name": "Normal", "record": 1}])",
                R"([{}, {"style": 7, "alignment": 2}])"),
       "", u"a ", 0, 0, 7},
      {"a failed box update", Document("ab cd", 5, "[[0, 2], [1, 3]]", plainAttributes), "refresh_box:1", u"a ", 1,
       0, 0},
      {"no tool mode", Document("ab cd", 5, "[[0, 2], [1, 3]]", plainAttributes), "tool_mode:*", u"a ", 2, 0, 0},
      // A character of two units whose halves differ: the host copies both.
      {"a split pair", Document(R"(\ud840\udc00\ud840\udc01)", 4, "[[0, 1], [1, 3]]", plainAttributes), "", u" \xdc00",
       0, 1, 0},
      {"a whole pair", Document(R"(\ud840\udc00)", 2, "[[0, 2]]", plainAttributes), "", u" ", 0, 0, 0},
  };
  for (const Case& c : cases) {
    MixerHost host;
    host.OpenText("doc.json", c.json);
    LoadSettings(host, "useObsoleteCopyText=False\n");
    host.Fail(c.fail);
    LogCapture log;
    Mapper mapper;
    ASSERT_EQ(mapper.Analyze(), 1) << c.name;
    host.Fail("");
    auto* box = dynamic_cast<BrenixBoxExp*>(mapper.PrivateBox());
    ASSERT_NE(box, nullptr) << c.name << log.Text();
    const StoryState first = StateOf(host, StoryOfBox(mapper.FindBox(-1)));
    EXPECT_EQ(first.text, c.first) << c.name;
    for (const int32_t index : first.attributes)
      EXPECT_EQ(host.content().attributes[static_cast<size_t>(index)].opcode, kXTOpText) << c.name;
    const xthost::Story* second = host.content().FindStory(StoryOfBox(mapper.FindBox(-2)));
    ASSERT_NE(second, nullptr) << c.name;
    std::u16string doubled;
    for (const char16_t unit : c.first) doubled += {unit, unit};
    EXPECT_EQ(second->text, doubled) << c.name;
    EXPECT_EQ(CountLines(log.Text(), ""), c.checks) << c.name << log.Text();
    EXPECT_EQ(CountLines(log.Text(), "GroupPatch_Jap1 FAILED"), c.groupPatches) << c.name << log.Text();
    const XTParaFormatRecord& format = host.content().formats[static_cast<size_t>(second->paragraphs[0].format)];
    EXPECT_EQ(format.style, c.style) << c.name;
    EXPECT_EQ(format.alignment, c.style != 0 ? 2 : 0) << c.name;
  }
}

}  // namespace
