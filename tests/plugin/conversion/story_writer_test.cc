// The story writer's own cases over a small fixture: unique-id tags (once
// per export, a short tag parses none), page-number characters, whole layout
// indexes in "story_type", a story without paragraphs, an overset paragraph
// repeating the last position, and the layers.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "plugin/conversion/box_geometry.h"
#include "plugin/conversion/exporter.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

using namespace BX_KXT::Export;

// Box 1: a unique-id tag and three current-page characters (the empty
// paragraph after them has no segment, so no element); box 2 the same
// tag again and a tag cut short by the story's end; box 3 two paragraphs of
// which the second does not fit, the first of style "Heading", the second
// of a format without style sheet; box 4 an empty story; box 5 on the hidden
// layer; box 6 only an anchored picture, so the Mapper takes neither it nor
// the picture.
const char kDocument[] = R"({"format": "xthost document", "version": 1,
  "layouts": [{"name": "Print", "spreads": [{"pages": [{}]}]}],
  "fonts": [{"id": 3, "name": "Times"}],
  "characterAttributes": [{"font": 3}, {"font": 3, "opcode": 6}, {"font": 3, "opcode": 136},
                          {"font": 3, "opcode": 1, "object": 7}],
  "styleSheets": [{"id": 1, "name": "Normal"}, {"id": 2, "name": "Heading"}],
  "paragraphFormats": [{"style": 0}, {"style": 2}],
  "layers": [{"id": 0, "name": "Default"}, {"id": 1, "name": "Hidden", "visible": false}],
  "boxes": [
    {"id": 1, "story": 1, "bounds": [36, 36, 300, 200]},
    {"id": 2, "story": 2, "bounds": [36, 300, 300, 400]},
    {"id": 3, "story": 3, "bounds": [320, 36, 500, 60]},
    {"id": 4, "story": 4, "bounds": [320, 300, 500, 400]},
    {"id": 5, "story": 5, "bounds": [320, 500, 500, 600], "layer": 1},
    {"id": 6, "story": 6, "bounds": [36, 600, 100, 700]},
    {"id": 7, "kind": "picture", "bounds": [0, 0, 20, 20]}
  ],
  "stories": [
    {"id": 1, "text": "Tag#00000042\rp\u0002\u0002\u0002\r", "paragraphs": [[0, 13], [0, 5], [0, 0]],
     "runs": [[0, 3], [2, 9], [0, 2], [1, 3], [0, 1]]},
    {"id": 2, "text": "Again#00000042\rx#0000", "paragraphs": [[0, 15], [0, 6]],
     "runs": [[0, 5], [2, 9], [0, 2], [2, 5]]},
    {"id": 3, "text": "First paragraph\rSecond paragraph\r", "paragraphs": [[1, 16], [0, 17], [0, 0]],
     "runs": [[0, 33]]},
    {"id": 4},
    {"id": 5, "text": "Hidden layer\r", "paragraphs": [[0, 13], [0, 0]], "runs": [[0, 13]]},
    {"id": 6, "text": "\u0001\r", "paragraphs": [[0, 2], [0, 0]], "runs": [[3, 1], [0, 1]]}
  ]})";

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) out.push_back(line);
  }
  return out;
}

class StoryWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    doc_ = host_.OpenText("stories.qxp", kDocument);
  }
  std::vector<std::string> Dump(const std::string& path) { return testutil::WitnessLines(testutil::kKxtDumpPy, path); }

  MixerHost host_;
  LogCapture log_;
  int32_t doc_ = 0;
};

TEST_F(StoryWriterTest, TagsPageNumbersAndOversetThroughTheHarness) {
  const std::string target = host_.Path("stories.kxq");
  const export_test::HarnessResult result = export_test::ExportCurrentProject(target);
  EXPECT_EQ(result.maxUniqueId, 42);
  const std::vector<std::string> lines = Dump(target);
  // By hand.  Story 0: the tag's paragraph has its id and no tag text.
  const std::vector<std::string> story0 = Matching(lines, "run 0.0.");
  ASSERT_EQ(story0.size(), 3u) << testing::PrintToString(lines);
  EXPECT_EQ(story0[0], R"(run 0.0.0.0 Unicodes style - "Tag" {})");
  EXPECT_EQ(story0[1], R"(run 0.0.1.0 Unicodes style - "p" {})");
  EXPECT_EQ(story0[2], R"(run 0.0.1.1 SpecialChars style - [["page_number", "Curr"], ["page_number", "Curr"], )"
                       R"(["page_number", "Curr"]] {"codepage": "0xFFFF", "private": "1"})");
  EXPECT_NE(Matching(lines, "paragraph 0.0.0 ").at(0).find(R"("uniqID": "42")"), std::string::npos);
  // Story 1: the same id is not written again; the short tag parses none.
  EXPECT_EQ(Matching(lines, "\"uniqID\"").size(), 1u);
  // Story 2: the second paragraph is overset and repeats the first's place.
  const std::vector<std::string> paragraphs = Matching(lines, "paragraph 0.2.");
  ASSERT_GE(paragraphs.size(), 2u);
  auto position = [](const std::string& line) {
    std::string out;
    for (const char* name : {"\"horizontal_pos\"", "\"vertical_pos\"", "\"width\"", "\"height\""}) {
      const size_t at = line.find(name);
      out += at == std::string::npos ? "-" : line.substr(at, line.find(',', at) - at);
    }
    return out;
  };
  EXPECT_EQ(position(paragraphs[0]), position(paragraphs[1]));
  EXPECT_NE(position(Matching(lines, "paragraph 0.1.1 ").at(0)), position(paragraphs[1]));
  EXPECT_NE(paragraphs[0].find(R"("stylename": "Heading")"), std::string::npos) << paragraphs[0];
  EXPECT_EQ(paragraphs[1].find("stylename"), std::string::npos) << paragraphs[1];
  // The empty story is no story of the Mapper; the hidden layer's is.
  EXPECT_EQ(Matching(lines, "story 0.").size(), 4u);
}

TEST_F(StoryWriterTest, StoryTypeIsTheWholeLayoutIndexAndAnEmptyStoryHasNoParagraphs) {
  const std::string target = host_.Path("types.kxq");
  {
    std::set<int32_t> ids;
    Ref<IBook> book = CreateExportBook(target.c_str());
    Ref<IDoc> doc = book->NewDocument(0);
    std::unique_ptr<Exporter> exporter =
        Exporter::Create(RefHandle<QuarkDoc>::Adopt(new QuarkDoc()), doc, &ids);
    ASSERT_TRUE(exporter);
    const struct {
      int32_t kind, index;
    } cases[] = {{Exporter::kWebLayout, 123}, {Exporter::kPrintLayout, 2}, {Exporter::kNoLayout, 5},
                 {Exporter::kCurrentLayout, 0}};
    int32_t story = 0;
    for (const auto& c : cases) {
      exporter->layoutKind = c.kind;
      exporter->layoutIndex = c.index;
      exporter->ProcessStory(story++, ItemHandle(doc_, 4));
    }
  }
  const std::vector<std::string> stories = Matching(Dump(target), "story 0.");
  ASSERT_EQ(stories.size(), 4u);
  EXPECT_NE(stories[0].find(R"("story_type": "layout_web123")"), std::string::npos) << stories[0];
  EXPECT_NE(stories[1].find(R"("story_type": "layout_prn2")"), std::string::npos) << stories[1];
  EXPECT_EQ(stories[2].find("story_type"), std::string::npos) << stories[2];
  EXPECT_NE(stories[3].find(R"("story_type": "layout_cur0")"), std::string::npos) << stories[3];
  for (const std::string& story : stories) EXPECT_NE(story.find(R"("width": "180")"), std::string::npos) << story;
  EXPECT_TRUE(Matching(Dump(target), "paragraph ").empty());
}

// Two layouts of a Mac document, each with the same unique-id tag: the id is
// written in the first layout only, and both raise the highest id.
TEST(StoryWriterLayouts, AUniqueIdInBothLayoutsIsWrittenOnce) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
  host.OpenText("two.qxp", R"({"format": "xthost document", "version": 1, "mac": true,
    "layouts": [{"name": "Print", "spreads": [{"pages": [{}]}]},
                {"name": "Web", "type": "XWEB", "spreads": [{"pages": [{}]}]}],
    "fonts": [{"id": 3, "name": "Times"}],
    "characterAttributes": [{"font": 3}, {"font": 3, "opcode": 136}],
    "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 200]},
              {"id": 2, "layout": 1, "story": 2, "bounds": [36, 36, 300, 200]}],
    "stories": [
      {"id": 1, "text": "One#00000007\r", "paragraphs": [[0, 13], [0, 0]], "runs": [[0, 3], [1, 9], [0, 1]]},
      {"id": 2, "text": "Two#00000007\r", "paragraphs": [[0, 13], [0, 0]], "runs": [[0, 3], [1, 9], [0, 1]]}]})");
  LogCapture log;
  const std::string target = host.Path("two.kxq");
  const export_test::HarnessResult result = export_test::ExportCurrentProject(target);
  EXPECT_EQ(result.layouts, 2);
  EXPECT_EQ(result.maxUniqueId, 7);
  const std::vector<std::string> lines = testutil::WitnessLines(testutil::kKxtDumpPy, target);
  EXPECT_EQ(Matching(lines, R"("uniqID")"),
            (std::vector<std::string>{Matching(lines, "paragraph 0.0.0 ").at(0)}));
  EXPECT_NE(Matching(lines, "paragraph 0.0.0 ").at(0).find(R"("uniqID": "7")"), std::string::npos);
  EXPECT_NE(Matching(lines, "story 0.1 ").at(0).find(R"("story_type": "layout_web1")"), std::string::npos);
  EXPECT_NE(lines.at(0).find(R"("maxuniqID": "7")"), std::string::npos);
  EXPECT_NE(Matching(lines, "document 0 ").at(0).find(R"("source_platform": "mac")"), std::string::npos);
}

// A set that only records what it is given.
class Recorded final : public IAttrs {
 public:
  void AddAttr(const char16_t* name, const char16_t* value) override {
    text += std::string(name, name + std::char_traits<char16_t>::length(name)) + "=" +
            std::string(value, value + std::char_traits<char16_t>::length(value)) + " ";
  }
  void Open() override {}
  void Close() override {}
  bool SetAttr(const char16_t* name, const char16_t* value) override {
    AddAttr(name, value);
    return true;
  }
  int32_t Intern(const char16_t*) override { return -1; }
  std::string text;
};

TEST_F(StoryWriterTest, AnAnchoredObjectWithoutIdIsLoggedAndWritesNoRun) {
  const std::string target = host_.Path("anchored.kxq");
  {
    std::set<int32_t> ids;
    Ref<IBook> book = CreateExportBook(target.c_str());
    std::unique_ptr<Exporter> exporter =
        Exporter::Create(RefHandle<QuarkDoc>::Adopt(new QuarkDoc()), book->NewDocument(0), &ids);
    ASSERT_TRUE(exporter);
    exporter->ProcessStory(0, ItemHandle(doc_, 6));
  }
  const std::vector<std::string> lines = Dump(target);
  EXPECT_EQ(Matching(lines, "paragraph 0.0.").size(), 1u);
  EXPECT_TRUE(Matching(lines, "run ").empty()) << testing::PrintToString(lines);
  EXPECT_NE(log_.Text().find("ERROR: anchored object without id: story=6 para=0 pos=0"), std::string::npos)
      << log_.Text();
}

TEST_F(StoryWriterTest, ABoxWithoutStoryStillKeepsTheStoryNumbers) {
  const std::string target = host_.Path("numbers.kxq");
  {
    std::set<int32_t> ids;
    Ref<IBook> book = CreateExportBook(target.c_str());
    std::unique_ptr<Exporter> exporter =
        Exporter::Create(RefHandle<QuarkDoc>::Adopt(new QuarkDoc()), book->NewDocument(0), &ids);
    ASSERT_TRUE(exporter);
    exporter->ProcessStory(0, ItemHandle(doc_, 7));  // the picture
    exporter->ProcessStory(1, ItemHandle(doc_, 5));
  }
  const std::vector<std::string> lines = Dump(target);
  EXPECT_EQ(Matching(lines, "story 0.").size(), 2u);
  EXPECT_EQ(Matching(lines, "run 0.1.0.0 ").size(), 1u) << testing::PrintToString(lines);
  EXPECT_NE(log_.Text().find("ERROR: no story for box"), std::string::npos) << log_.Text();
}

TEST_F(StoryWriterTest, LayersByNameAndVisibility) {
  struct Case {
    int32_t box;
    bool skipNonText, skipMaster;
    bool both;
    const char* written;
  } cases[] = {
      {1, false, false, true, "layer_name=Default layer_visibility=show "},
      {5, false, false, true, "layer_name=Hidden layer_visibility=hide "},
      {5, true, true, true, "layer_name=Hidden layer_visibility=hide "},
      {0, false, false, false, ""},
  };
  for (const Case& c : cases) {
    Recorded set;
    EXPECT_EQ(WriteLayerProperties(c.box != 0 ? ItemHandle(doc_, c.box) : 0, set, c.skipNonText, c.skipMaster),
              c.both)
        << c.box;
    EXPECT_EQ(set.text, c.written) << c.box;
  }
  host_.Fail("item_layer:1");
  Recorded set;
  EXPECT_FALSE(WriteLayerProperties(ItemHandle(doc_, 1), set, false, false));
  EXPECT_EQ(set.text, "layer_visibility=show ");
}

}  // namespace
