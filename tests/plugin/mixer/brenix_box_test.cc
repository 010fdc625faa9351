// The working boxes over the stand-in host: what boxes -1 and -2 hold after
// an export analysis, and the import side's copies.
#include "plugin/mixer/brenix_box.h"

#include <gtest/gtest.h>

#include <fstream>
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
                          {"font": 3, "opcode": 6}],
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
    // later sample "x y" replaced "Bold") and 2, the page number of 3.
    EXPECT_EQ(first.text, u"   #") << obsolete;
    EXPECT_EQ(first.attributes, (std::vector<int32_t>{0, 1, 2, 3})) << obsolete;
    EXPECT_EQ(second.text, u"      ##") << obsolete;
    EXPECT_EQ(second.attributes, (std::vector<int32_t>{0, 0, 1, 1, 2, 2, 3, 3})) << obsolete;
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
    EXPECT_EQ(StateOf(host, 2).attributes, (std::vector<int32_t>{2, 2, 1, 1, 3})) << obsolete;
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
  MixerHost host;
  host.OpenText("styles.json", kStyles);
  LoadSettings(host, "");
  LogCapture log;
  host.Fail("create_box:2");
  Mapper mapper;
  EXPECT_EQ(mapper.Analyze(), 1);
  // Connect then takes the import side, which finds no working box, and
  // the box made alone is gone again.
  EXPECT_EQ(mapper.PrivateBox()->Unit(), 0u);
  EXPECT_EQ(host.content().boxes.size(), 2u);
  EXPECT_NE(log.Text().find("ERROR: BrenixBox::Install: no scratch text box was made\n"),
            std::string::npos)
      << log.Text();
}

}  // namespace
